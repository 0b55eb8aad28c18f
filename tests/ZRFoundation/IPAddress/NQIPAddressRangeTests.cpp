#include "ZRFoundation/IPAddress/NQIPAddressRange.h"

#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

NQIPAddress address(const char* text) {
    return NQIPAddress::addressFromDisplayString(text).value();
}

NQIPAddressRange range(const char* text) {
    const auto parsed = NQIPAddressRange::rangeFromDisplayString(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(NQIPAddressRange::fullIPv4AddressRange());
}

std::string displayOrNone(std::string_view text) {
    const auto parsed = NQIPAddressRange::rangeFromDisplayString(text);
    return parsed ? parsed->displayString() : "none";
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "no exception";
}

TEST(NQIPAddressRange, ParsesTheThreeTextForms) {
    EXPECT_EQ(displayOrNone("10.0.0.0/8"), "10.0.0.0-10.255.255.255");
    EXPECT_EQ(range("10.0.0.0/8").numberOfAddresses(), 16777216.0);
    EXPECT_EQ(displayOrNone("10.1.2.3/8"), "10.0.0.0-10.255.255.255");
    EXPECT_EQ(displayOrNone(" 192.168.0.1 - 192.168.0.9 "), "192.168.0.1-192.168.0.9");
    EXPECT_EQ(displayOrNone("\t10.0.0.1\n"), "10.0.0.1");
    EXPECT_EQ(displayOrNone("1.2.3.4/"), "0.0.0.0-255.255.255.255");
    EXPECT_EQ(displayOrNone("1.2.3.4/32"), "1.2.3.4");
    EXPECT_EQ(displayOrNone("1.2.3.4/24abc"), "1.2.3.0-1.2.3.255");
    EXPECT_EQ(displayOrNone("1.2.3.4/+24"), "1.2.3.0-1.2.3.255");
    EXPECT_EQ(displayOrNone("fe80::1/10"), "fe80::-febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    EXPECT_EQ(displayOrNone("::/0"), "::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    EXPECT_EQ(displayOrNone("fe80::1-fe80::5"), "fe80::1-fe80::5");
    // Unicode spaces count as white space too.
    EXPECT_EQ(displayOrNone("10.0.0.1\u00a0-\u200310.0.0.2"), "10.0.0.1-10.0.0.2");
}

TEST(NQIPAddressRange, RejectsInvalidTexts) {
    for (const char* text : {"", "192.168.0.9-192.168.0.1", "10.0.0.1-fe80::1", "1.2.3.4/33", "::1/129",
                             "1.2.3.4/-1", "1.2.3.4/8-9", "1.2.3.4/8/8", "fe80::1%en0", "/8", "1.2.3.4-",
                             "-1.2.3.4", "1.2.3.4-1.2.3.5-1.2.3.6", "1.2.3.4/99999999999999999999",
                             "10.0.0.1,10.0.0.2", "1.2.3.4\xff", "\xe2\x80"}) {
        EXPECT_EQ(displayOrNone(text), "none") << text;
    }
}

TEST(NQIPAddressRange, EnforcesItsInvariantAtConstruction) {
    const std::string message = "Combination of firstAddress / lastAddress is not valid.";
    EXPECT_EQ(
        messageOf([] { NQIPAddressRange::rangeWithFirstAddress(address("10.0.0.2"), address("10.0.0.1")); }),
        message);
    EXPECT_EQ(messageOf([] { NQIPAddressRange::rangeWithFirstAddress(address("10.0.0.1"), address("::2")); }),
              message);
    EXPECT_EQ(messageOf([] { NQIPAddressRange::rangeWithFirstAddress(std::nullopt, address("::2")); }),
              message);
    EXPECT_EQ(NQIPAddressRange::rangeWithAddress(address("127.0.0.1")).displayString(), "127.0.0.1");
}

TEST(NQIPAddressRange, BuildsFromNetmasksAndPrefixes) {
    in_addr network{};
    in_addr mask{};
    inet_pton(AF_INET, "192.168.5.9", &network);
    inet_pton(AF_INET, "255.255.252.0", &mask);
    EXPECT_EQ(NQIPAddressRange::rangeWithWithIPv4Address(network, mask).displayString(),
              "192.168.4.0-192.168.7.255");
    inet_pton(AF_INET, "0.0.0.0", &mask);
    EXPECT_EQ(NQIPAddressRange::rangeWithWithIPv4Address(network, mask),
              NQIPAddressRange::fullIPv4AddressRange());

    in6_addr v6{};
    inet_pton(AF_INET6, "2001:db8:1:2::5", &v6);
    EXPECT_EQ(NQIPAddressRange::rangeWithWithIPv6Address(v6, 48).displayString(),
              "2001:db8:1::-2001:db8:1:ffff:ffff:ffff:ffff:ffff");
    EXPECT_THROW(NQIPAddressRange::rangeWithWithIPv6Address(v6, 129), std::invalid_argument);
    EXPECT_EQ(NQIPAddressRange::fullIPv6AddressRange().numberOfAddresses(), 0x1p128);
    EXPECT_EQ(NQIPAddressRange::fullIPv4AddressRange().numberOfAddresses(), 4294967296.0);
}

TEST(NQIPAddressRange, ComparesByFirstAddressAndEqualsByBothEnds) {
    EXPECT_EQ(range("10.0.0.1-10.0.0.5").compare(range("10.0.0.1-10.0.0.9")), 0);
    EXPECT_EQ(range("10.0.0.1").compare(range("::1")), -1);
    EXPECT_FALSE(range("10.0.0.1-10.0.0.5").isEqualToRange(range("10.0.0.1-10.0.0.9")));
    EXPECT_TRUE(range("10.0.0.1-10.0.0.5").isEqualToRange(range("10.0.0.1 - 10.0.0.5")));
    EXPECT_EQ(range("10.0.0.1-10.0.0.5").hash(), address("10.0.0.1").hash());
}

TEST(NQIPAddressRange, RelatesRangesOfOneFamily) {
    const auto base = range("10.0.0.10-10.0.0.20");
    EXPECT_TRUE(base.containsAddress(address("10.0.0.10")));
    EXPECT_TRUE(base.containsAddress(address("10.0.0.20")));
    EXPECT_FALSE(base.containsAddress(address("10.0.0.21")));
    EXPECT_FALSE(base.containsAddress(address("::a00:a")));

    EXPECT_TRUE(base.intersectsRange(range("10.0.0.20-10.0.0.30")));
    EXPECT_TRUE(base.intersectsRange(range("10.0.0.0-10.0.0.255")));
    EXPECT_TRUE(range("10.0.0.12-10.0.0.13").intersectsRange(base));
    EXPECT_FALSE(base.intersectsRange(range("10.0.0.21-10.0.0.30")));
    EXPECT_FALSE(range("0.0.0.0-255.255.255.255").intersectsRange(range("::-ffff::")));

    EXPECT_TRUE(range("10.0.0.10-10.0.0.15").isSubrangeOfRange(base));
    EXPECT_FALSE(range("10.0.0.10-10.0.0.15").isExcludingSubrangeOfRange(base));
    EXPECT_TRUE(range("10.0.0.11-10.0.0.19").isExcludingSubrangeOfRange(base));
    EXPECT_FALSE(base.isExcludingSubrangeOfRange(base));

    EXPECT_TRUE(base.isAdjacentToRange(range("10.0.0.21")));
    EXPECT_TRUE(base.isAdjacentToRange(range("10.0.0.0-10.0.0.9")));
    EXPECT_FALSE(base.isAdjacentToRange(range("10.0.0.22")));
    EXPECT_FALSE(base.isAdjacentToRange(range("10.0.0.15")));
    EXPECT_THROW((void)base.isAdjacentToRange(range("::1")), std::invalid_argument);
    // The top of the space is not adjacent to the bottom.
    EXPECT_FALSE(range("255.255.255.255").isAdjacentToRange(range("0.0.0.0")));
}

TEST(NQIPAddressRange, UnitesAndIntersects) {
    const auto base = range("10.0.0.10-10.0.0.20");
    EXPECT_EQ(base.unionRange(range("10.0.0.21-10.0.0.30"))->displayString(), "10.0.0.10-10.0.0.30");
    EXPECT_EQ(base.unionRange(range("10.0.0.0-10.0.0.12"))->displayString(), "10.0.0.0-10.0.0.20");
    EXPECT_FALSE(base.unionRange(range("10.0.0.22")).has_value());
    EXPECT_FALSE(base.unionRange(range("::1")).has_value());

    EXPECT_EQ(base.intersectionRange(range("10.0.0.15-10.0.0.40"))->displayString(), "10.0.0.15-10.0.0.20");
    EXPECT_EQ(base.intersectionRange(range("10.0.0.20"))->displayString(), "10.0.0.20");
    EXPECT_FALSE(base.intersectionRange(range("10.0.0.21-10.0.0.40")).has_value());
    EXPECT_FALSE(range("0.0.0.0-255.255.255.255").intersectionRange(range("::-::5")).has_value());
}

TEST(NQIPAddressRange, SubtractsWithoutSplittingOrWrapping) {
    const auto minus = [](const char* from, const char* subtracted) {
        const auto rest = range(from).rangeBySubtractingRange(range(subtracted));
        return rest ? rest->displayString() : "none";
    };
    EXPECT_EQ(minus("0.0.0.0-255.255.255.255", "0.0.0.0"), "0.0.0.1-255.255.255.255");
    EXPECT_EQ(minus("10.0.0.5-255.255.255.255", "10.0.0.0-255.255.255.255"), "none");
    EXPECT_EQ(minus("10.0.0.5-10.0.0.20", "10.0.0.15-10.0.0.30"), "10.0.0.5-10.0.0.14");
    EXPECT_EQ(minus("10.0.0.5-10.0.0.20", "10.0.0.5-10.0.0.9"), "10.0.0.10-10.0.0.20");
    EXPECT_EQ(minus("10.0.0.5-10.0.0.20", "10.0.0.0-10.0.0.30"), "none");
    EXPECT_EQ(minus("ffff::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::/0"), "none");
    // A range that misses the receiver leaves it whole.
    EXPECT_EQ(minus("10.0.0.5-10.0.0.20", "10.0.0.30-10.0.0.40"), "10.0.0.5-10.0.0.20");
    EXPECT_EQ(minus("10.0.0.5-10.0.0.20", "10.0.0.1-10.0.0.2"), "10.0.0.5-10.0.0.20");

    EXPECT_EQ(messageOf([] { (void)range("10.0.0.0-10.0.0.9").rangeBySubtractingRange(range("10.0.0.5")); }),
              "Resulting range would be split by subtraction.");
    EXPECT_EQ(messageOf([] { (void)range("10.0.0.0-10.0.0.9").rangeBySubtractingRange(range("::5")); }),
              "Cannot subtract arguments of different address family.");
}

} // namespace
