#include "Code/Presentation/ConnectionHeading.h"
#include "Support/LanguageOverride.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;

class EnglishTexts : public testing::Test {
protected:
    const LanguageOverride language{{"en"}};
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
              "<bdi>a.example</bdi> and the domains <bdi>x.example</bdi> and <bdi>y.example</bdi>");
    EXPECT_EQ(hostsText({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.0/8")),
                         Rule::localNetwork(), Rule::berkeleyPacketFilter(),
                         Rule::fuzzyDomainWildcard("d.example")}),
              "raw network traffic, the local network, and the domain <bdi>d.example</bdi> and "
              "10.0.0.0-10.255.255.255");
    EXPECT_EQ(hostsText({}), "");
}

TEST_F(EnglishTexts, IsolatesEachNameFromItsNeighbours) {
    // A right-to-left override in one host name ends with its element and reorders neither the
    // sentence nor the next name.
    EXPECT_EQ(hostsText({Rule::host("\u202Eevil.example"), Rule::host("<b>.example")}),
              "<bdi>\u202Eevil.example</bdi> and <bdi>&lt;b&gt;.example</bdi>");
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

struct NamingCase {
    const char* name;
    std::vector<Description> shown;
    // Index into `shown` of the description asked about, or the last one when out of range: then it
    // is asked about without being shown itself.
    std::size_t asked;
    bool showProtocol;
    bool showPorts;
};

class NamingAmongShown : public testing::TestWithParam<NamingCase> {};

TEST_P(NamingAmongShown, DependsOnlyOnTheDescriptionsItMustBeToldApartFrom) {
    const auto& testCase = GetParam();
    std::vector<const Description*> shown;
    for (const auto& d : testCase.shown) {
        shown.push_back(&d);
    }
    const auto& asked = testCase.shown[std::min(testCase.asked, testCase.shown.size() - 1)];
    if (testCase.asked >= testCase.shown.size()) {
        shown.pop_back();
    }
    const auto named = namedProtocolAndPorts(asked, true, shown);
    EXPECT_EQ(named.showProtocol, testCase.showProtocol);
    EXPECT_EQ(named.showPorts, testCase.showPorts);
    // The order in which the page lists them makes no difference.
    std::reverse(shown.begin(), shown.end());
    const auto reversed = namedProtocolAndPorts(asked, true, shown);
    EXPECT_EQ(reversed.showProtocol, testCase.showProtocol);
    EXPECT_EQ(reversed.showPorts, testCase.showPorts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamingAmongShown,
    testing::Values(
        NamingCase{"equalDescriptionsAreNotToldApart",
                   {description({Rule::host("a")}, NetworkProtocol::tcp, ports({443})),
                    description({Rule::host("a")}, NetworkProtocol::tcp, ports({443}))},
                   0,
                   false,
                   false},
        NamingCase{"aThirdBesideTwoEqualOnesIs",
                   {description({Rule::host("a")}, NetworkProtocol::tcp, ports({443})),
                    description({Rule::host("a")}, NetworkProtocol::tcp, ports({443})),
                    description({Rule::host("a")}, NetworkProtocol::tcp, ports({80}))},
                   0,
                   true,
                   true},
        NamingCase{"oneSharedRuleOfSeveralIsEnough",
                   {description({Rule::host("a"), Rule::host("b")}, NetworkProtocol::tcp, ports({443})),
                    description({Rule::host("c"), Rule::host("b")}, NetworkProtocol::udp, ports({80}))},
                   0,
                   false,
                   true},
        NamingCase{"portsContainedByEveryOtherNeedNoNaming",
                   {description({Rule::host("a")}, NetworkProtocol::udp, ports({443})),
                    description({Rule::host("a")}, NetworkProtocol::udp, PortSet::allPorts()),
                    description({Rule::host("a")}, NetworkProtocol::udp, ports({80, 443}))},
                   0,
                   true,
                   false},
        NamingCase{"oneOtherMissingAPortIsEnough",
                   {description({Rule::host("a")}, NetworkProtocol::udp, ports({80, 443})),
                    description({Rule::host("a")}, NetworkProtocol::udp, PortSet::allPorts()),
                    description({Rule::host("a")}, NetworkProtocol::udp, ports({80}))},
                   0,
                   true,
                   true},
        NamingCase{"aDescriptionNotShownItselfIsToldApartFromTheOthers",
                   {description({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.1")),
                                 Rule::localNetwork()},
                                NetworkProtocol::tcp, ports({22})),
                    description({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.1"))},
                                NetworkProtocol::tcp, ports({22}))},
                   2,
                   true,
                   false},
        NamingCase{"addressRulesMatchOnlyTheSameAddresses",
                   {description({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.2"))},
                                NetworkProtocol::tcp, ports({21})),
                    description({Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.0.0.1"))},
                                NetworkProtocol::tcp, ports({22}))},
                   1,
                   false,
                   false}),
    [](const testing::TestParamInfo<NamingCase>& param) { return std::string(param.param.name); });

} // namespace
