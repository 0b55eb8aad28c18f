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

// A description of the given protocol and ports, by default to host "a".
Description d(std::optional<NetworkProtocol> protocol, PortSet portSet,
              std::vector<Rule> rules = {Rule::host("a")}, bool incoming = false) {
    return description(std::move(rules), protocol, std::move(portSet), incoming);
}

Rule addresses(const char* text) {
    return Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(text));
}

constexpr auto tcp = NetworkProtocol::tcp;
constexpr auto udp = NetworkProtocol::udp;

struct NamingCase {
    const char* name;
    // Index into `shown` of the description asked about, or the last one when out of range: then it
    // is asked about without being shown itself.
    std::size_t asked;
    bool showProtocol;
    bool showPorts;
    std::vector<Description> shown;
};

NamingCase naming(const char* name, std::size_t asked, bool showProtocol, bool showPorts,
                  std::vector<Description> shown) {
    return {name, asked, showProtocol, showPorts, std::move(shown)};
}

class NamingAmongShown : public testing::TestWithParam<NamingCase> {};

TEST_P(NamingAmongShown, DependsOnlyOnTheDescriptionsItMustBeToldApartFrom) {
    const auto& testCase = GetParam();
    std::vector<const Description*> shown;
    for (const auto& shownDescription : testCase.shown) {
        shown.push_back(&shownDescription);
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
        naming("aLoneTCPDescriptionNamesNeither", 0, false, false, {d(tcp, ports({443}))}),
        naming("aLoneUDPDescriptionNamesItsProtocol", 0, true, false, {d(udp, ports({53}))}),
        naming("portsAloneTellApart", 0, true, true, {d(tcp, ports({80})), d(tcp, ports({443}))}),
        naming("portsAloneTellApartEitherWay", 1, true, true, {d(tcp, ports({80})), d(tcp, ports({443}))}),
        naming("tcpBesideUDP", 0, false, false, {d(tcp, ports({80, 443})), d(udp, ports({80, 443}))}),
        naming("udpBesideTCP", 1, true, false, {d(tcp, ports({80, 443})), d(udp, ports({80, 443}))}),
        // Opposite directions and unrelated hosts do not count.
        naming("otherDirectionsAndHostsDoNotCount", 2, false, false,
               {d(tcp, ports({80}), {Rule::host("a")}, true), d(tcp, ports({80}), {Rule::host("b")}),
                d(tcp, ports({443}))}),
        naming("anyProtocolAndPort", 1, false, false,
               {d(tcp, ports({80})), d(std::nullopt, PortSet::allPorts())}),
        naming("equalDescriptionsAreNotToldApart", 0, false, false,
               {d(tcp, ports({443})), d(tcp, ports({443}))}),
        naming("aThirdBesideTwoEqualOnesIs", 0, true, true,
               {d(tcp, ports({443})), d(tcp, ports({443})), d(tcp, ports({80}))}),
        naming("oneSharedRuleOfSeveralIsEnough", 0, false, true,
               {d(tcp, ports({443}), {Rule::host("a"), Rule::host("b")}),
                d(udp, ports({80}), {Rule::host("c"), Rule::host("b")})}),
        naming("portsContainedByEveryOtherNeedNoNaming", 0, true, false,
               {d(udp, ports({443})), d(udp, PortSet::allPorts()), d(udp, ports({80, 443}))}),
        naming("oneOtherMissingAPortIsEnough", 0, true, true,
               {d(udp, ports({80, 443})), d(udp, PortSet::allPorts()), d(udp, ports({80}))}),
        naming("aDescriptionNotShownItselfIsToldApartFromTheOthers", 2, true, false,
               {d(tcp, ports({22}), {addresses("10.0.0.1"), Rule::localNetwork()}),
                d(tcp, ports({22}), {addresses("10.0.0.1")})}),
        naming("addressRulesMatchOnlyTheSameAddresses", 1, false, false,
               {d(tcp, ports({21}), {addresses("10.0.0.2")}), d(tcp, ports({22}), {addresses("10.0.0.1")})})),
    [](const testing::TestParamInfo<NamingCase>& param) { return std::string(param.param.name); });

} // namespace
