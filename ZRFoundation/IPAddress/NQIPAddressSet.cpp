#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"
#include "ZRFoundation/Text/ZRConcatenation.h"
#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>

namespace {

// Counts from this size on are summed apart from the smaller ones, so that small IPv4 counts
// are not lost against huge IPv6 counts.
constexpr double largeCountThreshold = 1125899906842624.0; // 2^50

NQIPAddressSet predefinedSet(std::initializer_list<std::string_view> texts,
                             std::initializer_list<const NQIPAddressSet*> sets = {}) {
    NQMutableIPAddressSet result;
    for (const auto text : texts) {
        const auto parsed = NQIPAddressSet::addressSetFromDisplayString(text);
        if (!parsed) {
            throw std::logic_error("Predefined address set text does not parse");
        }
        result.addAddressesFromSet(*parsed);
    }
    for (const auto* set : sets) {
        result.addAddressesFromSet(*set);
    }
    return result;
}

} // namespace

NQIPAddressSet::NQIPAddressSet(const NQIPAddressSet& other)
    : _ranges(other._ranges)
    , _numberOfAddresses(other._numberOfAddresses.load(std::memory_order_relaxed)) {}

NQIPAddressSet::NQIPAddressSet(NQIPAddressSet&& other) noexcept
    : _ranges(std::move(other._ranges))
    , _numberOfAddresses(other._numberOfAddresses.load(std::memory_order_relaxed)) {
    other.invalidateNumberOfAddresses();
}

NQIPAddressSet& NQIPAddressSet::operator=(const NQIPAddressSet& other) {
    if (this != &other) {
        _ranges = other._ranges;
        _numberOfAddresses.store(other._numberOfAddresses.load(std::memory_order_relaxed),
                                 std::memory_order_relaxed);
    }
    return *this;
}

NQIPAddressSet& NQIPAddressSet::operator=(NQIPAddressSet&& other) noexcept {
    if (this != &other) {
        _ranges = std::move(other._ranges);
        _numberOfAddresses.store(other._numberOfAddresses.load(std::memory_order_relaxed),
                                 std::memory_order_relaxed);
        other._ranges.clear();
        other.invalidateNumberOfAddresses();
    }
    return *this;
}

NQIPAddressSet NQIPAddressSet::addressSetWithAddress(const NQIPAddress& address) {
    return NQMutableIPAddressSet::addressSetWithAddress(address);
}

NQIPAddressSet NQIPAddressSet::addressSetWithAddresses(const std::vector<NQIPAddress>& addresses) {
    return NQMutableIPAddressSet::addressSetWithAddresses(addresses);
}

NQIPAddressSet NQIPAddressSet::addressSetWithAddressesInRange(const NQIPAddressRange& range) {
    return NQMutableIPAddressSet::addressSetWithAddressesInRange(range);
}

std::optional<NQIPAddressSet> NQIPAddressSet::addressSetFromDisplayString(std::string_view text) {
    auto set = NQMutableIPAddressSet::addressSetFromDisplayString(text);
    if (!set) {
        return std::nullopt;
    }
    return NQIPAddressSet(std::move(*set));
}

