#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <iterator>

namespace {

bool isDirectlyBelow(const NQIPAddress& lower, const NQIPAddress& upper) {
    return lower.kind() == upper.kind() && lower < upper && lower.nextAddress() == upper;
}

// True for a range that lies wholly below `range` without touching it: it ends before it and is
// not adjacent to it. In a canonical list this holds for a prefix of the ranges.
bool endsBeforeWithoutTouching(const NQIPAddressRange& candidate, const NQIPAddressRange& range) {
    return candidate.lastAddress() < range.firstAddress() &&
           !isDirectlyBelow(candidate.lastAddress(), range.firstAddress());
}

// True for a range of the same family that overlaps `range` or is adjacent to it, given that it
// does not end before `range` without touching it.
bool touchesFromAbove(const NQIPAddressRange& candidate, const NQIPAddressRange& range) {
    return candidate.kind() == range.kind() &&
           (candidate.firstAddress() <= range.lastAddress() ||
            isDirectlyBelow(range.lastAddress(), candidate.firstAddress()));
}

// Replaces the ranges [first, last) of `ranges` by `replacement`.
void replaceRanges(std::vector<NQIPAddressRange>& ranges, std::size_t first, std::size_t last,
                   const std::vector<NQIPAddressRange>& replacement) {
    const std::size_t overlap = std::min(last - first, replacement.size());
    std::copy_n(replacement.begin(), overlap, ranges.begin() + static_cast<std::ptrdiff_t>(first));
    const auto afterCopied = ranges.begin() + static_cast<std::ptrdiff_t>(first + overlap);
    if (overlap < last - first) {
        ranges.erase(afterCopied, ranges.begin() + static_cast<std::ptrdiff_t>(last));
    } else {
        ranges.insert(afterCopied, replacement.begin() + static_cast<std::ptrdiff_t>(overlap),
                      replacement.end());
    }
}

} // namespace

NQMutableIPAddressSet::NQMutableIPAddressSet(std::vector<NQIPAddressRange> ranges) {
    _ranges = std::move(ranges);
}

NQMutableIPAddressSet NQMutableIPAddressSet::addressSetWithAddress(const NQIPAddress& address) {
    NQMutableIPAddressSet set;
    set.addAddress(address);
    return set;
}

NQMutableIPAddressSet
NQMutableIPAddressSet::addressSetWithAddresses(const std::vector<NQIPAddress>& addresses) {
    NQMutableIPAddressSet set;
    for (const auto& address : addresses) {
        set.addAddress(address);
    }
    return set;
}

NQMutableIPAddressSet NQMutableIPAddressSet::addressSetWithAddressesInRange(const NQIPAddressRange& range) {
    NQMutableIPAddressSet set;
    set.addAddressesInRange(range);
    return set;
}

std::optional<NQMutableIPAddressSet>
NQMutableIPAddressSet::addressSetFromDisplayString(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string compact = ZRUnicodeText::removingWhitespaceAndNewlines(text);
    NQMutableIPAddressSet set;
    std::size_t start = 0;
    for (;;) {
        const auto end = compact.find(',', start);
        const auto piece =
            std::string_view(compact).substr(start, end == std::string::npos ? end : end - start);
        const auto range = NQIPAddressRange::rangeFromDisplayString(piece);
        if (!range) {
            return std::nullopt;
        }
        set.addAddressesInRange(*range);
        if (end == std::string::npos) {
            return set;
        }
        start = end + 1;
    }
}

bool NQMutableIPAddressSet::addAddressesInRange(const NQIPAddressRange& range) {
    const auto begin =
        std::partition_point(_ranges.begin(), _ranges.end(), [&](const NQIPAddressRange& candidate) {
            return endsBeforeWithoutTouching(candidate, range);
        });
    auto end = begin;
    NQIPAddressRange merged = range;
    while (end != _ranges.end() && touchesFromAbove(*end, range)) {
        merged = *merged.unionRange(*end);
        ++end;
    }
    if (end - begin == 1 && range.isSubrangeOfRange(*begin)) {
        return false;
    }
    const auto first = static_cast<std::size_t>(begin - _ranges.begin());
    replaceRanges(_ranges, first, static_cast<std::size_t>(end - _ranges.begin()), {merged});
    invalidateNumberOfAddresses();
    return true;
}

bool NQMutableIPAddressSet::addAddressesFromSet(const NQIPAddressSet& other) {
    bool changed = false;
    // Copy first: `other` may be this very set.
    const auto ranges = other.addressRanges();
    for (const auto& range : ranges) {
        changed = addAddressesInRange(range) || changed;
    }
    return changed;
}

void NQMutableIPAddressSet::removeAddressesInRange(const NQIPAddressRange& range) {
    const auto begin =
        std::partition_point(_ranges.begin(), _ranges.end(), [&](const NQIPAddressRange& candidate) {
            return candidate.lastAddress() < range.firstAddress();
        });
    auto end = begin;
    std::vector<NQIPAddressRange> remainder;
    while (end != _ranges.end() && end->firstAddress() <= range.lastAddress()) {
        // Here the candidate overlaps the range, so both are of one family and the neighbours
        // taken below exist.
        if (end->firstAddress() < range.firstAddress()) {
            remainder.push_back(NQIPAddressRange::rangeWithFirstAddress(
                end->firstAddress(), range.firstAddress().previousAddress()));
        }
        if (range.lastAddress() < end->lastAddress()) {
            remainder.push_back(NQIPAddressRange::rangeWithFirstAddress(range.lastAddress().nextAddress(),
                                                                        end->lastAddress()));
        }
        ++end;
    }
    if (begin == end) {
        return;
    }
    const auto first = static_cast<std::size_t>(begin - _ranges.begin());
    replaceRanges(_ranges, first, static_cast<std::size_t>(end - _ranges.begin()), remainder);
    invalidateNumberOfAddresses();
}

void NQMutableIPAddressSet::removeAddressesInSet(const NQIPAddressSet& other) {
    const auto ranges = other.addressRanges();
    for (const auto& range : ranges) {
        removeAddressesInRange(range);
    }
}
