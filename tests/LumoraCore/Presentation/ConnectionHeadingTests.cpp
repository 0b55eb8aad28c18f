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

// A description of the given protocol and ports (all when none are given), by default to host "a".
Description d(std::optional<NetworkProtocol> protocol, std::initializer_list<std::uint16_t> portList,
              std::vector<Rule> rules = {Rule::host("a")}, bool incoming = false) {
    return Description(incoming, std::move(rules), protocol,
                       portList.size() ? ports(portList) : PortSet::allPorts(),
                       Description::Relevance::default_, "Purpose.", std::nullopt);
}

Rule addresses(const char* text) {
    return Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(text));
}

constexpr auto tcp = NetworkProtocol::tcp;
constexpr auto udp = NetworkProtocol::udp;

// Whether a description's heading names protocol and ports depends only on the descriptions it must be
// told apart from, in whatever order the page lists them.
TEST(NamingAmongShown, DependsOnlyOnTheDescriptionsItMustBeToldApartFrom) {
    const Rule a = Rule::host("a"), b = Rule::host("b"), c = Rule::host("c"), host1 = addresses("10.0.0.1");
    const struct {
        // Index into `shown` of the description asked about, or the last one when out of range: then it
        // is asked about without being shown itself.
        std::size_t asked;
        bool showProtocol;
        bool showPorts;
        std::vector<Description> shown;
    } cases[] = {
        // A lone TCP description names neither, a lone UDP one its protocol.
        {0, false, false, {d(tcp, {443})}},
        {0, true, false, {d(udp, {53})}},
        {0, true, true, {d(tcp, {80}), d(tcp, {443})}},
        {1, true, true, {d(tcp, {80}), d(tcp, {443})}},
        {0, false, false, {d(tcp, {80, 443}), d(udp, {80, 443})}},
        {1, true, false, {d(tcp, {80, 443}), d(udp, {80, 443})}},
        // Opposite directions and unrelated hosts do not count.
        {2, false, false, {d(tcp, {80}, {a}, true), d(tcp, {80}, {b}), d(tcp, {443})}},
        {1, false, false, {d(tcp, {80}), d(std::nullopt, {})}},
        // Equal descriptions are not told apart; a third beside them is.
        {0, false, false, {d(tcp, {443}), d(tcp, {443})}},
        {0, true, true, {d(tcp, {443}), d(tcp, {443}), d(tcp, {80})}},
        // One shared rule of several is enough.
        {0, false, true, {d(tcp, {443}, {a, b}), d(udp, {80}, {c, b})}},
        // Ports that every other contains need no naming; one other missing a port is enough.
        {0, true, false, {d(udp, {443}), d(udp, {}), d(udp, {80, 443})}},
        {0, true, true, {d(udp, {80, 443}), d(udp, {}), d(udp, {80})}},
        // A description not shown itself is told apart from the others.
        {2, true, false, {d(tcp, {22}, {host1, Rule::localNetwork()}), d(tcp, {22}, {host1})}},
        // Address rules match only the same addresses.
        {1, false, false, {d(tcp, {21}, {addresses("10.0.0.2")}), d(tcp, {22}, {host1})}},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& testCase = cases[index];
        std::vector<const Description*> shown;
        for (const auto& shownDescription : testCase.shown) {
            shown.push_back(&shownDescription);
        }
        const auto& asked = testCase.shown[std::min(testCase.asked, testCase.shown.size() - 1)];
        if (testCase.asked >= testCase.shown.size()) {
            shown.pop_back();
        }
        for (const bool reversed : {false, true}) {
            if (reversed) {
                std::reverse(shown.begin(), shown.end());
            }
            const auto named = namedProtocolAndPorts(asked, true, shown);
            EXPECT_EQ(std::pair(named.showProtocol, named.showPorts),
                      std::pair(testCase.showProtocol, testCase.showPorts))
                << "case " << index << (reversed ? " reversed" : "");
        }
    }
}

} // namespace
