#include "Code/Model/LumoraMatching.h"
#include "Support/LanguageOverride.h"
#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Match = Lumora::Match;
using Source = Lumora::Source;
using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using Endpoint = NetworkInformation::RemoteEndpoint;
using ProcessInformation = ConnectionInformation::ProcessInformation;

NQIPAddressSet addresses(const char* text) {
    return *NQIPAddressSet::addressSetFromDisplayString(text);
}

PortSet ports(std::initializer_list<std::uint16_t> list) {
    PortSet set;
    for (const auto port : list) {
        set.addPort(port);
    }
    return set;
}

Description description(std::string purpose, std::vector<Rule> rules, bool isIncoming = false,
                        std::optional<NetworkProtocol> networkProtocol = std::nullopt,
                        PortSet portSet = PortSet::allPorts()) {
    return Description(isIncoming, std::move(rules), networkProtocol, std::move(portSet),
                       Description::Relevance::default_, std::move(purpose), std::nullopt);
}

std::shared_ptr<const Source> source(const std::string& bundlePath, std::vector<Description> descriptions) {
    return std::make_shared<const Source>(
        Source::SourceType::internal, ZRURL::fileURL(bundlePath, true),
        ZRURL::fileURL(bundlePath + "/Contents/Resources/Lumora.plist", false), std::nullopt, std::nullopt,
        "Does things.", std::move(descriptions), std::vector<Lumora::ServiceDescription>{}, std::nullopt);
}

NetworkInformation network(std::vector<Endpoint> endpoints,
                           std::optional<NetworkProtocol> networkProtocol = {},
                           PortSet portSet = PortSet::allPorts(), bool isIncoming = false) {
    return NetworkInformation(isIncoming, std::move(endpoints), networkProtocol, std::move(portSet));
}

ConnectionInformation connection(std::optional<NetworkInformation> networkInformation) {
    return ConnectionInformation(ProcessInformation("/usr/bin/curl"), std::move(networkInformation));
}

using Purposes = std::vector<std::string>;

// The purposes of the matching descriptions, in result order.
Purposes purposes(const std::vector<Lumora::MatchingConnectionDescription>& matches) {
    std::vector<std::string> result;
    for (const auto& match : matches) {
        result.push_back(match.description->localizedPurpose());
    }
    return result;
}

// The purposes of the descriptions `document` matches for a connection with the given information.
Purposes matched(const Lumora& document, std::optional<NetworkInformation> information) {
    return purposes(document.matchingConnectionDescriptions(connection(std::move(information))));
}

// A document of an editor whose only source holds the given descriptions.
Lumora editor(std::vector<Description> descriptions) {
    return Lumora(source("/Applications/Editor.app", std::move(descriptions)), {});
}

Description wildcard(const char* purpose) {
    return description(purpose, {Rule::fuzzyDomainWildcard("example.com")});
}

// Name comparisons follow the user's language; fix it for the tests.
class LumoraMatchingTest : public testing::Test {
protected:
    const LanguageOverride language{{"en"}};
};

// Label matching ----------------------------------------------------------------------------

// The definition: "*" tries every split.
bool backtrackingMatch(std::string_view pattern, std::string_view label) {
    if (pattern.empty()) {
        return label.empty();
    }
    if (pattern[0] == '*') {
        for (std::size_t skip = 0; skip <= label.size(); ++skip) {
            if (backtrackingMatch(pattern.substr(1), label.substr(skip))) {
                return true;
            }
        }
        return false;
    }
    if (pattern[0] == '\\' && pattern.size() > 1) {
        return !label.empty() && label[0] == pattern[1] &&
               backtrackingMatch(pattern.substr(2), label.substr(1));
    }
    if (label.empty()) {
        return false;
    }
    return (pattern[0] == '?' || pattern[0] == label[0]) &&
           backtrackingMatch(pattern.substr(1), label.substr(1));
}

