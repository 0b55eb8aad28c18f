#include "ZRFoundation/IPAddress/NQIPAddressRange.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <netinet/in.h>

namespace {

constexpr const char* invalidCombinationMessage = "Combination of firstAddress / lastAddress is not valid.";

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// The integer value of a prefix length text: an optional sign, then the leading decimal digits
// (0 when there are none). Saturates far above any valid prefix length.
long prefixLengthValue(std::string_view text) {
    std::size_t index = 0;
    bool negative = false;
    if (index < text.size() && (text[index] == '-' || text[index] == '+')) {
        negative = text[index] == '-';
        ++index;
    }
    long value = 0;
    for (; index < text.size() && text[index] >= '0' && text[index] <= '9'; ++index) {
        value = std::min(value * 10 + (text[index] - '0'), 100000L);
    }
    return negative ? -value : value;
}

std::optional<NQIPAddressRange> rangeFromPrefixText(std::string_view addressText,
                                                    std::string_view lengthText) {
    const auto address = NQIPAddress::addressFromDisplayString(addressText);
    const long length = prefixLengthValue(lengthText);
    if (!address || length < 0 || length > static_cast<long>(address->bitWidth())) {
        return std::nullopt;
    }
    const auto prefixLength = static_cast<unsigned>(length);
    return NQIPAddressRange::rangeWithFirstAddress(address->firstAddressForPrefixLength(prefixLength),
                                                   address->lastAddressForPrefixLength(prefixLength));
}

} // namespace

NQIPAddressRange NQIPAddressRange::rangeWithFirstAddress(const NQIPAddress& first, const NQIPAddress& last) {
    if (first.kind() != last.kind() || last < first) {
        throw std::invalid_argument(invalidCombinationMessage);
    }
    return {first, last};
}

NQIPAddressRange NQIPAddressRange::rangeWithFirstAddress(const std::optional<NQIPAddress>& first,
                                                         const std::optional<NQIPAddress>& last) {
    if (!first || !last) {
        throw std::invalid_argument(invalidCombinationMessage);
    }
    return rangeWithFirstAddress(*first, *last);
}

NQIPAddressRange NQIPAddressRange::fullIPv4AddressRange() {
    return {NQIPAddress::ipv4(0), NQIPAddress::ipv4(0xFFFFFFFFU)};
}

NQIPAddressRange NQIPAddressRange::fullIPv6AddressRange() {
    return {NQIPAddress::ipv6(0, 0), NQIPAddress::ipv6(~std::uint64_t{0}, ~std::uint64_t{0})};
}

NQIPAddressRange NQIPAddressRange::rangeWithWithIPv4Address(const in_addr& address, const in_addr& netmask) {
    const std::uint32_t mask = ntohl(netmask.s_addr);
    const std::uint32_t first = ntohl(address.s_addr) & mask;
    // The host bits of `first` are clear, so adding the inverted mask cannot carry.
    return {NQIPAddress::ipv4(first), NQIPAddress::ipv4(first + ~mask)};
}

NQIPAddressRange NQIPAddressRange::rangeWithWithIPv6Address(const in6_addr& address, unsigned prefixLength) {
    const auto value = NQIPAddress::addressWithIPv6Address(address);
    return {value.firstAddressForPrefixLength(prefixLength), value.lastAddressForPrefixLength(prefixLength)};
}

std::optional<NQIPAddressRange> NQIPAddressRange::rangeFromDisplayString(std::string_view text) {
    const std::string compact = ZRUnicodeText::removingWhitespaceAndNewlines(text);
    const auto dashParts = split(compact, '-');
    const auto slashParts = split(compact, '/');
    if (slashParts.size() == 2) {
        if (dashParts.size() > 1) {
            return std::nullopt;
        }
        return rangeFromPrefixText(slashParts[0], slashParts[1]);
    }
    if (slashParts.size() > 2) {
        return std::nullopt;
    }
    if (dashParts.size() == 1) {
        const auto address = NQIPAddress::addressFromDisplayString(dashParts[0]);
        return address ? std::optional(rangeWithAddress(*address)) : std::nullopt;
    }
    if (dashParts.size() == 2) {
        const auto first = NQIPAddress::addressFromDisplayString(dashParts[0]);
        const auto last = NQIPAddress::addressFromDisplayString(dashParts[1]);
        if (!first || !last || first->kind() != last->kind() || *last < *first) {
            return std::nullopt;
        }
        return NQIPAddressRange(*first, *last);
    }
    return std::nullopt;
}

std::string NQIPAddressRange::displayString() const {
    if (_firstAddress == _lastAddress) {
        return _firstAddress.displayString();
    }
    return _firstAddress.displayString() + "-" + _lastAddress.displayString();
}

bool NQIPAddressRange::intersectsRange(const NQIPAddressRange& other) const {
    return containsAddress(other._firstAddress) || containsAddress(other._lastAddress) ||
           other.containsAddress(_firstAddress) || other.containsAddress(_lastAddress);
}

bool NQIPAddressRange::isSubrangeOfRange(const NQIPAddressRange& other) const {
    return other.containsAddress(_firstAddress) && other.containsAddress(_lastAddress);
}

bool NQIPAddressRange::isExcludingSubrangeOfRange(const NQIPAddressRange& other) const {
    return isSubrangeOfRange(other) && _firstAddress != other._firstAddress &&
           _lastAddress != other._lastAddress;
}

bool NQIPAddressRange::isAdjacentToRange(const NQIPAddressRange& other) const {
    return _lastAddress.distanceToAddress(other._firstAddress) == 1.0 ||
           other._lastAddress.distanceToAddress(_firstAddress) == 1.0;
}

std::optional<NQIPAddressRange> NQIPAddressRange::unionRange(const NQIPAddressRange& other) const {
    if (kind() != other.kind() || (!intersectsRange(other) && !isAdjacentToRange(other))) {
        return std::nullopt;
    }
    return NQIPAddressRange(std::min(_firstAddress, other._firstAddress),
                            std::max(_lastAddress, other._lastAddress));
}

std::optional<NQIPAddressRange> NQIPAddressRange::intersectionRange(const NQIPAddressRange& other) const {
    const NQIPAddress& first = std::max(_firstAddress, other._firstAddress);
    const NQIPAddress& last = std::min(_lastAddress, other._lastAddress);
    if (first.kind() != last.kind() || last < first) {
        return std::nullopt;
    }
    return NQIPAddressRange(first, last);
}

std::optional<NQIPAddressRange>
NQIPAddressRange::rangeBySubtractingRange(const NQIPAddressRange& other) const {
    if (kind() != other.kind()) {
        throw std::invalid_argument("Cannot subtract arguments of different address family.");
    }
    if (other.isExcludingSubrangeOfRange(*this)) {
        throw std::invalid_argument("Resulting range would be split by subtraction.");
    }
    if (_firstAddress < other._firstAddress) {
        // other's first address is above ours, so it has a predecessor inside this range.
        return NQIPAddressRange(_firstAddress, std::min(_lastAddress, other._firstAddress.previousAddress()));
    }
    // No wrap-around: nothing follows the family's highest address.
    if (other._lastAddress.isHighestAddress() || other._lastAddress >= _lastAddress) {
        return std::nullopt;
    }
    return NQIPAddressRange(std::max(_firstAddress, other._lastAddress.nextAddress()), _lastAddress);
}
