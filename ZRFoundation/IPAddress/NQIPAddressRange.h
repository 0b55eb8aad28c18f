#pragma once

#include "ZRFoundation/IPAddress/NQIPAddress.h"

#include <optional>
#include <string>
#include <string_view>

/// An inclusive range of addresses of one family, first <= last. Immutable value type.
class NQIPAddressRange {
public:
    /// Throws std::invalid_argument "Combination of firstAddress / lastAddress is not valid."
    /// when the families differ or first > last.
    static NQIPAddressRange rangeWithFirstAddress(const NQIPAddress& first, const NQIPAddress& last);
    /// The same for addresses that may be missing (a missing one is an invalid combination).
    static NQIPAddressRange rangeWithFirstAddress(const std::optional<NQIPAddress>& first,
                                                  const std::optional<NQIPAddress>& last);
    static NQIPAddressRange rangeWithAddress(const NQIPAddress& address) { return {address, address}; }
    static NQIPAddressRange fullIPv4AddressRange();
    static NQIPAddressRange fullIPv6AddressRange();
    /// Address and netmask in network byte order: first = address AND mask, last = first + NOT mask.
    static NQIPAddressRange rangeWithWithIPv4Address(const in_addr& address, const in_addr& netmask);
    /// Throws std::invalid_argument "Invalid prefix length." above 128.
    static NQIPAddressRange rangeWithWithIPv6Address(const in6_addr& address, unsigned prefixLength);
    /// "a.b.c.d", "first-last" or "address/prefix", with whitespace anywhere ignored.
    static std::optional<NQIPAddressRange> rangeFromDisplayString(std::string_view text);

    const NQIPAddress& firstAddress() const { return _firstAddress; }
    const NQIPAddress& lastAddress() const { return _lastAddress; }
    int family() const { return _firstAddress.family(); }
    NQIPAddress::Kind kind() const { return _firstAddress.kind(); }

    double numberOfAddresses() const { return _firstAddress.distanceToAddress(_lastAddress) + 1.0; }

    /// The single address, or "first-last". Prefix notation is never produced.
    std::string displayString() const;
    std::string description() const { return displayString(); }

    /// Compares the first addresses only.
    int compare(const NQIPAddressRange& other) const { return _firstAddress.compare(other._firstAddress); }
    bool isEqualToRange(const NQIPAddressRange& other) const { return *this == other; }
    bool operator==(const NQIPAddressRange& other) const = default;
    /// The first address's hash.
    std::size_t hash() const { return _firstAddress.hash(); }

    /// An address of the other family is never contained.
    bool containsAddress(const NQIPAddress& address) const {
        return _firstAddress <= address && address <= _lastAddress;
    }
    bool intersectsRange(const NQIPAddressRange& other) const;
    bool isSubrangeOfRange(const NQIPAddressRange& other) const;
    /// A subrange that shares neither end with `other`.
    bool isExcludingSubrangeOfRange(const NQIPAddressRange& other) const;
    /// The ranges touch without overlapping. Throws std::invalid_argument for mixed families.
    bool isAdjacentToRange(const NQIPAddressRange& other) const;

    /// The covering range when the two intersect or are adjacent, none otherwise (and none for
    /// ranges of different families).
    std::optional<NQIPAddressRange> unionRange(const NQIPAddressRange& other) const;
    std::optional<NQIPAddressRange> intersectionRange(const NQIPAddressRange& other) const;
    /// This range minus `other`, for an `other` that intersects it. None when nothing remains.
    /// Throws std::invalid_argument for mixed families ("Cannot subtract arguments of different
    /// address family.") and when the result would be two ranges ("Resulting range would be
    /// split by subtraction.").
    std::optional<NQIPAddressRange> rangeBySubtractingRange(const NQIPAddressRange& other) const;

private:
    NQIPAddressRange(const NQIPAddress& first, const NQIPAddress& last)
        : _firstAddress(first)
        , _lastAddress(last) {}

    NQIPAddress _firstAddress;
    NQIPAddress _lastAddress;
};

template <>
struct std::hash<NQIPAddressRange> {
    std::size_t operator()(const NQIPAddressRange& range) const noexcept { return range.hash(); }
};