TEST(LumoraLabelMatching, MatchesWildcardsLabelByLabel) {
    using LumoraMatching::hostNameMatchesPattern;
    EXPECT_TRUE(hostNameMatchesPattern("api-?.example.com", "api-1.example.com"));
    EXPECT_FALSE(hostNameMatchesPattern("api-?.example.com", "api-10.example.com"));
    EXPECT_FALSE(hostNameMatchesPattern("Example.com", "example.com"));
    EXPECT_TRUE(hostNameMatchesPattern("*.example.com", "cdn.example.com"));
    EXPECT_TRUE(hostNameMatchesPattern("*.example.com", "cdn.example.com."));
    EXPECT_TRUE(hostNameMatchesPattern("*.example..com", "x.example.com"));
    // "*" never crosses a dot: the label counts must agree.
    EXPECT_FALSE(hostNameMatchesPattern("*.example.com", "a.b.example.com"));
    EXPECT_FALSE(hostNameMatchesPattern("*.example.com", "example.com"));
    EXPECT_TRUE(hostNameMatchesPattern("cdn*.example.com", "cdn.example.com"));
    EXPECT_TRUE(hostNameMatchesPattern("**x**.com", "x.com"));
    EXPECT_TRUE(hostNameMatchesPattern("", "..."));
    EXPECT_FALSE(hostNameMatchesPattern("", "a"));
}

TEST(LumoraLabelMatching, TreatsACharacterOutsideASCIIAsOne) {
    using LumoraMatching::labelMatchesPattern;
    // "?" is one character, also outside ASCII; malformed bytes match only themselves.
    EXPECT_TRUE(labelMatchesPattern("m?nchen", "m\u00fcnchen"));
    EXPECT_TRUE(labelMatchesPattern("?", "\U0001F600"));
    EXPECT_FALSE(labelMatchesPattern("??", "\u00fc"));
    EXPECT_TRUE(labelMatchesPattern("a?b", "a\xff"
                                           "b"));
    EXPECT_TRUE(labelMatchesPattern("a\xff", "a\xff"));
    EXPECT_FALSE(labelMatchesPattern("a\xff", "a\xfe"));
}

// Escapes, "?", "*" and empty patterns and labels, against the definition.
TEST(LumoraLabelMatching, AgreesWithBacktrackingOnRandomPatterns) {
    std::mt19937 random(20261206);
    const std::string alphabet = "ab*?\\";
    const auto randomText = [&](std::size_t maximumLength, std::size_t alphabetSize) {
        std::string text(random() % (maximumLength + 1), ' ');
        for (auto& c : text) {
            c = alphabet[random() % alphabetSize];
        }
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const auto pattern = randomText(8, alphabet.size());
        const auto label = randomText(8, round % 2 == 0 ? 2 : alphabet.size());
        ASSERT_EQ(LumoraMatching::labelMatchesPattern(pattern, label), backtrackingMatch(pattern, label))
            << "pattern " << pattern << " label " << label;
    }
}

TEST(LumoraLabelMatching, FinishesOnPathologicalPatterns) {
    // Exponential for naive backtracking; these must simply finish.
    const std::string as(10000, 'a');
    EXPECT_FALSE(LumoraMatching::labelMatchesPattern("*a*a*a*a*a*a*a*a*b", as));
    EXPECT_TRUE(LumoraMatching::labelMatchesPattern("*a*a*a*a*a*a*a*a*a", as));
    std::string manyStars;
    for (int i = 0; i < 200; ++i) {
        manyStars += "*a";
    }
    EXPECT_FALSE(LumoraMatching::labelMatchesPattern(manyStars + "b", as));
    EXPECT_TRUE(LumoraMatching::labelMatchesPattern(std::string(5000, '*') + "a", as));
    EXPECT_FALSE(LumoraMatching::hostNameMatchesPattern("*a*a*a*a*a*b." + manyStars, as + "." + as));
    std::string manyLabels;
    for (int i = 0; i < 5000; ++i) {
        manyLabels += "*.";
    }
    EXPECT_TRUE(LumoraMatching::hostNameMatchesPattern(manyLabels, manyLabels));
}

