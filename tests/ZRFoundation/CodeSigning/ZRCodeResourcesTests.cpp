#include "ZRFoundation/CodeSigning/ZRCodeResources.h"

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
    EXPECT_EQ(set.ruleForPath("Resources/a.txt")->pattern(), "^Resources/");
    EXPECT_TRUE(set.ruleForPath("Resources/de.lproj/x.strings")->hasFlag(ZRResourceRule::optional));
    EXPECT_TRUE(set.ruleForPath("Info.plist")->hasFlag(ZRResourceRule::omitted));
    EXPECT_TRUE(set.ruleForPath("Resources/Secret.txt")->hasFlag(ZRResourceRule::exclusion));
    EXPECT_EQ(set.ruleForPath("MacOS/tool")->pattern(), "^.*");

    EXPECT_FALSE(ZRResourceRule::rule("(unclosed", ZRPropertyList::boolean(true)).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", ZRPropertyList::string("yes")).has_value());
    EXPECT_FALSE(ZRResourceRule::rule("^a", weighted(std::numeric_limits<double>::infinity())).has_value());
    EXPECT_FALSE(ZRResourceRule::rule(std::string(2000, 'a'), ZRPropertyList::boolean(true)).has_value());
    // Forms whose compiled size explodes are refused before compiling.
    for (const std::string& pattern : {"a" + std::string(120, '+'), std::string("a{1000}{1000}"),
                                       std::string("a*?"), std::string("((((((((((a+)+)+)+)+)+)+)+)+)+)+")}) {
        EXPECT_FALSE(ZRResourceRule::rule(pattern, ZRPropertyList::boolean(true)).has_value()) << pattern;
    }
    EXPECT_TRUE(ZRResourceRule::rule("^(.*/)?\\.DS_Store$", ZRPropertyList::boolean(true)).has_value());
    EXPECT_TRUE(ZRResourceRule::rule("\\++", ZRPropertyList::boolean(true)).has_value());
}

TEST(ZRCodeResources, ReadsSealsOfEveryKindAndRefusesMalformedOnes) {
    const ZRPropertyListDictionary files2{
        {"Resources/a.txt",
         ZRPropertyList::dictionary({{"hash2", ZRPropertyList::data(std::vector<std::uint8_t>(32))}})},
        {"Resources/link", ZRPropertyList::dictionary({{"symlink", ZRPropertyList::string("a.txt")}})},
        {"XPCServices/S.xpc",
         ZRPropertyList::dictionary({{"requirement", ZRPropertyList::string("identifier \"s\"")},
                                     {"optional", ZRPropertyList::boolean(true)}})},
        {"Resources/old.txt", ZRPropertyList::data(std::vector<std::uint8_t>(20))}};
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
             {"../escape", ZRPropertyList::data(std::vector<std::uint8_t>(20))},
             {"/absolute", ZRPropertyList::data(std::vector<std::uint8_t>(20))},
             {"a//b", ZRPropertyList::data(std::vector<std::uint8_t>(20))},
             {"short", ZRPropertyList::data(std::vector<std::uint8_t>(19))},
             {"wrong",
              ZRPropertyList::dictionary({{"hash2", ZRPropertyList::data(std::vector<std::uint8_t>(20))}})},
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
