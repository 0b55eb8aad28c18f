#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRCodeResources.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"
#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"

#include <gtest/gtest.h>

namespace {

ZRPropertyList weighted(double weight, const char* flag = nullptr) {
    ZRPropertyListDictionary settings{{"weight", ZRPropertyList::real(weight)}};
    if (flag != nullptr) {
        settings.set(flag, ZRPropertyList::boolean(true));
    }
    return ZRPropertyList::dictionary(std::move(settings));
}

TEST(ZRResourceRule, PicksExclusionsFirstThenTheHeaviestRule) {
    std::vector<ZRResourceRule> rules;
    rules.push_back(*ZRResourceRule::rule("^.*", ZRPropertyList::boolean(true)));
    rules.push_back(*ZRResourceRule::rule("^Resources/", weighted(20)));
    rules.push_back(*ZRResourceRule::rule("^Resources/.*\\.lproj/", weighted(1000, "optional")));
    rules.push_back(*ZRResourceRule::rule("^Info\\.plist$", weighted(20, "omit")));
    rules.push_back(*ZRResourceRule::rule("^Resources/Secret", ZRPropertyList::boolean(false)));
    const ZRResourceRuleSet set(std::move(rules));
    EXPECT_EQ(set.ruleForPath("Resources/a.txt").rule->pattern(), "^Resources/");
    EXPECT_TRUE(set.ruleForPath("Resources/de.lproj/x.strings").rule->hasFlag(ZRResourceRule::optional));
    EXPECT_TRUE(set.ruleForPath("Info.plist").rule->hasFlag(ZRResourceRule::omitted));
    EXPECT_TRUE(set.ruleForPath("Resources/Secret.txt").rule->hasFlag(ZRResourceRule::exclusion));
    EXPECT_EQ(set.ruleForPath("MacOS/tool").rule->pattern(), "^.*");

    EXPECT_FALSE(ZRResourceRule::rule("(unclosed", ZRPropertyList::boolean(true)).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", ZRPropertyList::string("yes")).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", weighted(std::numeric_limits<double>::infinity())).has_value());
    EXPECT_FALSE(ZRResourceRule::rule(std::string(2000, 'a'), ZRPropertyList::boolean(true)).has_value());
    // Forms signing tools never write are refused before compiling.
    for (const std::string& pattern : {std::string(1, 'a').append(120, '+'), std::string("a{1000}{1000}"),
                                       std::string("a*?"), std::string("((((((((((a+)+)+)+)+)+)+)+)+)+)+")}) {
        EXPECT_FALSE(ZRResourceRule::rule(pattern, ZRPropertyList::boolean(true)).has_value()) << pattern;
    }
    EXPECT_TRUE(ZRResourceRule::rule("^(.*/)?\\.DS_Store$", ZRPropertyList::boolean(true)).has_value());
    EXPECT_TRUE(ZRResourceRule::rule("\\++", ZRPropertyList::boolean(true)).has_value());
}

using Match = ZRResourceRule::Match;

Match matchOf(const std::string& pattern, const std::string& path) {
    const auto rule = ZRResourceRule::rule(pattern, ZRPropertyList::boolean(true));
    if (!rule) {
        ADD_FAILURE() << "refused " << pattern;
        return Match::limitExceeded;
    }
    ZRResourceRule::MatchBudget budget;
    return rule->match(path, budget);
}

struct RuleCase {
    std::string pattern;
    std::string path;
    Match expected;
};

class ZRResourceRuleMatching : public testing::TestWithParam<RuleCase> {};

TEST_P(ZRResourceRuleMatching, MatchesAsPOSIXExtendedExpressionsDo) {
    const auto& [pattern, path, expected] = GetParam();
    EXPECT_EQ(matchOf(pattern, path), expected) << pattern << " on " << path;
}