// Rule match --------------------------------------------------------------------------------

TEST(LumoraRuleMatch, FollowsTheTableForEveryRuleAndEndpoint) {
    const std::vector<Endpoint> endpoints{Endpoint::domain("example.com"), Endpoint::host("api.example.com"),
                                          Endpoint::ipAddresses(addresses("192.168.1.5")),
                                          Endpoint::localNetwork(), Endpoint::berkeleyPacketFilter()};
    const auto none = Match::none, fuzzy = Match::fuzzy, exact = Match::exact, any = Match::fallback;
    const struct {
        Rule rule;
        Match withoutEndpoint;
        std::vector<Match> expected; // by the endpoints above
    } rows[] = {
        {Rule::host("api.example.com"), fuzzy, {fuzzy, exact, none, none, none}},
        {Rule::host("example.com"), fuzzy, {fuzzy, none, none, none, none}},
        {Rule::fuzzyDomainWildcard("example.com"), fuzzy, {fuzzy, fuzzy, none, none, none}},
        {Rule::fuzzyDomainWildcard("sub.example.com"), fuzzy, {fuzzy, none, none, none, none}},
        {Rule::exactDomainWildcard("example.com"), fuzzy, {exact, none, none, none, none}},
        {Rule::ipAddresses(addresses("192.168.1.0/24")), fuzzy, {none, none, exact, fuzzy, none}},
        {Rule::ipAddresses(addresses("203.0.113.0/24")), fuzzy, {none, none, none, none, none}},
        {Rule::localNetwork(), fuzzy, {none, none, fuzzy, fuzzy, none}},
        {Rule::berkeleyPacketFilter(), fuzzy, {none, none, none, none, exact}},
        {Rule::fuzzyAnyConnectionWildcard(), fuzzy, {any, any, any, any, any}},
        {Rule::exactAnyConnectionWildcard(), exact, {none, none, none, none, none}},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_EQ(LumoraMatching::ruleMatchWithoutEndpoint(rows[row].rule), rows[row].withoutEndpoint) << row;
        for (std::size_t index = 0; index < endpoints.size(); ++index) {
            EXPECT_EQ(LumoraMatching::ruleMatch(rows[row].rule, endpoints[index]), rows[row].expected[index])
                << "row " << row << " against " << endpoints[index].description();
        }
    }
}

TEST(LumoraRuleMatch, ComparesNamesAsSubdomainsOnly) {
    const auto domain = Rule::fuzzyDomainWildcard("example.com");
    const auto exactDomain = Rule::exactDomainWildcard("example.com");
    const struct {
        Rule rule;
        Endpoint endpoint;
        Match expected;
    } rows[] = {
        {domain, Endpoint::host("a.b.example.com"), Match::fuzzy},
        {domain, Endpoint::host("badexample.com"), Match::none},
        {domain, Endpoint::host("example.com"), Match::fuzzy},
        {domain, Endpoint::domain("sub.example.com"), Match::fuzzy},
        {domain, Endpoint::domain("com"), Match::fuzzy},
        {domain, Endpoint::domain("xample.com"), Match::none},
        {Rule::host("cdn.example.com"), Endpoint::domain("ample.com"), Match::none},
        {Rule::host("example.com"), Endpoint::domain("sub.example.com"), Match::none},
        {Rule::host("*.example.com"), Endpoint::host("cdn.example.com"), Match::exact},
        {Rule::host("Example.com"), Endpoint::host("example.com"), Match::none},
        // The exact domain wildcard matches only that domain, as a domain.
        {exactDomain, Endpoint::host("cdn.example.com"), Match::none},
        {exactDomain, Endpoint::domain("sub.example.com"), Match::none},
        // An address endpoint that holds no address (unparsable text in the panel) matches no address rule.
        {Rule::ipAddresses(addresses("0.0.0.0-255.255.255.255")), Endpoint::ipAddresses({}), Match::none},
        {Rule::localNetwork(), Endpoint::ipAddresses({}), Match::none},
        {Rule::localNetwork(), Endpoint::ipAddresses(addresses("fe80::1")), Match::fuzzy},
        {Rule::localNetwork(), Endpoint::ipAddresses(addresses("203.0.113.9")), Match::none},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_EQ(LumoraMatching::ruleMatch(rows[row].rule, rows[row].endpoint), rows[row].expected)
            << "row " << row;
    }
}

