#include "Code/Presentation/ConnectionHeading.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <gtest/gtest.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;

class EnglishTexts : public testing::Test {
protected:
    void SetUp() override {
        ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{"en"});
    }
    void TearDown() override { ZRPreferredLanguages::overridePreferredLanguages(std::nullopt); }
};

PortSet ports(std::initializer_list<std::uint16_t> numbers) {
    PortSet set;
    for (const auto number : numbers) {
        set.addPort(number);
    }
    return set;
}

Description description(std::vector<Rule> rules, std::optional<NetworkProtocol> protocol, PortSet portSet,
                        bool incoming = false) {
    return Description(incoming, std::move(rules), protocol, std::move(portSet),
                       Description::Relevance::default_, "Purpose.", std::nullopt);
}

TEST_F(EnglishTexts, EnumeratesWithConjunctions) {
    EXPECT_EQ(enumerationText({}), "");
    EXPECT_EQ(enumerationText({"a"}), "a");
    EXPECT_EQ(enumerationText({"a", "b"}), "a and b");
    EXPECT_EQ(enumerationText({"a", "b", "c"}), "a, b, and c");
}

TEST_F(EnglishTexts, NamesHostsByKind) {
    EXPECT_EQ(hostsText({Rule::host("a.example"), Rule::fuzzyAnyConnectionWildcard()}), "any host");
    EXPECT_EQ(hostsText({Rule::fuzzyDomainWildcard("x.example"), Rule::host("a.example"),
                         Rule::exactDomainWildcard("y.example")}),
              "a.example and the domains x.example and y.example");
    EXPECT_EQ(hostsText({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.0/8")),
                         Rule::localNetwork(), Rule::berkeleyPacketFilter(),
                         Rule::fuzzyDomainWildcard("d.example")}),
              "raw network traffic, the local network, and the domain d.example and 10.0.0.0-10.255.255.255");
    EXPECT_EQ(hostsText({}), "");
}

TEST_F(EnglishTexts, PhrasesPortsByCount) {
    EXPECT_EQ(portsPhrase(ports({443})), "port 443");
    EXPECT_EQ(portsPhrase(ports({1, 2, 3, 4, 5, 6, 7, 8, 9})), "ports 1, 2, 3, 4, 5, 6, 7, 8, and 9");
    EXPECT_EQ(portsPhrase(ports({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})), "10 ports");
    EXPECT_EQ(portsPhrase(ports({80, 443})), "ports 80 and 443");
}

TEST(NamedProtocolAndPorts, ShowsEverythingUnlessAbbreviated) {
    const auto d = description({Rule::host("a")}, NetworkProtocol::tcp, ports({443}));
    const auto named = namedProtocolAndPorts(d, false, {});
    EXPECT_TRUE(named.showProtocol);
    EXPECT_TRUE(named.showPorts);
}

TEST(NamedProtocolAndPorts, NamesOnlyWhatTellsDescriptionsApart) {
    const auto loneTCP = description({Rule::host("a")}, NetworkProtocol::tcp, ports({443}));
    auto named = namedProtocolAndPorts(loneTCP, true, {&loneTCP});
    EXPECT_FALSE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);

    const auto loneUDP = description({Rule::host("a")}, NetworkProtocol::udp, ports({53}));
    named = namedProtocolAndPorts(loneUDP, true, {&loneUDP});
    EXPECT_TRUE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);

    const auto web = description({Rule::host("a")}, NetworkProtocol::tcp, ports({80}));
    const auto secure = description({Rule::host("a")}, NetworkProtocol::tcp, ports({443}));
    for (const auto* d : {&web, &secure}) {
        named = namedProtocolAndPorts(*d, true, {&web, &secure});
        EXPECT_TRUE(named.showProtocol);
        EXPECT_TRUE(named.showPorts);
    }

    const auto tcp = description({Rule::host("a")}, NetworkProtocol::tcp, ports({80, 443}));
    const auto udp = description({Rule::host("a")}, NetworkProtocol::udp, ports({80, 443}));
    named = namedProtocolAndPorts(tcp, true, {&tcp, &udp});
    EXPECT_FALSE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);
    named = namedProtocolAndPorts(udp, true, {&tcp, &udp});
    EXPECT_TRUE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);

    // Opposite directions and unrelated hosts do not count.
    const auto incoming = description({Rule::host("a")}, NetworkProtocol::tcp, ports({80}), true);
    const auto elsewhere = description({Rule::host("b")}, NetworkProtocol::tcp, ports({80}));
    named = namedProtocolAndPorts(secure, true, {&secure, &incoming, &elsewhere});
    EXPECT_FALSE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);

    const auto anyPort = description({Rule::host("a")}, std::nullopt, PortSet::allPorts());
    named = namedProtocolAndPorts(anyPort, true, {&anyPort, &web});
    EXPECT_FALSE(named.showProtocol);
    EXPECT_FALSE(named.showPorts);
}

} // namespace
