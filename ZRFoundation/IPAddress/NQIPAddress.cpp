#include "ZRFoundation/IPAddress/NQIPAddress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

__extension__ using UInt128 = unsigned __int128;

UInt128 toUInt128(std::uint64_t high, std::uint64_t low) {
    return (static_cast<UInt128>(high) << 64) | low;
}

std::uint64_t highOf(UInt128 value) {
    return static_cast<std::uint64_t>(value >> 64);
}
std::uint64_t lowOf(UInt128 value) {
    return static_cast<std::uint64_t>(value);
}

constexpr std::uint64_t ipv4Mask = 0xFFFFFFFFULL;

// Only these characters can appear in an address text; anything else (whitespace, "%zone",
// "/prefix") is rejected before the platform parser sees it.
bool hasOnlyAddressCharacters(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
               c == ':';
    });
}

// Longer texts cannot be addresses (the longest IPv6 text has 45 characters).
constexpr std::size_t maximumAddressTextLength = 64;

} // namespace

NQIPAddress NQIPAddress::addressWithIPv4Address(const in_addr& address) {
    return ipv4(ntohl(address.s_addr));
}

NQIPAddress NQIPAddress::addressWithIPv6Address(const in6_addr& address) {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    for (int i = 0; i < 8; ++i) {
        high = (high << 8) | address.s6_addr[i];
        low = (low << 8) | address.s6_addr[i + 8];
    }
    return ipv6(high, low);
}

std::optional<NQIPAddress> NQIPAddress::addressWithDataInHostByteOrder(std::span<const std::uint8_t> data) {
    if (data.size() == 16) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, data.data(), sizeof low);
        std::memcpy(&high, data.data() + sizeof low, sizeof high);
        return ipv6(high, low);
    }
    if (data.size() == 4) {
        std::uint32_t value = 0;
        std::memcpy(&value, data.data(), sizeof value);
        return ipv4(value);
    }
    return std::nullopt;
}

std::optional<NQIPAddress> NQIPAddress::addressWithAddressFamily(int family,
                                                                 std::span<const std::uint8_t> networkBytes) {
    if (family == AF_INET && networkBytes.size() == 4) {
        in_addr address{};
        std::memcpy(&address, networkBytes.data(), 4);
        return addressWithIPv4Address(address);
    }
    if (family == AF_INET6 && networkBytes.size() == 16) {
        in6_addr address{};
        std::memcpy(&address, networkBytes.data(), 16);
        return addressWithIPv6Address(address);
    }
    return std::nullopt;
}

std::optional<NQIPAddress> NQIPAddress::addressFromDisplayString(std::string_view text) {
    if (text.empty() || text.size() > maximumAddressTextLength || !hasOnlyAddressCharacters(text)) {
        return std::nullopt;
    }
    const std::string terminated(text);
    if (text.find(':') != std::string_view::npos) {
        in6_addr address{};
        if (inet_pton(AF_INET6, terminated.c_str(), &address) != 1) {
            return std::nullopt;
        }
        return addressWithIPv6Address(address);
    }
    in_addr address{};
    if (inet_pton(AF_INET, terminated.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return addressWithIPv4Address(address);
}

NQIPAddress NQIPAddress::ipv4(std::uint32_t hostOrderValue) {
    return NQIPAddress(Kind::IPv4, 0, hostOrderValue);
}

NQIPAddress NQIPAddress::ipv6(std::uint64_t highWord, std::uint64_t lowWord) {
    return NQIPAddress(Kind::IPv6, highWord, lowWord);
}

std::string NQIPAddress::displayString() const {
    if (isIPv4Address()) {
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>((_low >> 24) & 0xFF),
                      static_cast<unsigned>((_low >> 16) & 0xFF), static_cast<unsigned>((_low >> 8) & 0xFF),
                      static_cast<unsigned>(_low & 0xFF));
        return text;
    }
    in6_addr address{};
    std::memcpy(&address, networkBytes().data(), 16);
    char text[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, &address, text, sizeof text) == nullptr) {
        return "<invalid IPv6 address>";
    }
    return text;
}