TEST(LumoraRuleMatch, RatesRuleListsAndFiltersThemByEndpoint) {
    using LumoraMatching::rulesMatch;
    EXPECT_EQ(rulesMatch({}, {}), Match::none);
    EXPECT_EQ(rulesMatch({}, {Endpoint::localNetwork()}), Match::none);
    EXPECT_EQ(rulesMatch({Rule::host("a.com"), Rule::exactAnyConnectionWildcard()}, {}), Match::exact);
    EXPECT_EQ(rulesMatch({Rule::fuzzyAnyConnectionWildcard(), Rule::localNetwork()},
                         {Endpoint::host("x.com"), Endpoint::localNetwork()}),
              Match::fuzzy);
    EXPECT_EQ(rulesMatch({Rule::host("x.com")}, {Endpoint::localNetwork(), Endpoint::host("x.com")}),
              Match::exact);

    EXPECT_EQ(LumoraMatching::ruleListRank({}), 7);
    EXPECT_EQ(LumoraMatching::ruleListRank(
                  {Rule::fuzzyAnyConnectionWildcard(), Rule::host("a"), Rule::localNetwork()}),
              1);

    const std::vector<Rule> rules{Rule::host("a.example.com"), Rule::localNetwork(),
                                  Rule::fuzzyAnyConnectionWildcard(), Rule::host("a.example.com"),
                                  Rule::exactDomainWildcard("example.com")};
    EXPECT_EQ(LumoraMatching::matchingHostMatchingRules(rules, {}), rules);
    EXPECT_EQ(LumoraMatching::matchingHostMatchingRules(rules, {Endpoint::host("a.example.com")}),
              (std::vector<Rule>{rules[0], rules[2], rules[3]}));
    EXPECT_EQ(LumoraMatching::matchingHostMatchingRules(
                  rules, {Endpoint::domain("example.com"), Endpoint::ipAddresses(addresses("10.1.2.3"))}),
              (std::vector<Rule>{rules[0], rules[1], rules[2], rules[3], rules[4]}));
    EXPECT_TRUE(
        LumoraMatching::matchingHostMatchingRules({Rule::host("b.com")}, {Endpoint::host("a.com")}).empty());
}

// Description match -------------------------------------------------------------------------