const NQIPAddressSet& NQIPAddressSet::privateIPv4Addresses() {
    static const NQIPAddressSet set = predefinedSet({"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::privateIPv6Addresses() {
    static const NQIPAddressSet set = predefinedSet({"fd00::/8"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::privateAddresses() {
    static const NQIPAddressSet set = predefinedSet({}, {&privateIPv4Addresses(), &privateIPv6Addresses()});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::multicastIPv4Addresses() {
    static const NQIPAddressSet set = predefinedSet({"224.0.0.0-239.255.255.255"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::multicastIPv6Addresses() {
    static const NQIPAddressSet set = predefinedSet({"ff00::/8"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::multicastAddresses() {
    static const NQIPAddressSet set =
        predefinedSet({}, {&multicastIPv4Addresses(), &multicastIPv6Addresses()});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::bonjourAddresses() {
    static const NQIPAddressSet set = predefinedSet({"169.254.0.0-169.254.255.255", "fe80::/10"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::loopbackAddresses() {
    static const NQIPAddressSet set = predefinedSet({"127.0.0.1, ::1"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::zeroAddresses() {
    static const NQIPAddressSet set = predefinedSet({"0.0.0.0", "::"});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::loopbackAddressesAndZeroAddresses() {
    static const NQIPAddressSet set = predefinedSet({}, {&loopbackAddresses(), &zeroAddresses()});
    return set;
}

const NQIPAddressSet& NQIPAddressSet::anyAddressesWithoutLoopbackAndZeroAddresses() {
    static const NQIPAddressSet set = [] {
        NQMutableIPAddressSet result;
        result.addAddressesInRange(NQIPAddressRange::fullIPv4AddressRange());
        result.addAddressesInRange(NQIPAddressRange::fullIPv6AddressRange());
        result.removeAddressesInSet(loopbackAddressesAndZeroAddresses());
        return NQIPAddressSet(result);
    }();
    return set;
}

const NQIPAddressSet& NQIPAddressSet::localNetworkAddresses() {
    static const NQIPAddressSet set = predefinedSet(
        {"ff01::/16, ff02::/15, ff04::/15, ff11::/16, ff12::/15, ff14::/15, ff21::/16, ff22::/15, ff24::/15, "
         "ff31::/16, ff32::/15, ff34::/15, ff41::/16, ff42::/15, ff44::/15, ff51::/16, ff52::/15, ff54::/15, "
         "ff61::/16, ff62::/15, ff64::/15, ff71::/16, ff72::/15, ff74::/15, ff81::/16, ff82::/15, ff84::/15, "
         "ff91::/16, ff92::/15, ff94::/15, ffa1::/16, ffa2::/15, ffa4::/15, ffb1::/16, ffb2::/15, ffb4::/15, "
         "ffc1::/16, ffc2::/15, ffc4::/15, ffd1::/16, ffd2::/15, ffd4::/15, ffe1::/16, ffe2::/15, ffe4::/15, "
         "fff1::/16, fff2::/15, fff4::/15",
         "224.0.0.0/24"},
        {&privateAddresses(), &bonjourAddresses()});
    return set;
}

double NQIPAddressSet::numberOfAddresses() const {
    const double cached = _numberOfAddresses.load(std::memory_order_relaxed);
    if (cached >= 0.0) {
        return cached;
    }
    double small = 0.0;
    double large = 0.0;
    for (const auto& range : _ranges) {
        const double count = range.numberOfAddresses();
        (count < largeCountThreshold ? small : large) += count;
    }
    const double total = large + small;
    _numberOfAddresses.store(total, std::memory_order_relaxed);
    return total;
}

std::string NQIPAddressSet::displayStringWithSeparator(std::string_view separator) const {
    std::string text;
    for (std::size_t i = 0; i < _ranges.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += _ranges[i].displayString();
    }
    return text;
}

std::string NQIPAddressSet::descriptionWithClassName(std::string_view className) const {
    char identity[32];
    std::snprintf(identity, sizeof identity, "%p", static_cast<const void*>(this));
    return ZRConcatenation::concatenated("<", className, ":", identity, " ranges:", displayString(), ">");
}

bool NQIPAddressSet::containsAddress(const NQIPAddress& address) const {
    // The ranges are sorted and disjoint, so the only candidate is the first range that does
    // not end below the address.
    const auto candidate =
        std::partition_point(_ranges.begin(), _ranges.end(),
                             [&](const NQIPAddressRange& range) { return range.lastAddress() < address; });
    return candidate != _ranges.end() && candidate->containsAddress(address);
}

bool NQIPAddressSet::intersectsSet(const NQIPAddressSet& other) const {
    // Both lists are sorted and disjoint in one total order (IPv4 before IPv6), so one merge
    // walk finds any overlapping pair: the range that ends first cannot meet anything later.
    auto mine = _ranges.begin();
    auto theirs = other._ranges.begin();
    while (mine != _ranges.end() && theirs != other._ranges.end()) {
        if (mine->intersectsRange(*theirs)) {
            return true;
        }
        if (mine->lastAddress() < theirs->lastAddress()) {
            ++mine;
        } else {
            ++theirs;
        }
    }
    return false;
}

std::size_t NQIPAddressSet::hash() const {
    std::size_t value = 0;
    for (const auto& range : _ranges) {
        const std::size_t sum = value + range.hash();
        value = (sum << 8) ^ sum;
    }
    return value;
}

NQMutableIPAddressSet NQIPAddressSet::mutableCopy() const {
    return NQMutableIPAddressSet(_ranges);
}