INSTANTIATE_TEST_SUITE_P(
    SigningToolRulesAndPOSIXForms, ZRResourceRuleMatching,
    testing::Values(
        // The rules signing tools write.
        RuleCase{"^Resources/", "Resources/a.png", Match::yes},
        RuleCase{"^Resources/", "MacOS/Resources/", Match::no},
        RuleCase{"^.*\\.lproj/", "Resources/de.lproj/Localizable.strings", Match::yes},
        RuleCase{"^.*\\.lproj/", "Resources/delproj/x", Match::no},
        RuleCase{"^.*\\.lproj/locversion.plist$", "Resources/en.lproj/locversion.plist", Match::yes},
        RuleCase{"^version.plist$", "version.plist", Match::yes},
        RuleCase{"^version.plist$", "version.plist.bak", Match::no},
        RuleCase{"^(.*/)?\\.DS_Store$", "Resources/x/.DS_Store", Match::yes},
        RuleCase{"^(.*/)?\\.DS_Store$", ".DS_Store", Match::yes},
        RuleCase{"^[^/]+$", "Info.plist", Match::yes}, RuleCase{"^[^/]+$", "Resources/x", Match::no},
        RuleCase{"^(Frameworks|SharedFrameworks|PlugIns|Plug-ins|XPCServices|Helpers|MacOS|Library/"
                 "(Automator|Spotlight|LoginItems))/",
                 "Library/Spotlight/I.mdimporter", Match::yes},
        RuleCase{"^.*\\.dSYM($|/)", "Tool.dSYM", Match::yes},
        RuleCase{"^.*\\.dSYM($|/)", "Tool.dSYMs", Match::no},
        // Unanchored rules match anywhere.
        RuleCase{"lproj", "Resources/en.lproj/a", Match::yes},
        // "$" is the end of the text, not a position before a final line end; "." matches a line end.
        RuleCase{"^version.plist$", "version.plist\n", Match::no}, RuleCase{"^a.b$", "a\nb", Match::yes},
        // Bracket expressions: "]" first is a member, a backslash is a member, classes and ranges.
        RuleCase{"^[]a]$", "]", Match::yes}, RuleCase{"^[\\.]$", "\\", Match::yes},
        RuleCase{"^[\\1]$", "1", Match::yes}, RuleCase{"^[a-c]+$", "abcab", Match::yes},
        RuleCase{"^[a-c]+$", "abd", Match::no}, RuleCase{"^[[:digit:]]+$", "2024", Match::yes},
        RuleCase{"^[^[:alpha:]]$", "é", Match::no}, RuleCase{"^[a-]$", "-", Match::yes},
        // What ICU would read as set operations, comments or quoting stays literal.
        RuleCase{"^[a&&b]$", "&", Match::yes}, RuleCase{"^a#b c$", "a#b c", Match::yes},
        RuleCase{"^\\Qa$", "Qa", Match::yes}, RuleCase{"^a\\\\1$", "a\\1", Match::yes},
        // Non-ASCII names, character by character.
        RuleCase{"^R\xC3\xA9sum\xC3\xA9/.$", "R\xC3\xA9sum\xC3\xA9/\xE2\x82\xAC", Match::yes}));

TEST(ZRResourceRule, RefusesBackReferencesAndFormsPOSIXDoesNotDefine) {
    for (const std::string pattern :
         {"^(.*)(.*)(.*)(.*)(.*)(.*)(.*)\\7\\6\\5\\4\\3\\2\\1b$", "(a)\\1", "^\\9", "[x]\\1", "a\\",
          "[[=a=]]", "[[.a.]]", "[[:nope:]]", "[z-a]", "[[:digit:]-z]", "[abc", "(a", "a{2}"}) {
        EXPECT_FALSE(ZRResourceRule::rule(pattern, ZRPropertyList::boolean(true)).has_value()) << pattern;
    }
}

TEST(ZRResourceRule, StopsARunawayMatchAtItsLimit) {
    // Nested repetition backtracks exponentially on a run of "a" that fails at its end.
    const auto rule = ZRResourceRule::rule("^(a+)+$", ZRPropertyList::boolean(true));
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
    rules.push_back(*ZRResourceRule::rule("^.*", ZRPropertyList::boolean(true)));
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
    rules.push_back(*ZRResourceRule::rule("^(a+)+$", ZRPropertyList::boolean(true)));
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
    const auto envelope = ZRCodeResources::codeResources(ZRPropertyList::dictionary(
        {{"files2", ZRPropertyList::dictionary({})},
         {"rules2", ZRPropertyList::dictionary({{"^(a+)+$", ZRPropertyList::boolean(true)}})}}));
    ASSERT_TRUE(envelope);
    const auto outcome = ZRResourceEnvelopeValidator(folder.path(), *envelope, "tool", nullptr).validate();
    EXPECT_EQ(outcome.status, ZROSStatus::errSecCSResourcesInvalid);
    EXPECT_EQ(outcome.failedPath, name);
}

