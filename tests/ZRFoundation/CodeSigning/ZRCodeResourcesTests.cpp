#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRCodeResources.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"
#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include <gtest/gtest.h>

namespace {

using P = ZRPropertyList;
const auto yes = P::boolean(true);

// An envelope of the given "files2" and "rules2".
std::optional<ZRCodeResources> envelopeOf(ZRPropertyListDictionary files2, ZRPropertyListDictionary rules2,
                                          std::string* failure = nullptr) {
    return ZRCodeResources::codeResources(P::dictionary({{"files2", P::dictionary(std::move(files2))},
                                                         {"rules2", P::dictionary(std::move(rules2))}}),
                                          failure);
}

ZRPropertyList weighted(double weight, const char* flag = nullptr) {
    ZRPropertyListDictionary settings{{"weight", P::real(weight)}};
    if (flag != nullptr) {
        settings.set(flag, yes);
    }
    return P::dictionary(std::move(settings));
}

TEST(ZRResourceRule, PicksExclusionsFirstThenTheHeaviestRule) {
    std::vector<ZRResourceRule> rules;
    rules.push_back(*ZRResourceRule::rule("^.*", yes));
    rules.push_back(*ZRResourceRule::rule("^Resources/", weighted(20)));
    rules.push_back(*ZRResourceRule::rule("^Resources/.*\\.lproj/", weighted(1000, "optional")));
    rules.push_back(*ZRResourceRule::rule("^Info\\.plist$", weighted(20, "omit")));
    rules.push_back(*ZRResourceRule::rule("^Resources/Secret", P::boolean(false)));
    const ZRResourceRuleSet set(std::move(rules));
    EXPECT_EQ(set.ruleForPath("Resources/a.txt").rule->pattern(), "^Resources/");
    EXPECT_TRUE(set.ruleForPath("Resources/de.lproj/x.strings").rule->hasFlag(ZRResourceRule::optional));
    EXPECT_TRUE(set.ruleForPath("Info.plist").rule->hasFlag(ZRResourceRule::omitted));
    EXPECT_TRUE(set.ruleForPath("Resources/Secret.txt").rule->hasFlag(ZRResourceRule::exclusion));
    EXPECT_EQ(set.ruleForPath("MacOS/tool").rule->pattern(), "^.*");

    EXPECT_FALSE(ZRResourceRule::rule("(unclosed", yes).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", P::string("yes")).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", weighted(std::numeric_limits<double>::infinity())).has_value());
    EXPECT_FALSE(ZRResourceRule::rule(std::string(2000, 'a'), yes).has_value());
    // Forms signing tools never write are refused before compiling.
    for (const std::string& pattern : {std::string(1, 'a').append(120, '+'), std::string("a{1000}{1000}"),
                                       std::string("a*?"), std::string("((((((((((a+)+)+)+)+)+)+)+)+)+)+")}) {
        EXPECT_FALSE(ZRResourceRule::rule(pattern, yes).has_value()) << pattern;
    }
    EXPECT_TRUE(ZRResourceRule::rule("^(.*/)?\\.DS_Store$", yes).has_value());
    EXPECT_TRUE(ZRResourceRule::rule("\\++", yes).has_value());
}

using Match = ZRResourceRule::Match;

