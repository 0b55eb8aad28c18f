// Random add/remove sequences on small address spaces, checked after every step against a
// plain bitset of the same space.

#include "ZRFoundation/IPAddress/NQIPAddressSet.h"
#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"

#include <bitset>
#include <functional>
#include <random>

#include <gtest/gtest.h>

namespace {

constexpr std::size_t spaceSize = 256;

struct AddressSpace {
    const char* name;
    std::function<NQIPAddress(std::size_t)> addressAt;
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

TEST(NQIPAddressSetModel, RandomOperationsMatchABitsetInIPv4) {
    const AddressSpace space{"10.0.0.0/24", [](std::size_t i) {
                                 return NQIPAddress::ipv4(0x0A000000U + static_cast<std::uint32_t>(i));
                             }};
    for (unsigned seed = 1; seed <= 20; ++seed) {
        runRandomOperations(space, seed);
    }
}

TEST(NQIPAddressSetModel, RandomOperationsMatchABitsetAcrossAnIPv6WordBoundary) {
    // The block straddles the carry from the low into the high word.
    const AddressSpace space{"::ffff:ffff:ffff:ff80/121", [](std::size_t i) {
                                 const std::uint64_t low = 0xFFFFFFFFFFFFFF80ULL + i;
                                 return NQIPAddress::ipv6(low < i ? 1 : 0, low);
                             }};
    for (unsigned seed = 1; seed <= 10; ++seed) {
        runRandomOperations(space, seed);
    }
}

TEST(NQIPAddressSetModel, RandomOperationsMatchABitsetAtTheTopOfTheIPv4Space) {
    const AddressSpace space{"255.255.255.0/24", [](std::size_t i) {
                                 return NQIPAddress::ipv4(0xFFFFFF00U + static_cast<std::uint32_t>(i));
                             }};
    for (unsigned seed = 1; seed <= 10; ++seed) {
        runRandomOperations(space, seed);
    }
}

} // namespace
