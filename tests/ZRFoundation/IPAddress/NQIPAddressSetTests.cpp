#include "ZRFoundation/IPAddress/NQIPAddressSet.h"
#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

NQIPAddress address(const char* text) {
    return NQIPAddress::addressFromDisplayString(text).value();
}
NQIPAddressRange range(const char* text) {
    return NQIPAddressRange::rangeFromDisplayString(text).value();
}

NQMutableIPAddressSet mutableSet(const char* text) {
    const auto parsed = NQMutableIPAddressSet::addressSetFromDisplayString(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(NQMutableIPAddressSet());
}

// Merging and splitting within one family are checked against a model in NQIPAddressSetModelTests;
// these cases are the other operations, both families together and the ends of the address space.

TEST(NQIPAddressSet, ParsesSortsAndMergesTexts) {
    EXPECT_EQ(mutableSet("192.168.1.0/24, 10.0.0.0/8").displayString(),
              "10.0.0.0-10.255.255.255, 192.168.1.0-192.168.1.255");
    EXPECT_EQ(mutableSet("10.0.0.2,10.0.0.1").displayString(), "10.0.0.1-10.0.0.2");
    EXPECT_EQ(mutableSet("::1, 127.0.0.1").displayString(), "127.0.0.1, ::1");
    EXPECT_EQ(mutableSet("10.0.0.0/8, 10.1.0.0/16").displayString(), "10.0.0.0-10.255.255.255");
    EXPECT_EQ(mutableSet(" 10.0.0.1 ,\n10.0.0.5 - 10.0.0.6 ").displayString(), "10.0.0.1, 10.0.0.5-10.0.0.6");
    EXPECT_EQ(mutableSet("10.0.0.1").displayStringWithSeparator("|"), "10.0.0.1");
    EXPECT_EQ(mutableSet("10.0.0.1, 10.0.0.3").displayStringWithSeparator("|"), "10.0.0.1|10.0.0.3");

    for (const char* text :
         {"", ",", "10.0.0.1,", ",10.0.0.1", "10.0.0.1,,10.0.0.2", "10.0.0.1x", " ", "10.0.0.1, x"}) {
        EXPECT_FALSE(NQIPAddressSet::addressSetFromDisplayString(text).has_value()) << text;
    }
}

TEST(NQIPAddressSet, AddsWithMerging) {
    NQMutableIPAddressSet set;
    EXPECT_TRUE(set.addAddressesInRange(range("10.0.0.0-10.0.0.9")));
    EXPECT_TRUE(set.addAddressesInRange(range("10.0.0.10-10.0.0.20")));
    EXPECT_EQ(set.displayString(), "10.0.0.0-10.0.0.20");
    EXPECT_FALSE(set.addAddress(address("10.0.0.5")));
    EXPECT_FALSE(set.addAddressesInRange(range("10.0.0.0-10.0.0.20")));
    EXPECT_EQ(set.displayString(), "10.0.0.0-10.0.0.20");

    // The ends of the address space and the boundary between the families never merge.
    auto edges = mutableSet("255.255.255.255, ::");
    EXPECT_EQ(edges.addressRanges().size(), 2U);
    EXPECT_TRUE(edges.addAddress(address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")));
    EXPECT_TRUE(edges.addAddress(address("0.0.0.0")));
    EXPECT_EQ(edges.displayString(), "0.0.0.0, 255.255.255.255, ::, ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");

    auto both = mutableSet("10.0.0.1");
    EXPECT_TRUE(both.addAddressesFromSet(mutableSet("::1, 10.0.0.2")));
    EXPECT_FALSE(both.addAddressesFromSet(mutableSet("::1")));
    EXPECT_FALSE(both.addAddressesFromSet(both));
    EXPECT_EQ(both.displayString(), "10.0.0.1-10.0.0.2, ::1");
}

TEST(NQIPAddressSet, RemovesWithSplitting) {
    auto set = mutableSet("10.0.0.0-10.0.0.20");
    set.removeAddress(address("10.0.0.5"));
    EXPECT_EQ(set.displayString(), "10.0.0.0-10.0.0.4, 10.0.0.6-10.0.0.20");

    auto many = mutableSet("10.0.0.1, 10.0.0.3, 10.0.0.5-10.0.0.9, ::1");
    many.removeAddressesInRange(range("10.0.0.0-10.0.0.6"));
    EXPECT_EQ(many.displayString(), "10.0.0.7-10.0.0.9, ::1");
    many.removeAddressesInRange(range("::-::1"));
    EXPECT_EQ(many.displayString(), "10.0.0.7-10.0.0.9");
    many.removeAddressesInRange(range("11.0.0.0/8"));
    EXPECT_EQ(many.displayString(), "10.0.0.7-10.0.0.9");
    many.removeAddressesInSet(many);
    EXPECT_TRUE(many.isEmpty());
    EXPECT_EQ(many.displayString(), "");
    EXPECT_EQ(many.numberOfAddresses(), 0.0);
    EXPECT_EQ(many.hash(), 0U);
    EXPECT_FALSE(many.containsAddress(address("10.0.0.7")));
    EXPECT_FALSE(many.intersectsSet(NQIPAddressSet::localNetworkAddresses()));
    many.removeAddress(address("1.1.1.1"));
    EXPECT_TRUE(many.isEmpty());
}

TEST(NQIPAddressSet, TestsMembershipAndIntersection) {
    const auto set = mutableSet("10.0.0.0/8, 192.168.0.1-192.168.0.9, fe80::/10");
    EXPECT_TRUE(set.containsAddress(address("febf::1")));
    EXPECT_FALSE(set.containsAddress(address("::a00:1")));

    EXPECT_TRUE(set.intersectsSet(mutableSet("1.1.1.1, 192.168.0.5")));
    EXPECT_TRUE(set.intersectsSet(mutableSet("fe80::5")));
    EXPECT_FALSE(set.intersectsSet(mutableSet("192.168.0.10-192.168.0.255, 11.0.0.0/8")));
    const auto v4Only = mutableSet("0.0.0.0/0");
    const auto v6Only = mutableSet("::/0");
    EXPECT_FALSE(mutableSet("10.0.0.1, ::1").intersectsSet(mutableSet("10.0.0.2")));
    EXPECT_FALSE(v4Only.intersectsSet(v6Only));
    EXPECT_FALSE(v6Only.intersectsSet(v4Only));
}

TEST(NQIPAddressSet, CountsAddressesWithoutLosingSmallCounts) {
    EXPECT_EQ(NQIPAddressSet::privateIPv4Addresses().numberOfAddresses(), 17891328.0);
    auto set = mutableSet("::/1, 10.0.0.1");
    EXPECT_EQ(set.numberOfAddresses(), 0x1p127);
    set = mutableSet("10.0.0.0-10.0.0.9");
    EXPECT_EQ(set.numberOfAddresses(), 10.0);
    set.addAddress(address("10.0.0.20"));
    EXPECT_EQ(set.numberOfAddresses(), 11.0);
    set.removeAddressesInRange(range("10.0.0.0-10.0.0.4"));
    EXPECT_EQ(set.numberOfAddresses(), 6.0);
    const NQIPAddressSet frozen = set;
    EXPECT_EQ(frozen.numberOfAddresses(), 6.0);
}

TEST(NQIPAddressSet, ComparesHashesAndCopies) {
    const auto a = mutableSet("10.0.0.1-10.0.0.2, ::1");
    const auto b = mutableSet("::1, 10.0.0.2, 10.0.0.1");
    EXPECT_TRUE(a.isEqualToSet(b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a == mutableSet("10.0.0.1-10.0.0.3, ::1"));

    // Hash: t = h + rangeHash; h = (t << 8) ^ t, for each range in order.
    const std::size_t first = (std::size_t{0x0A000001} << 8) ^ std::size_t{0x0A000001};
    const std::size_t t = first + 1;
    EXPECT_EQ(a.hash(), (t << 8) ^ t);

    NQIPAddressSet immutable = a.copy();
    auto changed = immutable.mutableCopy();
    changed.addAddress(address("8.8.8.8"));
    EXPECT_EQ(immutable, a);
    EXPECT_NE(changed, a);
    EXPECT_EQ(
        NQIPAddressSet::addressSetWithAddresses({address("::1"), address("10.0.0.2"), address("10.0.0.1")}),
        a);
    EXPECT_EQ(NQIPAddressSet::addressSetWithAddressesInRange(range("10.0.0.1-10.0.0.2")).displayString(),
              "10.0.0.1-10.0.0.2");
    EXPECT_EQ(NQIPAddressSet::addressSetWithAddress(address("::1")).displayString(), "::1");

    EXPECT_EQ(a.description().rfind("<NQMutableIPAddressSet:0x", 0), 0U);
    EXPECT_NE(immutable.description().find(" ranges:10.0.0.1-10.0.0.2, ::1>"), std::string::npos);
}

TEST(NQIPAddressSet, PredefinedSetsHoldTheirRanges) {
    EXPECT_EQ(NQIPAddressSet::privateAddresses().displayString(),
              "10.0.0.0-10.255.255.255, 172.16.0.0-172.31.255.255, 192.168.0.0-192.168.255.255, "
              "fd00::-fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    EXPECT_EQ(NQIPAddressSet::multicastAddresses().displayString(),
              "224.0.0.0-239.255.255.255, ff00::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    EXPECT_EQ(NQIPAddressSet::bonjourAddresses().displayString(),
              "169.254.0.0-169.254.255.255, fe80::-febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    EXPECT_EQ(NQIPAddressSet::loopbackAddresses().displayString(), "127.0.0.1, ::1");
    EXPECT_EQ(NQIPAddressSet::zeroAddresses().displayString(), "0.0.0.0, ::");
    EXPECT_EQ(NQIPAddressSet::loopbackAddressesAndZeroAddresses().displayString(),
              "0.0.0.0, 127.0.0.1, ::-::1");
    EXPECT_EQ(NQIPAddressSet::anyAddressesWithoutLoopbackAndZeroAddresses().displayString(),
              "0.0.0.1-127.0.0.0, 127.0.0.2-255.255.255.255, ::2-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");

    std::string expected = "10.0.0.0-10.255.255.255, 169.254.0.0-169.254.255.255, 172.16.0.0-172.31.255.255, "
                           "192.168.0.0-192.168.255.255, 224.0.0.0-224.0.0.255, "
                           "fd00::-fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff, "
                           "fe80::-febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff";
    for (const char* flag :
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e", "f"}) {
        expected += std::string(", ff") + flag + "1::-ff" + flag + "5:ffff:ffff:ffff:ffff:ffff:ffff:ffff";
    }
    EXPECT_EQ(NQIPAddressSet::localNetworkAddresses().displayString(), expected);
    EXPECT_EQ(NQIPAddressSet::localNetworkAddresses().addressRanges().size(), 23U);
}

TEST(NQIPAddressSet, PredefinedSetsAreBuiltOnceAcrossThreads) {
    std::vector<const NQIPAddressSet*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] {
            seen[i] = &NQIPAddressSet::localNetworkAddresses();
            (void)seen[i]->numberOfAddresses();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto* set : seen) {
        EXPECT_EQ(set, seen.front());
    }
}

} // namespace
