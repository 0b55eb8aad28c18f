#include "Code/Model/LumoraMatching.h"

#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include <unicode/utf8.h>

namespace LumoraMatching {

namespace {

using Kind = HostMatchingRule::Kind;
using EndpointKind = RemoteEndpoint::Kind;

// `name` is a strict subdomain of `domain`: a.b.example.com is below example.com, badexample.com
// is not.
bool isBelow(std::string_view name, std::string_view domain) {
    return name.size() > domain.size() && name.ends_with(domain) &&
           name[name.size() - domain.size() - 1] == '.';
}

Match ruleMatchAgainstDomain(const HostMatchingRule& rule, std::string_view domain) {
    switch (rule.kind()) {
    case Kind::host:
        return domain == rule.name() || isBelow(rule.name(), domain) ? Match::fuzzy : Match::none;
    case Kind::fuzzyDomainWildcard:
        return domain == rule.name() || isBelow(domain, rule.name()) || isBelow(rule.name(), domain)
                   ? Match::fuzzy
                   : Match::none;
    case Kind::exactDomainWildcard:
        return domain == rule.name() ? Match::exact : Match::none;
    case Kind::fuzzyAnyConnectionWildcard:
        return Match::fallback;
    default:
        return Match::none;
    }
}

Match ruleMatchAgainstHost(const HostMatchingRule& rule, std::string_view host) {
    switch (rule.kind()) {
    case Kind::host:
        return host == rule.name() || hostNameMatchesPattern(rule.name(), host) ? Match::exact : Match::none;
    case Kind::fuzzyDomainWildcard:
        return host == rule.name() || isBelow(host, rule.name()) ? Match::fuzzy : Match::none;
    case Kind::fuzzyAnyConnectionWildcard:
        return Match::fallback;
    default:
        return Match::none;
    }
}

Match ruleMatchAgainstAddresses(const HostMatchingRule& rule, const NQIPAddressSet& addresses) {
    switch (rule.kind()) {
    case Kind::ipAddresses:
        return rule.addresses().intersectsSet(addresses) ? Match::exact : Match::none;
    case Kind::localNetwork:
        return addresses.intersectsSet(NQIPAddressSet::localNetworkAddresses()) ? Match::fuzzy : Match::none;
    case Kind::fuzzyAnyConnectionWildcard:
        return Match::fallback;
    default:
        return Match::none;
    }
}

Match ruleMatchAgainstLocalNetwork(const HostMatchingRule& rule) {
    switch (rule.kind()) {
    case Kind::ipAddresses:
        return rule.addresses().intersectsSet(NQIPAddressSet::localNetworkAddresses()) ? Match::fuzzy
                                                                                       : Match::none;
    case Kind::localNetwork:
        return Match::fuzzy;
    case Kind::fuzzyAnyConnectionWildcard:
        return Match::fallback;
    default:
        return Match::none;
    }
}

Match ruleMatchAgainstPacketFilter(const HostMatchingRule& rule) {
    switch (rule.kind()) {
    case Kind::berkeleyPacketFilter:
        return Match::exact;
    case Kind::fuzzyAnyConnectionWildcard:
        return Match::fallback;
    default:
        return Match::none;
    }
}

// One pattern element of a label pattern.
struct PatternToken {
    enum class Type : std::uint8_t { literal, anyCharacter, anyRun };
    Type type;
    char32_t character;
};

// Code points; a malformed byte becomes a value above the Unicode range that only that same
// byte produces, so it matches only itself.
constexpr char32_t malformedByteBase = 0x110000;

std::vector<char32_t> codePoints(std::string_view text) {
    std::vector<char32_t> result;
    result.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + offset);
        const auto windowLength = static_cast<std::int32_t>(std::min<std::size_t>(4, text.size() - offset));
        std::int32_t consumed = 0;
        UChar32 c = 0;
        U8_NEXT(window, consumed, windowLength, c);
        if (c < 0) {
            result.push_back(malformedByteBase + window[0]);
            ++offset;
        } else {
            result.push_back(static_cast<char32_t>(c));
            offset += static_cast<std::size_t>(consumed);
        }
    }
    return result;
}