std::vector<std::uint8_t> NQIPAddress::dataInHostByteOrder() const {
    if (isIPv4Address()) {
        const auto value = static_cast<std::uint32_t>(_low);
        std::vector<std::uint8_t> data(sizeof value);
        std::memcpy(data.data(), &value, sizeof value);
        return data;
    }
    std::vector<std::uint8_t> data(16);
    std::memcpy(data.data(), &_low, sizeof _low);
    std::memcpy(data.data() + sizeof _low, &_high, sizeof _high);
    return data;
}

std::vector<std::uint8_t> NQIPAddress::networkBytes() const {
    std::vector<std::uint8_t> bytes(isIPv4Address() ? 4 : 16);
    getIPAddress(bytes);
    return bytes;
}

std::size_t NQIPAddress::getIPAddress(std::span<std::uint8_t> buffer) const {
    if (isIPv4Address()) {
        if (buffer.size() < 4) {
            return 0;
        }
        for (int i = 0; i < 4; ++i) {
            buffer[i] = static_cast<std::uint8_t>(_low >> (24 - 8 * i));
        }
        return 4;
    }
    if (buffer.size() < 16) {
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        buffer[i] = static_cast<std::uint8_t>(_high >> (56 - 8 * i));
        buffer[i + 8] = static_cast<std::uint8_t>(_low >> (56 - 8 * i));
    }
    return 16;
}

int NQIPAddress::family() const {
    return isIPv4Address() ? AF_INET : AF_INET6;
}

int NQIPAddress::compare(const NQIPAddress& other) const {
    const auto order = *this <=> other;
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::size_t NQIPAddress::hash() const {
    return isIPv4Address() ? static_cast<std::size_t>(_low) : static_cast<std::size_t>(_high ^ _low);
}

double NQIPAddress::distanceToAddress(const NQIPAddress& other) const {
    if (_kind != other._kind) {
        throw std::invalid_argument(isIPv4Address()
                                        ? "Cannot compute difference between IPv4 and IPv6 addresses."
                                        : "Can not compute difference between IPv4 and IPv6 addresses.");
    }
    // The difference is taken exactly on the integers before it becomes a double, so that
    // neighbouring IPv6 addresses are exactly 1.0 apart however large their values.
    const UInt128 self = toUInt128(_high, _low);
    const UInt128 that = toUInt128(other._high, other._low);
    return that >= self ? static_cast<double>(that - self) : -static_cast<double>(self - that);
}

NQIPAddress NQIPAddress::previousAddress() const {
    if (isIPv4Address()) {
        return ipv4(static_cast<std::uint32_t>(_low - 1));
    }
    const UInt128 value = toUInt128(_high, _low) - 1;
    return ipv6(highOf(value), lowOf(value));
}

NQIPAddress NQIPAddress::nextAddress() const {
    if (isIPv4Address()) {
        return ipv4(static_cast<std::uint32_t>(_low + 1));
    }
    const UInt128 value = toUInt128(_high, _low) + 1;
    return ipv6(highOf(value), lowOf(value));
}

bool NQIPAddress::isHighestAddress() const {
    return isIPv4Address() ? _low == ipv4Mask : (_high == ~std::uint64_t{0} && _low == ~std::uint64_t{0});
}

NQIPAddress NQIPAddress::firstAddressForPrefixLength(unsigned prefixLength) const {
    return maskedWithPrefixLength(prefixLength, false);
}

NQIPAddress NQIPAddress::lastAddressForPrefixLength(unsigned prefixLength) const {
    return maskedWithPrefixLength(prefixLength, true);
}

NQIPAddress NQIPAddress::maskedWithPrefixLength(unsigned prefixLength, bool invertMask) const {
    const unsigned width = bitWidth();
    if (prefixLength > width) {
        throw std::invalid_argument("Invalid prefix length.");
    }
    // The top `prefixLength` bits of a `width`-bit value; shifting by the full width is
    // undefined, so the empty mask is spelled out.
    const UInt128 all = isIPv4Address() ? UInt128{ipv4Mask} : ~UInt128{0};
    const UInt128 mask = prefixLength == 0 ? UInt128{0} : (all << (width - prefixLength)) & all;
    const UInt128 value = toUInt128(_high, _low);
    const UInt128 result = invertMask ? ((value | ~mask) & all) : (value & mask);
    return NQIPAddress(_kind, highOf(result), lowOf(result));
}
