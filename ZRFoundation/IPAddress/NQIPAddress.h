#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct in_addr;
struct in6_addr;

/// One IPv4 or IPv6 address, held as an unsigned integer in host byte order so that ordering
/// and arithmetic are plain integer operations. Immutable value type: copies are independent.
///
/// Ordering puts every IPv4 address before every IPv6 address; within a family the integer
/// values are compared.
class NQIPAddress {
public:
    enum class Kind : std::uint8_t { IPv4, IPv6 };

    /// A 4-byte address in network byte order.
    static NQIPAddress addressWithIPv4Address(const in_addr& address);
    /// A 16-byte address in network byte order.
    static NQIPAddress addressWithIPv6Address(const in6_addr& address);
    /// The host-order integer's storage as `dataInHostByteOrder` returns it: 16 bytes give an
    /// IPv6 address, 4 bytes an IPv4 address, any other length none.
    static std::optional<NQIPAddress> addressWithDataInHostByteOrder(std::span<const std::uint8_t> data);
    /// AF_INET with 4 network-order bytes or AF_INET6 with 16; none for any other family or size.
    static std::optional<NQIPAddress> addressWithAddressFamily(int family,
                                                               std::span<const std::uint8_t> networkBytes);
    /// Dotted-quad IPv4 or standard IPv6 text (an IPv6 text may end in a dotted IPv4 part).
    /// Whitespace, zone suffixes and prefix lengths are rejected.
    static std::optional<NQIPAddress> addressFromDisplayString(std::string_view text);

    /// Convenience constructors from host-order integers.
    static NQIPAddress ipv4(std::uint32_t hostOrderValue);
    static NQIPAddress ipv6(std::uint64_t highWord, std::uint64_t lowWord);

    std::string displayString() const;
    std::string description() const { return displayString(); }

    /// The host-order integer's storage: 4 bytes for IPv4; for IPv6 the low word then the high
    /// word, each in the machine's byte order.
    std::vector<std::uint8_t> dataInHostByteOrder() const;
    /// The address in network byte order (4 or 16 bytes).
    std::vector<std::uint8_t> networkBytes() const;
    /// Writes the address in network byte order into `buffer` and returns the number of bytes
    /// written, or 0 when the buffer is too small.
    std::size_t getIPAddress(std::span<std::uint8_t> buffer) const;

    Kind kind() const { return _kind; }
    /// The platform's address family constant (AF_INET or AF_INET6).
    int family() const;
    bool isIPv4Address() const { return _kind == Kind::IPv4; }
    bool isIPv6Address() const { return _kind == Kind::IPv6; }
    /// Number of bits in an address of this family: 32 or 128.
    unsigned bitWidth() const { return _kind == Kind::IPv4 ? 32U : 128U; }

    /// -1, 0 or 1.
    int compare(const NQIPAddress& other) const;
    bool isEqualToAddress(const NQIPAddress& other) const { return *this == other; }
    // Members are declared so that the defaulted ordering is the address ordering: the kind
    // first (IPv4 before IPv6), then the integer value.
    std::strong_ordering operator<=>(const NQIPAddress& other) const = default;
    bool operator==(const NQIPAddress& other) const = default;

    /// IPv4: the 32-bit value; IPv6: the high word XOR the low word.
    std::size_t hash() const;

    /// (other - self) as a signed quantity. Throws std::invalid_argument for mixed families.
    double distanceToAddress(const NQIPAddress& other) const;

    /// One below or above, wrapping around the family's address space.
    NQIPAddress previousAddress() const;
    NQIPAddress nextAddress() const;

    /// The lowest (host bits cleared) and highest (host bits set) address of the network of
    /// the given prefix length that contains this address. Throws std::invalid_argument
    /// "Invalid prefix length." above 32 (IPv4) or 128 (IPv6).
    NQIPAddress firstAddressForPrefixLength(unsigned prefixLength) const;
    NQIPAddress lastAddressForPrefixLength(unsigned prefixLength) const;

    /// True for the lowest and the highest address of the family.
    bool isLowestAddress() const { return _high == 0 && _low == 0; }
    bool isHighestAddress() const;

    std::uint64_t highWord() const { return _high; }
    std::uint64_t lowWord() const { return _low; }

private:
    NQIPAddress(Kind kind, std::uint64_t high, std::uint64_t low)
        : _kind(kind)
        , _high(high)
        , _low(low) {}
    NQIPAddress maskedWithPrefixLength(unsigned prefixLength, bool invertMask) const;

    // An IPv4 address keeps its value in the low word; the high word stays zero.
    Kind _kind;
    std::uint64_t _high;
    std::uint64_t _low;
};

template <>
struct std::hash<NQIPAddress> {
    std::size_t operator()(const NQIPAddress& address) const noexcept { return address.hash(); }
};