TEST(ZRResourceRule, MatchesAsPOSIXExtendedExpressionsDo) {
    const std::tuple<std::string, std::string, Match> cases[] = {
        // The rules signing tools write.
        {"^Resources/", "Resources/a.png", Match::yes},
        {"^Resources/", "MacOS/Resources/", Match::no},
        {"^.*\\.lproj/", "Resources/de.lproj/Localizable.strings", Match::yes},
        {"^.*\\.lproj/", "Resources/delproj/x", Match::no},
        {"^.*\\.lproj/locversion.plist$", "Resources/en.lproj/locversion.plist", Match::yes},
        {"^version.plist$", "version.plist", Match::yes},
        {"^version.plist$", "version.plist.bak", Match::no},
        {"^(.*/)?\\.DS_Store$", "Resources/x/.DS_Store", Match::yes},
        {"^(.*/)?\\.DS_Store$", ".DS_Store", Match::yes},
        {"^[^/]+$", "Info.plist", Match::yes},
        {"^[^/]+$", "Resources/x", Match::no},
        {"^(Frameworks|SharedFrameworks|PlugIns|Plug-ins|XPCServices|Helpers|MacOS|Library/"
         "(Automator|Spotlight|LoginItems))/",
         "Library/Spotlight/I.mdimporter", Match::yes},
        {"^.*\\.dSYM($|/)", "Tool.dSYM", Match::yes},
        {"^.*\\.dSYM($|/)", "Tool.dSYMs", Match::no},
        // Unanchored rules match anywhere.
        {"lproj", "Resources/en.lproj/a", Match::yes},
        // "$" is the end of the text, not a position before a final line end; "." matches a line end.
        {"^version.plist$", "version.plist\n", Match::no},
        {"^a.b$", "a\nb", Match::yes},
        // Bracket expressions: "]" first is a member, a backslash is a member, classes and ranges.
        {"^[]a]$", "]", Match::yes},
        {"^[\\.]$", "\\", Match::yes},
        {"^[\\1]$", "1", Match::yes},
        {"^[a-c]+$", "abcab", Match::yes},
        {"^[a-c]+$", "abd", Match::no},
        {"^[[:digit:]]+$", "2024", Match::yes},
        {"^[^[:alpha:]]$", "é", Match::no},
        {"^[a-]$", "-", Match::yes},
        // What ICU would read as set operations, comments or quoting stays literal.
        {"^[a&&b]$", "&", Match::yes},
        {"^a#b c$", "a#b c", Match::yes},
        {"^\\Qa$", "Qa", Match::yes},
        {"^a\\\\1$", "a\\1", Match::yes},
        // Non-ASCII names, character by character.
        {"^R\xC3\xA9sum\xC3\xA9/.$", "R\xC3\xA9sum\xC3\xA9/\xE2\x82\xAC", Match::yes},
    };
    for (const auto& [pattern, path, expected] : cases) {
        const auto rule = ZRResourceRule::rule(pattern, yes);
        ZRResourceRule::MatchBudget budget;
        EXPECT_EQ(rule.value().match(path, budget), expected) << pattern << " on " << path;
    }
}

TEST(ZRResourceRule, RefusesBackReferencesAndFormsPOSIXDoesNotDefine) {
    for (const std::string pattern :
         {"^(.*)(.*)(.*)(.*)(.*)(.*)(.*)\\7\\6\\5\\4\\3\\2\\1b$", "(a)\\1", "^\\9", "[x]\\1", "a\\",
          "[[=a=]]", "[[.a.]]", "[[:nope:]]", "[z-a]", "[[:digit:]-z]", "[abc", "(a", "a{2}"}) {
        EXPECT_FALSE(ZRResourceRule::rule(pattern, yes).has_value()) << pattern;
    }
}

TEST(ZRResourceRule, StopsARunawayMatchAtItsLimit) {
    // Nested repetition backtracks exponentially on a run of "a" that fails at its end.
    const auto rule = ZRResourceRule::rule("^(a+)+$", yes);
    ASSERT_TRUE(rule);
    ZRResourceRule::MatchBudget budget;
    EXPECT_EQ(rule->match(std::string(64, 'a') + "b", budget), Match::limitExceeded);
    // Once spent, the budget stops every later rule at once.
    EXPECT_EQ(rule->match("aaa", budget), Match::limitExceeded);
    ZRResourceRule::MatchBudget fresh;
    EXPECT_EQ(rule->match("aaa", fresh), Match::yes);
    EXPECT_EQ(rule->match("aab", fresh), Match::no);

    // A set whose rules run out of budget on a path names no rule for it.
    std::vector<ZRResourceRule> rules;
    rules.push_back(*ZRResourceRule::rule("^.*", yes));
    rules.push_back(*rule);
    const ZRResourceRuleSet set(std::move(rules));
    const auto selection = set.ruleForPath(std::string(64, 'a') + "b");
    EXPECT_TRUE(selection.matchingLimitExceeded);
    EXPECT_EQ(selection.rule, nullptr);
    EXPECT_FALSE(set.ruleForPath("aaa").matchingLimitExceeded);
}

