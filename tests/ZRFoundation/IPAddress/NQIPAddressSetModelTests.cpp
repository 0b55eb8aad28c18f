// Random add/remove sequences on small address spaces, checked after every step against a
// plain bitset of the same space.

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"
#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"

#include <bitset>
#include <random>

#include <gtest/gtest.h>

namespace {

constexpr std::size_t spaceSize = 256;

/// 256 addresses from `high`:`low` on (from `low` for IPv4), built independently of address stepping.
struct AddressSpace {
    const char* name;
    bool ipv6;
    std::uint64_t high;
    std::uint64_t low;
    unsigned seeds;

    NQIPAddress addressAt(std::size_t i) const {
        const std::uint64_t value = low + i;
        return ipv6 ? NQIPAddress::ipv6(high + (value < low ? 1 : 0), value)
                    : NQIPAddress::ipv4(static_cast<std::uint32_t>(value));
    }
};

NQIPAddressRange rangeBetween(const AddressSpace& space, std::size_t first, std::size_t last) {
    return NQIPAddressRange::rangeWithFirstAddress(space.addressAt(first), space.addressAt(last));
}

void expectCanonical(const NQIPAddressSet& set) {
    const auto& ranges = set.addressRanges();
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        const auto& previous = ranges[i - 1];
        const auto& current = ranges[i];
        ASSERT_LT(previous.lastAddress(), current.firstAddress()) << set.displayString();
        if (previous.kind() == current.kind()) {
            ASSERT_FALSE(previous.isAdjacentToRange(current)) << set.displayString();
        }
    }
}

void expectMatchesModel(const AddressSpace& space, const NQIPAddressSet& set,
                        const std::bitset<spaceSize>& model, std::mt19937& random) {
    expectCanonical(set);
    EXPECT_EQ(set.numberOfAddresses(), static_cast<double>(model.count()));
    for (std::size_t i = 0; i < spaceSize; ++i) {
        ASSERT_EQ(set.containsAddress(space.addressAt(i)), model.test(i)) << set.displayString() << " @" << i;
    }

    // Intersection with a random probe range, as a set of its own.
    std::uniform_int_distribution<std::size_t> index(0, spaceSize - 1);
    std::size_t first = index(random);
    std::size_t last = index(random);
    if (first > last) {
        std::swap(first, last);
    }
    bool expected = false;
    for (std::size_t i = first; i <= last; ++i) {
        expected = expected || model.test(i);
    }
    const auto probe = NQIPAddressSet::addressSetWithAddressesInRange(rangeBetween(space, first, last));
    EXPECT_EQ(set.intersectsSet(probe), expected);
    EXPECT_EQ(probe.intersectsSet(set), expected);

    if (!set.isEmpty()) {
        const auto reparsed = NQIPAddressSet::addressSetFromDisplayString(set.displayString());
        ASSERT_TRUE(reparsed.has_value()) << set.displayString();
        EXPECT_EQ(*reparsed, set);
        EXPECT_EQ(reparsed->hash(), set.hash());
    }
}

void runRandomOperations(const AddressSpace& space, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> index(0, spaceSize - 1);
    std::uniform_int_distribution<std::size_t> shortLength(0, 12);
    std::bernoulli_distribution coin;

    NQMutableIPAddressSet set;
    std::bitset<spaceSize> model;
    for (int step = 0; step < 300; ++step) {
        const std::size_t first = index(random);
        const std::size_t last =
            std::min(spaceSize - 1, first + (coin(random) ? shortLength(random) : index(random)));
        const auto range = rangeBetween(space, first, last);
        SCOPED_TRACE(testing::Message()
                     << space.name << " seed " << seed << " step " << step << ": " << range.displayString());
        if (coin(random)) {
            bool wasInside = true;
            for (std::size_t i = first; i <= last; ++i) {
                wasInside = wasInside && model.test(i);
                model.set(i);
            }
            EXPECT_EQ(set.addAddressesInRange(range), !wasInside);
        } else {
            for (std::size_t i = first; i <= last; ++i) {
                model.reset(i);
            }
            set.removeAddressesInRange(range);
        }
        expectMatchesModel(space, set, model, random);
        if (testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

class NQIPAddressSetModel : public testing::TestWithParam<AddressSpace> {};

TEST_P(NQIPAddressSetModel, RandomOperationsMatchABitset) {
    for (unsigned seed = 1; seed <= GetParam().seeds; ++seed) {
        runRandomOperations(GetParam(), seed);
    }
}

INSTANTIATE_TEST_SUITE_P(Spaces, NQIPAddressSetModel,
                         testing::Values(AddressSpace{"IPv4", false, 0, 0x0A000000, 20},
                                         // The block straddles the carry from the low into the high word.
                                         AddressSpace{"AcrossTheIPv6WordBoundary", true, 0,
                                                      0xFFFFFFFFFFFFFF80, 10},
                                         AddressSpace{"TopOfTheIPv4Space", false, 0, 0xFFFFFF00, 10}),
                         [](const auto& space) { return std::string(space.param.name); });

} // namespace