TEST(LumoraDescriptionMatch, CountsConfirmedProtocolAndPortsAndAppliesPacketFiltersAlone) {
    using DM = LumoraMatching::DescriptionMatch;
    const auto https = description("https", {Rule::host("a.com")}, false, NetworkProtocol::tcp, ports({443}));
    const auto anything = description("any", {Rule::host("a.com")});
    const auto noPorts = description("no ports", {Rule::host("a.com")}, false, std::nullopt, PortSet());
    const auto capture = description("capture", {Rule::berkeleyPacketFilter()});
    const auto mixed =
        description("mixed", {Rule::berkeleyPacketFilter(), Rule::fuzzyAnyConnectionWildcard()});
    const std::vector<Endpoint> toA{Endpoint::host("a.com")};
    const std::vector<Endpoint> packets{Endpoint::berkeleyPacketFilter()};
    const auto tcp = NetworkProtocol::tcp;
    const struct {
        const Description& description;
        NetworkInformation network;
        DM expected;
    } rows[] = {
        {https, network(toA, tcp, ports({443})), {Match::exact, 2}},
        {https, network(toA, tcp), {Match::exact, 1}},
        {https, network(toA, std::nullopt, ports({443})), {Match::exact, 1}},
        {https, network(toA), {Match::exact, 0}},
        {https, network(toA, NetworkProtocol::udp, ports({443})), {Match::none, 0}},
        {https, network(toA, tcp, ports({80})), {Match::none, 0}},
        {https, network(toA, tcp, PortSet()), {Match::none, 0}},
        {https, network(toA, tcp, ports({80, 443})), {Match::exact, 2}},
        {https, network(toA, tcp, ports({443}), true), {Match::none, 0}},
        // Quality is dropped when the hosts do not match.
        {https, network({Endpoint::host("b.com")}, tcp, ports({443})), {Match::none, 0}},
        // Any ports and no protocol confirm nothing; an empty declared port set is not compared.
        {anything, network(toA, NetworkProtocol::udp, ports({53})), {Match::exact, 0}},
        {noPorts, network(toA, std::nullopt, ports({53})), {Match::exact, 0}},
        // Packet filter rules apply only without protocol and ports.
        {capture, network(packets), {Match::exact, 0}},
        {capture, network(packets, std::nullopt, PortSet()), {Match::exact, 0}},
        {capture, network(packets, tcp), {Match::none, 0}},
        {capture, network(packets, std::nullopt, ports({80})), {Match::none, 0}},
        // Without endpoints a remaining rule list rates fuzzy; an emptied one does not match.
        {capture, network({}), {Match::fuzzy, 0}},
        {capture, network({}, tcp), {Match::none, 0}},
        {mixed, network(packets, NetworkProtocol::udp), {Match::fallback, 0}},
    };
    for (const auto& [description, network, expected] : rows) {
        EXPECT_EQ(LumoraMatching::descriptionMatch(description, network), expected)
            << description.localizedPurpose() << " for " << network.description();
    }
}

// Matching a document -----------------------------------------------------------------------

// An exact match leaves out the rest and a fuzzy one the fallbacks; better quality, then better
// ranked rules come first.
TEST_F(LumoraMatchingTest, KeepsTheBestMatchesInOrderOfQualityAndRank) {
    const auto tcp = NetworkProtocol::tcp;
    const auto exactHost =
        editor({description("api", {Rule::host("api.example.com")}), wildcard("wildcard")});
    const auto hostRules = editor({description("host", {Rule::host("a.com")}),
                                   description("udp", {Rule::host("a.com")}, false, NetworkProtocol::udp),
                                   description("any", {Rule::fuzzyAnyConnectionWildcard()}),
                                   description("local", {Rule::localNetwork()})});
    const auto exactAny = editor({description("host", {Rule::host("a.com")}),
                                  description("exact any", {Rule::exactAnyConnectionWildcard()})});
    const auto fallbacks =
        editor({description("one", {Rule::fuzzyAnyConnectionWildcard()}),
                description("two", {Rule::host("other.com"), Rule::fuzzyAnyConnectionWildcard()}),
                description("three", {Rule::fuzzyAnyConnectionWildcard()}, false, tcp, ports({443}))});
    const auto domain = Rule::fuzzyDomainWildcard("example.com");
    const auto ranked =
        editor({wildcard("any port"), description("443", {domain}, false, std::nullopt, ports({443})),
                description("80", {domain}, false, std::nullopt, ports({80})),
                description("local", {Rule::localNetwork(), domain})});
    const std::vector<Endpoint> www{Endpoint::host("www.example.com")};
    const struct {
        const Lumora& document;
        NetworkInformation network;
        Purposes expected;
    } rows[] = {
        {exactHost, network({Endpoint::host("api.example.com")}), {"api"}},
        {exactHost, network({Endpoint::host("cdn.example.com")}), {"wildcard"}},
        {exactHost, network({Endpoint::host("example.org")}), {}},
        {exactHost, network({Endpoint::host("api.example.com")}, {}, PortSet::allPorts(), true), {}},
        // Without endpoints every host rule rates fuzzy.
        {hostRules, network({}, tcp), {"local", "host", "any"}},
        {exactAny, network({}, tcp), {"exact any"}},
        {fallbacks, network({Endpoint::host("x.com")}, tcp, ports({443})), {"three", "two", "one"}},
        {fallbacks, network({Endpoint::localNetwork()}), {"two", "one", "three"}},
        {ranked, network(www, tcp, ports({443})), {"443", "local", "any port"}},
        {ranked, network(www), {"local", "any port", "443", "80"}},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_EQ(matched(rows[row].document, rows[row].network), rows[row].expected) << "row " << row;
    }
}