std::vector<PatternToken> patternTokens(std::string_view pattern) {
    const auto characters = codePoints(pattern);
    std::vector<PatternToken> tokens;
    tokens.reserve(characters.size());
    for (std::size_t index = 0; index < characters.size(); ++index) {
        const char32_t c = characters[index];
        if (c == U'\\' && index + 1 < characters.size()) {
            tokens.push_back({PatternToken::Type::literal, characters[++index]});
        } else if (c == U'*') {
            // A run of stars matches what one star matches.
            if (tokens.empty() || tokens.back().type != PatternToken::Type::anyRun) {
                tokens.push_back({PatternToken::Type::anyRun, 0});
            }
        } else if (c == U'?') {
            tokens.push_back({PatternToken::Type::anyCharacter, 0});
        } else {
            tokens.push_back({PatternToken::Type::literal, c});
        }
    }
    return tokens;
}

std::vector<std::string_view> nonEmptyLabels(std::string_view name) {
    std::vector<std::string_view> labels;
    std::size_t start = 0;
    while (start <= name.size()) {
        auto end = name.find('.', start);
        if (end == std::string_view::npos) {
            end = name.size();
        }
        if (end > start) {
            labels.push_back(name.substr(start, end - start));
        }
        start = end + 1;
    }
    return labels;
}

// The best match of the rules against the endpoints, skipping packet-filter rules unless
// `includePacketFilterRules`.
Match bestRulesMatch(const std::vector<HostMatchingRule>& rules, const std::vector<RemoteEndpoint>& endpoints,
                     bool includePacketFilterRules) {
    const auto considered = [&](const HostMatchingRule& rule) {
        return includePacketFilterRules || rule.kind() != Kind::berkeleyPacketFilter;
    };
    Match best = Match::none;
    if (endpoints.empty()) {
        for (const auto& rule : rules) {
            if (considered(rule)) {
                best = std::max(best, ruleMatchWithoutEndpoint(rule));
            }
        }
        return best;
    }
    for (const auto& endpoint : endpoints) {
        for (const auto& rule : rules) {
            if (!considered(rule)) {
                continue;
            }
            best = std::max(best, ruleMatch(rule, endpoint));
            if (best == Match::exact) {
                return best;
            }
        }
    }
    return best;
}

} // namespace

Match ruleMatch(const HostMatchingRule& rule, const RemoteEndpoint& endpoint) {
    switch (endpoint.kind()) {
    case EndpointKind::domain:
        return ruleMatchAgainstDomain(rule, endpoint.name());
    case EndpointKind::host:
        return ruleMatchAgainstHost(rule, endpoint.name());
    case EndpointKind::ipAddresses:
        return ruleMatchAgainstAddresses(rule, endpoint.addresses());
    case EndpointKind::localNetwork:
        return ruleMatchAgainstLocalNetwork(rule);
    case EndpointKind::berkeleyPacketFilter:
        return ruleMatchAgainstPacketFilter(rule);
    }
    return Match::none;
}

Match ruleMatchWithoutEndpoint(const HostMatchingRule& rule) {
    return rule.kind() == Kind::exactAnyConnectionWildcard ? Match::exact : Match::fuzzy;
}

bool labelMatchesPattern(std::string_view pattern, std::string_view label) {
    const auto tokens = patternTokens(pattern);
    const auto characters = codePoints(label);
    // Greedy matching that remembers only the last star: a later star can absorb whatever an
    // earlier one would have, so retrying from the last star alone finds every match that full
    // backtracking finds, in at most pattern × label steps.
    constexpr std::size_t noStar = SIZE_MAX;
    std::size_t token = 0;
    std::size_t character = 0;
    std::size_t starToken = noStar;
    std::size_t starCharacter = 0;
    while (character < characters.size()) {
        if (token < tokens.size() && tokens[token].type == PatternToken::Type::anyRun) {
            starToken = token++;
            starCharacter = character;
        } else if (token < tokens.size() && (tokens[token].type == PatternToken::Type::anyCharacter ||
                                             tokens[token].character == characters[character])) {
            ++token;
            ++character;
        } else if (starToken != noStar) {
            token = starToken + 1;
            character = ++starCharacter;
        } else {
            return false;
        }
    }
    while (token < tokens.size() && tokens[token].type == PatternToken::Type::anyRun) {
        ++token;
    }
    return token == tokens.size();
}

