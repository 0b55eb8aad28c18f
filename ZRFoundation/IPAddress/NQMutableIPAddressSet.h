#pragma once

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"

/// An address set that can grow and shrink. Insertion merges overlapping and adjacent ranges;
/// removal splits ranges; both locate their place by bisection and touch only the ranges around
/// it. Not safe for use from two threads at once.
class NQMutableIPAddressSet : public NQIPAddressSet {
public:
    NQMutableIPAddressSet() = default;

    static NQMutableIPAddressSet addressSet() { return {}; }
    static NQMutableIPAddressSet addressSetWithAddress(const NQIPAddress& address);
    static NQMutableIPAddressSet addressSetWithAddresses(const std::vector<NQIPAddress>& addresses);
    static NQMutableIPAddressSet addressSetWithAddressesInRange(const NQIPAddressRange& range);
    static std::optional<NQMutableIPAddressSet> addressSetFromDisplayString(std::string_view text);

    std::string description() const { return descriptionWithClassName("NQMutableIPAddressSet"); }

    /// True when the address was not yet contained.
    bool addAddress(const NQIPAddress& address) {
        return addAddressesInRange(NQIPAddressRange::rangeWithAddress(address));
    }
    /// True when the set changed, false when the range already lay within one existing range.
    bool addAddressesInRange(const NQIPAddressRange& range);
    /// True when any of the other set's ranges changed this set.
    bool addAddressesFromSet(const NQIPAddressSet& other);

    void removeAddress(const NQIPAddress& address) {
        removeAddressesInRange(NQIPAddressRange::rangeWithAddress(address));
    }
    void removeAddressesInRange(const NQIPAddressRange& range);
    void removeAddressesInSet(const NQIPAddressSet& other);

private:
    explicit NQMutableIPAddressSet(std::vector<NQIPAddressRange> ranges);
    friend class NQIPAddressSet;
};