TEST_F(LumoraMatchingTest, ReturnsEveryDescriptionWithoutNetworkInformation) {
    const auto primary =
        source("/Applications/Editor.app", {description("p-any", {Rule::fuzzyAnyConnectionWildcard()}),
                                            description("p-host", {Rule::host("a.com")}),
                                            description("p-host-2", {Rule::host("b.com")})});
    const auto helper =
        source("/Applications/Editor.app/Contents/XPCServices/Helper.xpc",
               {description("h-host", {Rule::host("c.com")}), description("h-local", {Rule::localNetwork()}),
                description("h-in", {}, true)});
    const Lumora document(primary, {helper});
    const auto matches = document.matchingConnectionDescriptions(connection(std::nullopt));
    EXPECT_EQ(purposes(matches), (Purposes{"h-local", "p-host", "p-host-2", "h-host", "p-any", "h-in"}));
    EXPECT_EQ(matches[0].source, helper);
    EXPECT_EQ(matches[1].source, primary);
    // The description shares ownership of its source.
    EXPECT_EQ(matches[1].description.get(), &primary->connectionDescriptions()[1]);
}

TEST_F(LumoraMatchingTest, BreaksTiesBySourceNameAndPath) {
    const auto host = [](const char* purpose) {
        return description(purpose, {Rule::host("api.example.com")});
    };
    const auto toHost = network({Endpoint::host("api.example.com")});
    // Two exact matches from additional sources: the first name wins, compared by number value and
    // without letter case.
    const Lumora byName(
        source("/Applications/Editor.app", {}),
        {source("/A/Helper 10.xpc", {host("helper 10")}), source("/A/helper 9.xpc", {host("helper 9")})});
    EXPECT_EQ(matched(byName, toHost), Purposes{"helper 9"});

    const Lumora primaryFirst(source("/Applications/Zed.app", {host("primary")}),
                              {source("/A/Aardvark.xpc", {host("aardvark")})});
    EXPECT_EQ(matched(primaryFirst, toHost), Purposes{"primary"});

    // Equal names: the bundle paths decide.
    const Lumora byPath(source("/Applications/Editor.app", {}),
                        {source("/B/Sync.xpc", {wildcard("b")}), source("/a/sync.xpc", {wildcard("a")})});
    EXPECT_EQ(matched(byPath, toHost), (Purposes{"a", "b"}));
}

TEST_F(LumoraMatchingTest, KeepsDocumentOrderForIndistinguishableSources) {
    // Two different sources with the same name and path: their candidates stay in document
    // order instead of interleaving by position.
    const auto first = source("/A/Sync.xpc", {wildcard("first-1"), wildcard("first-2"), wildcard("first-3")});
    const auto second = source("/A/Sync.xpc", {wildcard("second-1")});
    const Lumora document(source("/Applications/Editor.app", {}), {first, second});
    EXPECT_EQ(matched(document, network({Endpoint::host("x.example.com")})),
              (Purposes{"first-1", "first-2", "first-3", "second-1"}));
    EXPECT_EQ(LumoraMatching::sourcesInTieBreakOrder(document),
              (std::vector<std::shared_ptr<const Source>>{document.primarySource(), first, second}));
}