bool hostNameMatchesPattern(std::string_view pattern, std::string_view hostName) {
    const auto patternLabels = nonEmptyLabels(pattern);
    const auto hostLabels = nonEmptyLabels(hostName);
    if (patternLabels.size() != hostLabels.size()) {
        return false;
    }
    for (std::size_t index = 0; index < patternLabels.size(); ++index) {
        if (!labelMatchesPattern(patternLabels[index], hostLabels[index])) {
            return false;
        }
    }
    return true;
}

Match rulesMatch(const std::vector<HostMatchingRule>& rules, const std::vector<RemoteEndpoint>& endpoints) {
    return bestRulesMatch(rules, endpoints, true);
}

DescriptionMatch descriptionMatch(const ConnectionDescription& description,
                                  const NetworkInformation& networkInformation) {
    constexpr DescriptionMatch noMatch{Match::none, 0};
    if (description.isIncoming() != networkInformation.isIncoming()) {
        return noMatch;
    }
    unsigned quality = 0;
    if (description.networkProtocol() && networkInformation.networkProtocol()) {
        if (*description.networkProtocol() != *networkInformation.networkProtocol()) {
            return noMatch;
        }
        quality = 1;
    }
    const auto& ports = networkInformation.ports();
    if (description.ports().isSpecific()) {
        if (!description.ports().intersects(ports)) {
            return noMatch;
        }
        if (!ports.isAllPorts()) {
            ++quality;
        }
    }
    // A packet-filter rule applies only to traffic without protocol and port information.
    const bool includePacketFilterRules =
        !networkInformation.networkProtocol() && (ports.isEmpty() || ports.isAllPorts());
    const Match match = bestRulesMatch(description.hostMatchingRules(), networkInformation.remoteEndpoints(),
                                       includePacketFilterRules);
    return {match, match == Match::none ? 0 : quality};
}

int ruleRank(HostMatchingRule::Kind kind) {
    switch (kind) {
    case Kind::berkeleyPacketFilter:
        return 0;
    case Kind::localNetwork:
        return 1;
    case Kind::ipAddresses:
        return 2;
    case Kind::host:
        return 3;
    case Kind::exactDomainWildcard:
        return 4;
    case Kind::fuzzyDomainWildcard:
        return 5;
    case Kind::exactAnyConnectionWildcard:
        return 6;
    case Kind::fuzzyAnyConnectionWildcard:
        return 7;
    }
    return 7;
}

int ruleListRank(const std::vector<HostMatchingRule>& rules) {
    int rank = 7;
    for (const auto& rule : rules) {
        rank = std::min(rank, ruleRank(rule.kind()));
    }
    return rank;
}

std::vector<HostMatchingRule> matchingHostMatchingRules(const std::vector<HostMatchingRule>& rules,
                                                        const std::vector<RemoteEndpoint>& endpoints) {
    if (endpoints.empty()) {
        return rules;
    }
    std::vector<HostMatchingRule> matching;
    for (const auto& rule : rules) {
        const bool matchesAny =
            std::any_of(endpoints.begin(), endpoints.end(), [&](const RemoteEndpoint& endpoint) {
                return ruleMatch(rule, endpoint) != Match::none;
            });
        if (matchesAny) {
            matching.push_back(rule);
        }
    }
    return matching;
}

std::vector<std::shared_ptr<const Lumora::Source>> sourcesInTieBreakOrder(const Lumora& document) {
    const auto& primary = document.primarySource();
    std::vector<std::shared_ptr<const Lumora::Source>> sources;
    for (const auto& source : document.sources()) {
        if (source && std::find(sources.begin(), sources.end(), source) == sources.end()) {
            sources.push_back(source);
        }
    }
    // Document order is the last key, so that two distinct sources are never tied: candidates of
    // equally named sources at the same path then keep document order instead of interleaving.
    std::stable_sort(sources.begin(), sources.end(), [&](const auto& a, const auto& b) {
        if (a == primary || b == primary) {
            return a == primary && b != primary;
        }
        if (const int order = ZRUnicodeText::localizedStandardCompare(a->localizedName(), b->localizedName());
            order != 0) {
            return order < 0;
        }
        return ZRUnicodeText::localizedStandardCompare(a->bundleURL().path().string(),
                                                       b->bundleURL().path().string()) < 0;
    });
    return sources;
}

} // namespace LumoraMatching