TEST(ZRCodeResources, RefusesAnEnvelopeWithABackReferenceRule) {
    std::string failure;
    const std::string pattern = "^(.*)(.*)\\2\\1b$";
    EXPECT_FALSE(
        ZRCodeResources::codeResources(
            ZRPropertyList::dictionary(
                {{"files2", ZRPropertyList::dictionary({})},
                 {"rules2", ZRPropertyList::dictionary({{pattern, ZRPropertyList::boolean(true)}})}}),
            &failure)
            .has_value());
    EXPECT_EQ(failure, "resource rule '" + pattern + "' is malformed");
}

TEST(ZRCodeResources, ReadsSealsOfEveryKindAndRefusesMalformedOnes) {
    const auto zeros = [](std::size_t size) { return ZRPropertyList::data(std::vector<std::uint8_t>(size)); };
    const ZRPropertyListDictionary files2{
        {"Resources/a.txt", ZRPropertyList::dictionary({{"hash2", zeros(32)}})},
        {"Resources/link", ZRPropertyList::dictionary({{"symlink", ZRPropertyList::string("a.txt")}})},
        {"XPCServices/S.xpc",
         ZRPropertyList::dictionary({{"requirement", ZRPropertyList::string("identifier \"s\"")},
                                     {"optional", ZRPropertyList::boolean(true)}})},
        {"Resources/old.txt", zeros(20)}};
    const ZRPropertyListDictionary rules2{{"^.*", ZRPropertyList::boolean(true)}};
    auto envelope = ZRCodeResources::codeResources(ZRPropertyList::dictionary(
        {{"files2", ZRPropertyList::dictionary(files2)}, {"rules2", ZRPropertyList::dictionary(rules2)}}));
    ASSERT_TRUE(envelope.has_value());
    EXPECT_TRUE(envelope->isVersion2());
    EXPECT_EQ(envelope->seals().at("Resources/link").kind, ZRResourceSeal::Kind::symlink);
    EXPECT_EQ(envelope->seals().at("XPCServices/S.xpc").kind, ZRResourceSeal::Kind::nestedCode);
    EXPECT_TRUE(envelope->seals().at("XPCServices/S.xpc").optional);
    EXPECT_EQ(envelope->seals().at("Resources/old.txt").sha1.size(), 20U);
    EXPECT_EQ(envelope->files2().size(), 4U);

    for (const auto& [path, value] : std::vector<std::pair<std::string, ZRPropertyList>>{
             {"../escape", zeros(20)},
             {"/absolute", zeros(20)},
             {"a//b", zeros(20)},
             {"short", zeros(19)},
             {"wrong", ZRPropertyList::dictionary({{"hash2", zeros(20)}})},
             {"none", ZRPropertyList::dictionary({})},
             {"flag", ZRPropertyList::dictionary({{"symlink", ZRPropertyList::string("x")},
                                                  {"optional", ZRPropertyList::string("yes")}})}}) {
        std::string failure;
        const auto refused = ZRCodeResources::codeResources(
            ZRPropertyList::dictionary({{"files2", ZRPropertyList::dictionary({{path, value}})},
                                        {"rules2", ZRPropertyList::dictionary(rules2)}}),
            &failure);
        EXPECT_FALSE(refused.has_value()) << path;
        EXPECT_FALSE(failure.empty());
    }
    std::string failure;
    EXPECT_FALSE(
        ZRCodeResources::codeResourcesFromData(std::vector<std::uint8_t>{'x'}, &failure).has_value());
    EXPECT_FALSE(ZRCodeResources::codeResources(ZRPropertyList::array({})).has_value());
}

} // namespace