TEST_F(LumoraMatchingTest, OrdersEqualDescriptionsByTheirFirstOccurrence) {
    const auto repeated = wildcard("same");
    const auto primary = source("/Applications/Editor.app", {repeated, wildcard("other"), repeated});
    const Lumora document(primary, {});
    const auto matches =
        document.matchingConnectionDescriptions(connection(network({Endpoint::host("x.example.com")})));
    // The second "same" takes the position of the first, so it moves before "other".
    EXPECT_EQ(purposes(matches), (Purposes{"same", "same", "other"}));
    EXPECT_EQ(matches[0].description.get(), &primary->connectionDescriptions()[0]);
    EXPECT_EQ(matches[1].description.get(), &primary->connectionDescriptions()[2]);
}

TEST_F(LumoraMatchingTest, ToleratesAMissingSource) {
    const Lumora document(source("/Applications/Editor.app", {description("a", {})}), {nullptr});
    EXPECT_EQ(matched(document, std::nullopt), Purposes{"a"});
}

// The ordering written out as a comparison of two candidates, applied by an insertion sort.
struct ReferenceCandidate {
    std::shared_ptr<const Source> source;
    std::size_t index;
    LumoraMatching::DescriptionMatch rating;
};

std::vector<Lumora::MatchingConnectionDescription>
referenceMatching(const Lumora& document, const ConnectionInformation& connection) {
    std::vector<ReferenceCandidate> candidates;
    for (const auto& source : document.sources()) {
        const auto& descriptions = source->connectionDescriptions();
        for (std::size_t index = 0; index < descriptions.size(); ++index) {
            const auto rating =
                connection.networkInformation()
                    ? LumoraMatching::descriptionMatch(descriptions[index], *connection.networkInformation())
                    : LumoraMatching::DescriptionMatch{Match::fuzzy, 0};
            if (rating.match != Match::none) {
                candidates.push_back({source, index, rating});
            }
        }
    }
    const auto position = [](const ReferenceCandidate& candidate) {
        const auto& list = candidate.source->connectionDescriptions();
        return std::find(list.begin(), list.end(), list[candidate.index]) - list.begin();
    };
    const auto rank = [](const ReferenceCandidate& candidate) {
        // By kind in declaration order: host, fuzzy domain, exact domain, addresses, local network,
        // packet filter, fuzzy any, exact any.
        constexpr int rankOfKind[] = {3, 5, 4, 2, 1, 0, 7, 6};
        int best = 7;
        for (const auto& rule :
             candidate.source->connectionDescriptions()[candidate.index].hostMatchingRules()) {
            best = std::min(best, rankOfKind[static_cast<int>(rule.kind())]);
        }
        return best;
    };
    const auto before = [&](const ReferenceCandidate& a, const ReferenceCandidate& b) {
        const auto rating = [&](const ReferenceCandidate& c) {
            return std::tuple(-static_cast<int>(c.rating.match), -static_cast<int>(c.rating.quality),
                              rank(c));
        };
        if (rating(a) != rating(b)) {
            return rating(a) < rating(b);
        }
        if (a.source == b.source) {
            return position(a) < position(b);
        }
        if (a.source == document.primarySource() || b.source == document.primarySource()) {
            return a.source == document.primarySource();
        }
        const int names =
            ZRUnicodeText::localizedStandardCompare(a.source->localizedName(), b.source->localizedName());
        return names != 0
                   ? names < 0
                   : ZRUnicodeText::localizedStandardCompare(a.source->bundleURL().path().string(),
                                                             b.source->bundleURL().path().string()) < 0;
    };
    for (std::size_t next = 1; next < candidates.size(); ++next) {
        for (std::size_t at = next; at > 0 && before(candidates[at], candidates[at - 1]); --at) {
            std::swap(candidates[at], candidates[at - 1]);
        }
    }
    std::vector<Lumora::MatchingConnectionDescription> result;
    for (const auto& candidate : candidates) {
        const auto best = candidates.front().rating.match;
        if ((best == Match::exact && !result.empty()) ||
            (best == Match::fuzzy && candidate.rating.match < Match::fuzzy)) {
            break;
        }
        result.push_back({std::shared_ptr<const Description>(
                              candidate.source, &candidate.source->connectionDescriptions()[candidate.index]),
                          candidate.source});
    }
    return result;
}

