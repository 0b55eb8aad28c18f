#pragma once

#include "ZRFoundation/IPAddress/NQIPAddressRange.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class NQMutableIPAddressSet;

/// A set of IPv4 and IPv6 addresses, held as a list of ranges that is sorted by first address
/// (IPv4 before IPv6), disjoint and free of adjacent ranges of one family. That canonical form
/// makes two sets with the same addresses have equal range lists.
///
/// An `NQIPAddressSet` cannot be changed once built; `NQMutableIPAddressSet` adds insertion and
/// removal. Copying a mutable set into an `NQIPAddressSet` gives an immutable copy.
class NQIPAddressSet {
public:
    NQIPAddressSet() = default;
    NQIPAddressSet(const NQIPAddressSet& other);
    NQIPAddressSet(NQIPAddressSet&& other) noexcept;
    NQIPAddressSet& operator=(const NQIPAddressSet& other);
    NQIPAddressSet& operator=(NQIPAddressSet&& other) noexcept;
    ~NQIPAddressSet() = default;

    static NQIPAddressSet addressSet() { return {}; }
    static NQIPAddressSet addressSetWithAddress(const NQIPAddress& address);
    static NQIPAddressSet addressSetWithAddresses(const std::vector<NQIPAddress>& addresses);
    static NQIPAddressSet addressSetWithAddressesInRange(const NQIPAddressRange& range);
    /// Comma-separated ranges in any order (each as `NQIPAddressRange::rangeFromDisplayString`
    /// reads it; whitespace anywhere is ignored). None for the empty text or when any piece,
    /// including an empty one, fails to parse.
    static std::optional<NQIPAddressSet> addressSetFromDisplayString(std::string_view text);

    // Predefined sets, each built once per process on first use.
    static const NQIPAddressSet& privateIPv4Addresses();
    static const NQIPAddressSet& privateIPv6Addresses();
    static const NQIPAddressSet& privateAddresses();
    static const NQIPAddressSet& multicastIPv4Addresses();
    static const NQIPAddressSet& multicastIPv6Addresses();
    static const NQIPAddressSet& multicastAddresses();
    static const NQIPAddressSet& bonjourAddresses();
    static const NQIPAddressSet& loopbackAddresses();
    static const NQIPAddressSet& zeroAddresses();
    static const NQIPAddressSet& loopbackAddressesAndZeroAddresses();
    static const NQIPAddressSet& anyAddressesWithoutLoopbackAndZeroAddresses();
    static const NQIPAddressSet& localNetworkAddresses();

    const std::vector<NQIPAddressRange>& addressRanges() const { return _ranges; }
    bool isEmpty() const { return _ranges.empty(); }

    /// The total number of addresses. Computed once and cached until the next change.
    double numberOfAddresses() const;

    std::string displayString() const { return displayStringWithSeparator(", "); }
    std::string displayStringWithSeparator(std::string_view separator) const;
    /// "<NQIPAddressSet:0x… ranges:…>".
    std::string description() const { return descriptionWithClassName("NQIPAddressSet"); }

    bool containsAddress(const NQIPAddress& address) const;
    /// Ranges of different families never intersect.
    bool intersectsSet(const NQIPAddressSet& other) const;

    bool isEqualToSet(const NQIPAddressSet& other) const { return _ranges == other._ranges; }
    bool operator==(const NQIPAddressSet& other) const { return isEqualToSet(other); }
    std::size_t hash() const;

    NQIPAddressSet copy() const { return *this; }
    NQMutableIPAddressSet mutableCopy() const;

protected:
    std::vector<NQIPAddressRange> _ranges;
    std::string descriptionWithClassName(std::string_view className) const;
    void invalidateNumberOfAddresses() { _numberOfAddresses.store(-1.0, std::memory_order_relaxed); }

private:
    // -1.0 while not computed. Immutable sets are shared between threads, so the lazily filled
    // cache is atomic; two threads racing to fill it store the same value.
    mutable std::atomic<double> _numberOfAddresses{-1.0};
};

template <>
struct std::hash<NQIPAddressSet> {
    std::size_t operator()(const NQIPAddressSet& set) const noexcept { return set.hash(); }
};
