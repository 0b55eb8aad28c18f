#pragma once

#include "Code/Model/ConnectionInformation.h"
#include "Code/Model/Lumora.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"

#include <memory>
#include <string_view>
#include <vector>

/// A declared connection description that covers a connection, with the source that declares it.
struct Lumora::MatchingConnectionDescription {
    /// Points into `source`'s descriptions and shares ownership of `source`.
    std::shared_ptr<const ConnectionDescription> description;
    std::shared_ptr<const Source> source;

    /// Equal descriptions of the same source object.
    bool operator==(const MatchingConnectionDescription& other) const {
        return source == other.source && *description == *other.description;
    }
};

/// The pieces of connection matching: how one host rule rates against one remote endpoint, how a
/// description rates against a connection's network side, and the order of the candidates.
namespace LumoraMatching {

using Match = Lumora::Match;
using ConnectionDescription = Lumora::ConnectionDescription;
using HostMatchingRule = ConnectionDescription::HostMatchingRule;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using RemoteEndpoint = NetworkInformation::RemoteEndpoint;

/// How well `rule` covers a connection to `endpoint`.
Match ruleMatch(const HostMatchingRule& rule, const RemoteEndpoint& endpoint);
/// How well `rule` covers a connection whose remote side is unknown.
Match ruleMatchWithoutEndpoint(const HostMatchingRule& rule);

/// Whether the host pattern `pattern` covers `hostName` label by label: both split at ".",
/// empty labels dropped, the same number of labels, and each label of `hostName` matched by the
/// pattern label at the same position (`labelMatchesPattern`).
bool hostNameMatchesPattern(std::string_view pattern, std::string_view hostName);
/// Whether the whole of `label` matches `pattern`: "*" matches any run of characters (also none),
/// "?" exactly one character, "\\" makes the next pattern character literal (a final lone "\\"
/// stands for itself), every other character only itself, letter case included. Characters are
/// Unicode code points; a malformed UTF-8 byte counts as one character that matches only itself.
/// Runs in O(length of pattern × length of label) whatever the pattern.
bool labelMatchesPattern(std::string_view pattern, std::string_view label);

/// The best match of any rule against any endpoint (against no endpoint when `endpoints` is
/// empty); `none` for no rules.
Match rulesMatch(const std::vector<HostMatchingRule>& rules, const std::vector<RemoteEndpoint>& endpoints);

/// The rating of one description: its match and how many of protocol and ports the connection
/// specifically confirmed.
struct DescriptionMatch {
    Match match;
    unsigned quality;
    bool operator==(const DescriptionMatch&) const = default;
};
DescriptionMatch descriptionMatch(const ConnectionDescription& description,
                                  const NetworkInformation& networkInformation);

/// Specificity of a rule kind, 0 (`berkeleyPacketFilter`) to 7 (`fuzzyAnyConnectionWildcard`);
/// lower is more specific.
int ruleRank(HostMatchingRule::Kind kind);
/// The smallest rank of the rules; 7 for no rules.
int ruleListRank(const std::vector<HostMatchingRule>& rules);

/// The rules, in order, that match at least one of `endpoints`; all rules when there are no
/// endpoints.
std::vector<HostMatchingRule> matchingHostMatchingRules(const std::vector<HostMatchingRule>& rules,
                                                        const std::vector<RemoteEndpoint>& endpoints);

/// The order in which the candidates of different sources are listed when they rate alike: the
/// primary source first, then by localized name and then by bundle path (both with
/// `localizedStandardCompare`), then in document order. Each distinct source object appears once.
std::vector<std::shared_ptr<const Lumora::Source>> sourcesInTieBreakOrder(const Lumora& document);

} // namespace LumoraMatching