TEST(ZRResourceRule, SpendsOneBudgetAcrossPaths) {
    // The shortest run of "a" on which the runaway rule spends between 100 and 200 units.
    std::vector<ZRResourceRule> rules;
    rules.push_back(*ZRResourceRule::rule("^(a+)+$", yes));
    const ZRResourceRuleSet set(std::move(rules));
    std::string path;
    for (std::size_t length = 8; length < 40 && path.empty(); ++length) {
        const std::string candidate = std::string(length, 'a') + "b";
        ZRResourceRule::MatchBudget small(100);
        ZRResourceRule::MatchBudget large(200);
        if (set.ruleForPath(candidate, small).matchingLimitExceeded &&
            !set.ruleForPath(candidate, large).matchingLimitExceeded) {
            path = candidate;
        }
    }
    ASSERT_FALSE(path.empty());
    // Once 200 units suffice; the second time the 100 or fewer left do not.
    ZRResourceRule::MatchBudget shared(200);
    EXPECT_FALSE(set.ruleForPath(path, shared).matchingLimitExceeded);
    EXPECT_LE(shared.remainingUnits(), 100);
    EXPECT_TRUE(set.ruleForPath(path, shared).matchingLimitExceeded);
    EXPECT_TRUE(shared.exhausted());
}

TEST(ZRResourceEnvelopeValidator, FailsAnEnvelopeWhoseRulesRunOutOfMatchingBudget) {
    const TemporaryFolder folder;
    const std::string name = std::string(64, 'a') + "b";
    folder.write(name, "x");
    const auto envelope = envelopeOf({}, {{"^(a+)+$", yes}});
    ASSERT_TRUE(envelope);
    const auto outcome = ZRResourceEnvelopeValidator(folder.path(), *envelope, "tool", nullptr).validate();
    EXPECT_EQ(outcome.status, ZROSStatus::errSecCSResourcesInvalid);
    EXPECT_EQ(outcome.failedPath, name);
}

TEST(ZRCodeResources, RefusesAnEnvelopeWithABackReferenceRule) {
    std::string failure;
    const std::string pattern = "^(.*)(.*)\\2\\1b$";
    EXPECT_FALSE(envelopeOf({}, {{pattern, yes}}, &failure));
    EXPECT_EQ(failure, "resource rule '" + pattern + "' is malformed");
}

TEST(ZRCodeResources, ReadsSealsOfEveryKindAndRefusesMalformedOnes) {
    const auto zeros = [](std::size_t size) { return P::data(std::vector<std::uint8_t>(size)); };
    const auto envelope =
        envelopeOf({{"Resources/a.txt", P::dictionary({{"hash2", zeros(32)}})},
                    {"Resources/link", P::dictionary({{"symlink", P::string("a.txt")}})},
                    {"XPCServices/S.xpc",
                     P::dictionary({{"requirement", P::string("identifier \"s\"")}, {"optional", yes}})},
                    {"Resources/old.txt", zeros(20)}},
                   {{"^.*", yes}});
    ASSERT_TRUE(envelope.has_value());
    EXPECT_TRUE(envelope->isVersion2());
    EXPECT_EQ(envelope->seals().at("Resources/link").kind, ZRResourceSeal::Kind::symlink);
    EXPECT_EQ(envelope->seals().at("XPCServices/S.xpc").kind, ZRResourceSeal::Kind::nestedCode);
    EXPECT_TRUE(envelope->seals().at("XPCServices/S.xpc").optional);
    EXPECT_EQ(envelope->seals().at("Resources/old.txt").sha1.size(), 20U);
    EXPECT_EQ(envelope->files2().size(), 4U);

    for (const auto& [path, value] : std::vector<std::pair<std::string, P>>{
             {"../escape", zeros(20)},
             {"/absolute", zeros(20)},
             {"a//b", zeros(20)},
             {"short", zeros(19)},
             {"wrong", P::dictionary({{"hash2", zeros(20)}})},
             {"none", P::dictionary({})},
             {"flag", P::dictionary({{"symlink", P::string("x")}, {"optional", P::string("yes")}})}}) {
        std::string failure;
        EXPECT_FALSE(envelopeOf({{path, value}}, {{"^.*", yes}}, &failure)) << path;
        EXPECT_FALSE(failure.empty());
    }
    std::string failure;
    EXPECT_FALSE(
        ZRCodeResources::codeResourcesFromData(std::vector<std::uint8_t>{'x'}, &failure).has_value());
    EXPECT_FALSE(ZRCodeResources::codeResources(P::array({})).has_value());
}

} // namespace