namespace {

struct Candidate {
    std::size_t sourceOrder;
    std::size_t descriptionIndex;
    // The index of the first description of the source that equals this one.
    std::size_t firstEqualIndex;
    Lumora::Match match;
    unsigned quality;
    int rank;
};

bool comesBefore(const Candidate& a, const Candidate& b) {
    if (a.match != b.match) {
        return a.match > b.match;
    }
    if (a.quality != b.quality) {
        return a.quality > b.quality;
    }
    if (a.rank != b.rank) {
        return a.rank < b.rank;
    }
    if (a.sourceOrder != b.sourceOrder) {
        return a.sourceOrder < b.sourceOrder;
    }
    return a.firstEqualIndex < b.firstEqualIndex;
}

// For each description, the index of the first description in the list that equals it. Equal
// descriptions have equal purposes, so only those are compared.
std::vector<std::size_t> firstEqualIndexes(const std::vector<Lumora::ConnectionDescription>& descriptions) {
    std::vector<std::size_t> result(descriptions.size());
    std::unordered_map<std::string_view, std::vector<std::size_t>> distinctByPurpose;
    for (std::size_t index = 0; index < descriptions.size(); ++index) {
        auto& distinct = distinctByPurpose[descriptions[index].localizedPurpose()];
        const auto equal = std::find_if(distinct.begin(), distinct.end(), [&](std::size_t earlier) {
            return descriptions[earlier] == descriptions[index];
        });
        if (equal != distinct.end()) {
            result[index] = *equal;
        } else {
            distinct.push_back(index);
            result[index] = index;
        }
    }
    return result;
}

} // namespace

std::vector<Lumora::MatchingConnectionDescription>
Lumora::matchingConnectionDescriptions(const ConnectionInformation& connection) const {
    const auto* networkInformation = connection.networkInformation();
    const auto tieBreakOrder = LumoraMatching::sourcesInTieBreakOrder(*this);
    const auto allSources = sources();

    std::vector<Candidate> candidates;
    for (const auto& source : allSources) {
        if (!source) {
            continue;
        }
        const auto& descriptions = source->connectionDescriptions();
        const auto sourceOrder = static_cast<std::size_t>(
            std::find(tieBreakOrder.begin(), tieBreakOrder.end(), source) - tieBreakOrder.begin());
        std::vector<std::size_t> firstEqual;
        for (std::size_t index = 0; index < descriptions.size(); ++index) {
            const auto rating = networkInformation ? LumoraMatching::descriptionMatch(descriptions[index],
                                                                                      *networkInformation)
                                                   : LumoraMatching::DescriptionMatch{Match::fuzzy, 0};
            if (rating.match == Match::none) {
                continue;
            }
            if (firstEqual.empty()) {
                firstEqual = firstEqualIndexes(descriptions);
            }
            candidates.push_back({sourceOrder, index, firstEqual[index], rating.match, rating.quality,
                                  LumoraMatching::ruleListRank(descriptions[index].hostMatchingRules())});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), comesBefore);

    std::size_t selected = candidates.size();
    if (!candidates.empty()) {
        switch (candidates.front().match) {
        case Match::exact:
            selected = 1;
            break;
        case Match::fuzzy:
            selected = static_cast<std::size_t>(
                std::find_if(candidates.begin(), candidates.end(),
                             [](const Candidate& candidate) { return candidate.match < Match::fuzzy; }) -
                candidates.begin());
            break;
        default:
            break;
        }
    }

    std::vector<MatchingConnectionDescription> result;
    result.reserve(selected);
    for (std::size_t index = 0; index < selected; ++index) {
        const auto& candidate = candidates[index];
        const auto& source = tieBreakOrder[candidate.sourceOrder];
        result.push_back({std::shared_ptr<const ConnectionDescription>(
                              source, &source->connectionDescriptions()[candidate.descriptionIndex]),
                          source});
    }
    return result;
}
