#include "Support/Thrown.h"
#include "ZRFoundation/IPAddress/NQIPAddress.h"

#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace {

NQIPAddress address(const char* text) {
    const auto parsed = NQIPAddress::addressFromDisplayString(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(NQIPAddress::ipv4(0));
}

TEST(NQIPAddress, ParsesAndDisplaysBothFamilies) {
    EXPECT_EQ(address("192.168.1.77").displayString(), "192.168.1.77");
    EXPECT_EQ(address("0.0.0.0").displayString(), "0.0.0.0");
    EXPECT_EQ(address("::1").displayString(), "::1");
    EXPECT_EQ(address("::").displayString(), "::");
    EXPECT_EQ(address("FE80:0:0:0:0:0:0:1").displayString(), "fe80::1");
    EXPECT_EQ(address("::ffff:1.2.3.4").displayString(), "::ffff:1.2.3.4");
    EXPECT_EQ(address("2001:db8:0:0:1:0:0:1").displayString(), "2001:db8::1:0:0:1");
    // A single zero group is not compressed.
    EXPECT_EQ(address("2001:db8:0:1:1:1:1:1").displayString(), "2001:db8:0:1:1:1:1:1");
    EXPECT_TRUE(address("10.0.0.1").isIPv4Address() && address("fe80::1").isIPv6Address());
    EXPECT_EQ(std::pair(address("10.0.0.1").family(), address("fe80::1").family()),
              std::pair(AF_INET, AF_INET6));
}

TEST(NQIPAddress, RejectsMalformedTexts) {
    for (const char* text : {"", " 10.0.0.1", "10.0.0.1 ", "fe80::1%en0", "10.0.0.0/8", "10.0.0",
                             "10.0.0.1.2", "256.0.0.1", "1.2.3.a", "010.0.0.1", ":::", "1::2::3",
                             "12345::", "g::1", "-1.0.0.0", "1.2.3.4:", "::1:2:3:4:5:6:7:8", "0x1.0.0.0"}) {
        EXPECT_FALSE(NQIPAddress::addressFromDisplayString(text).has_value()) << text;
    }
    EXPECT_FALSE(NQIPAddress::addressFromDisplayString(std::string_view("1.2.3.4\0", 8)).has_value());
    EXPECT_FALSE(NQIPAddress::addressFromDisplayString(std::string(100, '1')).has_value());
}

TEST(NQIPAddress, OrdersIPv4BeforeIPv6AndByValue) {
    EXPECT_EQ(address("255.255.255.255").compare(address("::")), -1);
    EXPECT_EQ(address("::").compare(address("255.255.255.255")), 1);
    EXPECT_EQ(address("10.0.0.2").compare(address("10.0.0.10")), -1);
    EXPECT_EQ(address("10.0.0.2").compare(address("10.0.0.2")), 0);
    // The high word decides before the low word.
    EXPECT_LT(address("::ffff:ffff:ffff:ffff"), address("0:0:0:1::"));
    EXPECT_TRUE(address("10.0.0.1").isEqualToAddress(address("10.0.0.1")));
    EXPECT_NE(address("0.0.0.1"), address("::1"));
}

TEST(NQIPAddress, HashesAsDefined) {
    EXPECT_EQ(address("10.0.0.1").hash(), 0x0A000001U);
    EXPECT_EQ(address("1:0:0:0:0:0:0:3").hash(), std::size_t{0x0001000000000000ULL ^ 3ULL});
}

TEST(NQIPAddress, ConvertsBetweenByteOrders) {
    in_addr v4{};
    inet_pton(AF_INET, "192.0.2.7", &v4);
    EXPECT_EQ(NQIPAddress::addressWithIPv4Address(v4).displayString(), "192.0.2.7");
    in6_addr v6{};
    inet_pton(AF_INET6, "2001:db8::7", &v6);
    const auto ipv6 = NQIPAddress::addressWithIPv6Address(v6);
    EXPECT_EQ(ipv6.displayString(), "2001:db8::7");
    EXPECT_EQ(ipv6.highWord(), 0x20010db800000000ULL);
    EXPECT_EQ(ipv6.lowWord(), 7U);

    const auto networkBytes = ipv6.networkBytes();
    ASSERT_EQ(networkBytes.size(), 16U);
    EXPECT_EQ(std::memcmp(networkBytes.data(), &v6, 16), 0);
    EXPECT_EQ(NQIPAddress::addressWithAddressFamily(AF_INET6, networkBytes), ipv6);
    EXPECT_EQ(NQIPAddress::addressWithAddressFamily(AF_INET, address("1.2.3.4").networkBytes()),
              address("1.2.3.4"));
    EXPECT_FALSE(NQIPAddress::addressWithAddressFamily(AF_UNIX, networkBytes).has_value());
    EXPECT_FALSE(NQIPAddress::addressWithAddressFamily(AF_INET, networkBytes).has_value());

    for (const auto& value : {address("1.2.3.4"), ipv6}) {
        EXPECT_EQ(NQIPAddress::addressWithDataInHostByteOrder(value.dataInHostByteOrder()), value);
    }
    const std::uint8_t threeBytes[3] = {1, 2, 3};
    EXPECT_FALSE(NQIPAddress::addressWithDataInHostByteOrder(threeBytes).has_value());

    std::uint8_t small[8] = {};
    EXPECT_EQ(ipv6.getIPAddress(small), 0U);
    EXPECT_EQ(address("1.2.3.4").getIPAddress(small), 4U);
    EXPECT_EQ(std::vector(small, small + 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST(NQIPAddress, StepsAndWrapsAround) {
    EXPECT_EQ(address("0.0.0.0").previousAddress(), address("255.255.255.255"));
    EXPECT_EQ(address("255.255.255.255").nextAddress(), address("0.0.0.0"));
    EXPECT_EQ(address("10.0.0.255").nextAddress(), address("10.0.1.0"));
    EXPECT_EQ(address("::").previousAddress(), address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"));
    EXPECT_EQ(address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff").nextAddress(), address("::"));
    // Carry from the low into the high word and back.
    EXPECT_EQ(address("::ffff:ffff:ffff:ffff").nextAddress(), address("0:0:0:1::"));
    EXPECT_EQ(address("0:0:0:1::").previousAddress(), address("::ffff:ffff:ffff:ffff"));
}

TEST(NQIPAddress, MeasuresExactDistancesWithinOneFamily) {
    EXPECT_EQ(address("10.0.0.0").distanceToAddress(address("10.0.0.5")), 5.0);
    EXPECT_EQ(address("10.0.0.5").distanceToAddress(address("10.0.0.0")), -5.0);
    EXPECT_EQ(address("0.0.0.0").distanceToAddress(address("255.255.255.255")), 4294967295.0);
    // Neighbours far up the IPv6 space are still exactly one apart.
    const auto high = address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe");
    EXPECT_EQ(high.distanceToAddress(high.nextAddress()), 1.0);
    EXPECT_EQ(high.nextAddress().distanceToAddress(high), -1.0);
    EXPECT_DOUBLE_EQ(address("::").distanceToAddress(address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff")),
                     0x1p128);
}

TEST(NQIPAddress, RefusesDistanceAcrossFamiliesWithFixedMessages) {
    const auto message = [](const char* from, const char* to) {
        const auto error =
            thrownBy<std::invalid_argument>([&] { (void)address(from).distanceToAddress(address(to)); });
        return error ? std::string(error->what()) : "";
    };
    EXPECT_EQ(message("10.0.0.1", "::1"), "Cannot compute difference between IPv4 and IPv6 addresses.");
    EXPECT_EQ(message("::1", "10.0.0.1"), "Can not compute difference between IPv4 and IPv6 addresses.");
}

TEST(NQIPAddress, MasksWithPrefixLengths) {
    const std::tuple<const char*, unsigned, const char*, const char*> cases[] = {
        {"192.168.1.77", 24, "192.168.1.0", "192.168.1.255"},
        {"192.168.1.77", 0, "0.0.0.0", "255.255.255.255"},
        {"192.168.1.77", 32, "192.168.1.77", "192.168.1.77"},
        {"fe80::1", 10, "fe80::", "febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
        {"2001:db8::1", 64, "2001:db8::", "2001:db8::ffff:ffff:ffff:ffff"},
        {"2001:db8::1", 128, "2001:db8::1", "2001:db8::1"},
        {"2001:db8::1", 0, "::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"},
    };
    for (const auto& [text, prefix, first, last] : cases) {
        EXPECT_EQ(address(text).firstAddressForPrefixLength(prefix), address(first)) << text << "/" << prefix;
        EXPECT_EQ(address(text).lastAddressForPrefixLength(prefix), address(last)) << text << "/" << prefix;
    }
    for (const auto& [text, prefix] : {std::pair{"1.2.3.4", 33U}, {"::1", 129U}}) {
        EXPECT_THROW((void)address(text).firstAddressForPrefixLength(prefix), std::invalid_argument);
        const auto error =
            thrownBy<std::invalid_argument>([&] { (void)address(text).lastAddressForPrefixLength(prefix); });
        EXPECT_STREQ(error.value().what(), "Invalid prefix length.");
    }
}

} // namespace