TEST_F(LumoraMatchingTest, AgreesWithAReferenceOrderingOnRandomDocuments) {
    std::mt19937 random(7);
    const auto pick = [&](const auto& list) { return list[random() % list.size()]; };
    const auto rules = std::vector<Rule>(
        {Rule::host("api.example.com"), Rule::host("*.example.com"), Rule::fuzzyDomainWildcard("example.com"),
         Rule::exactDomainWildcard("example.com"), Rule::ipAddresses(addresses("192.168.0.0/16")),
         Rule::localNetwork(), Rule::berkeleyPacketFilter(), Rule::fuzzyAnyConnectionWildcard(),
         Rule::exactAnyConnectionWildcard()});
    const std::vector<Endpoint> endpoints{
        Endpoint::host("api.example.com"), Endpoint::host("cdn.example.com"),
        Endpoint::domain("example.com"),   Endpoint::ipAddresses(addresses("192.168.4.4")),
        Endpoint::localNetwork(),          Endpoint::berkeleyPacketFilter()};
    const std::vector<std::optional<NetworkProtocol>> protocols{std::nullopt, NetworkProtocol::tcp,
                                                                NetworkProtocol::udp};
    const std::vector<PortSet> portSets{PortSet::allPorts(), ports({443}), ports({80}), ports({80, 443}),
                                        PortSet()};
    const std::vector<std::string> names{"Helper 2", "helper 10",  "Alpha", "alpha",
                                         "Beta",     "\u00c4rger", "Zulu"};

    for (int round = 0; round < 400; ++round) {
        std::vector<std::shared_ptr<const Source>> sources;
        const auto sourceCount = 1 + random() % 5;
        for (std::size_t s = 0; s < sourceCount; ++s) {
            std::vector<Description> descriptions;
            const auto count = random() % 7;
            for (std::size_t d = 0; d < count; ++d) {
                if (!descriptions.empty() && random() % 5 == 0) {
                    descriptions.push_back(pick(descriptions));
                    continue;
                }
                std::vector<Rule> chosen;
                for (auto r = random() % 3; r > 0; --r) {
                    chosen.push_back(pick(rules));
                }
                descriptions.push_back(description(std::string(1, 'd').append(std::to_string(d)),
                                                   std::move(chosen), random() % 6 == 0, pick(protocols),
                                                   pick(portSets)));
            }
            // Paths differ between sources; names may be equal.
            sources.push_back(source("/S" + std::to_string(random() % 3) + "/" + std::to_string(s) + "/" +
                                         pick(names) + ".app",
                                     std::move(descriptions)));
        }
        if (sources.size() > 2 && random() % 4 == 0) {
            sources.push_back(sources[1]); // the same source listed twice
        }
        const Lumora document(sources.front(), std::vector(sources.begin() + 1, sources.end()));

        std::optional<NetworkInformation> networkInformation;
        if (random() % 8 != 0) {
            std::vector<Endpoint> chosen;
            for (auto e = random() % 3; e > 0; --e) {
                chosen.push_back(pick(endpoints));
            }
            networkInformation =
                network(std::move(chosen), pick(protocols), pick(portSets), random() % 6 == 0);
        }
        const auto record = connection(networkInformation);
        ASSERT_EQ(document.matchingConnectionDescriptions(record), referenceMatching(document, record))
            << "round " << round;
    }
}

} // namespace
