#include "ZRFoundation/Text/ZRStringComponentEnumerator.h"
#include "ZRFoundation/Text/ZRTokenEnumerator.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Tokens = std::vector<std::string>;
constexpr ZRTokenEnumerator::Options strips = ZRTokenEnumerator::stripsQuotes;
constexpr ZRTokenEnumerator::Options keeps = 0;

struct Tokenization {
    std::string text;
    ZRTokenEnumerator::Options options;
    Tokens expected;
    /// The separator characters; white space and line breaks when none.
    std::optional<std::string> separators = std::nullopt;
};

TEST(ZRTokenEnumerator, CutsTheTextIntoTokens) {
    const Tokenization cases[] = {
        {"", strips, {}},
        {"", keeps, {}},
        {" \t\r\n\v\f\u00a0\u0085\u2028\u3000 ", strips, {}},
        {"  editor \n web\tfile  ", strips, {"editor", "web", "file"}},
        {"editor web", keeps, {"editor", "web"}},
        {R"(say "hello world" now)", strips, {"say", "hello world", "now"}},
        {R"(say "hello world" now)", keeps, {"say", "hello world", "now"}},
        {R"(say "hello world")", strips, {"say", "hello world"}},
        // The end of the text is not a separator.
        {R"(say "hello world")", keeps, {"say", R"("hello world")"}},
        {R"("hello wor"ld next)", strips, {"hello wor", "ld", "next"}},
        {R"("hello wor"ld next)", keeps, {R"("hello wor"ld)", "next"}},
        {R"("" next)", strips, {"", "next"}},
        {R"("" next)", keeps, {"", "next"}},
        {R"(""x y)", keeps, {R"(""x)", "y"}},
        // An unclosed quote.
        {R"(find "web  file  )", strips, {"find", R"("web  file  )"}},
        {R"(find "web file)", keeps, {"find", R"("web file)"}},
        {R"(find ")", strips, {"find", R"(")"}},
        // A quote inside a word ends it when quotes are stripped.
        {R"(abc"def ghi)", strips, {"abc", "def", "ghi"}},
        {R"(abc"def gh"ij)", strips, {"abc", "def", "gh", "ij"}},
        {R"(abc" def)", strips, {"abc", "def"}},
        {R"(a"b c"d e)", keeps, {R"(a"b c"d)", "e"}},
        {R"(a"b c" d)", keeps, {R"(a"b c")", "d"}},
        {R"(a"b"c d)", keeps, {R"(a"b"c)", "d"}},
        // Without a further quote the token takes the rest of the text.
        {R"(a"b c d)", keeps, {R"(a"b c d)"}},
        {"caf\u00e9  \u00fcber\u3000\u6771\u4eac", strips, {"caf\u00e9", "\u00fcber", "\u6771\u4eac"}},
        {"\"\u00e9t\u00e9 \U0001F600\"\u2003x", keeps, {"\u00e9t\u00e9 \U0001F600", "x"}},
        // The token ends at a three-byte separator and the next one starts right after it.
        {"\"\u00e9\"\u00fc\u3000\u00e0", keeps, {"\"\u00e9\"\u00fc", "\u00e0"}},
        {"a\"b\u2003c\"d\u3000e", keeps, {"a\"b\u2003c\"d", "e"}},
        // Malformed bytes belong to words.
        {"a\xff b\xe2\x80", strips, {"a\xff", "b\xe2\x80"}},
        {R"(a,"b c",d)", strips, {"a", "b c", "d"}, ","},
        {R"(a,"b c",d)", keeps, {"a", "b c", "d"}, ","},
        {"a b;c", strips, {"a b", "c"}, ";"},
        {"a\u00b7b\u00b7\u00b7c", strips, {"a", "b", "c"}, "\u00b7"},
    };
    for (const auto& [text, options, expected, separators] : cases) {
        SCOPED_TRACE(text + (options == keeps ? " (keeping quotes)" : ""));
        ZRTokenEnumerator enumerator =
            separators ? ZRTokenEnumerator(text, ZRCharacterSet::charactersInString(*separators), options)
                       : ZRTokenEnumerator(text, options);
        EXPECT_EQ(enumerator.allObjects(), expected);
        // Once exhausted, it stays exhausted.
        EXPECT_EQ(enumerator.nextObject(), std::nullopt);
        EXPECT_FALSE(enumerator.nextRange().isFound());
    }
    // Quotes are stripped by default.
    ZRTokenEnumerator byDefault(R"(say "hello world" now)");
    EXPECT_EQ(byDefault.options(), ZRTokenEnumerator::stripsQuotes);
    EXPECT_EQ(byDefault.allObjects(), (Tokens{"say", "hello world", "now"}));
}

TEST(ZRStringComponentEnumerator, ReportsEachComponentsRangeThenNotFound) {
    auto enumerator = ZRStringComponentEnumerator::withSeparatorCharacters(
        "  ab \u00e9c\u3000", ZRCharacterSet::whitespaceAndNewlines());
    EXPECT_EQ(enumerator.nextRange(), (ZRTextRange{2, 2}));
    EXPECT_EQ(enumerator.nextRange(), (ZRTextRange{5, 3}));
    EXPECT_EQ(enumerator.nextRange(), ZRTextRange{});
    EXPECT_EQ(enumerator.nextRange().location, ZRTextRange::notFound);
    EXPECT_EQ(enumerator.nextObject(), std::nullopt);
}

TEST(ZRStringComponentEnumerator, TakesRunsOfComponentCharacters) {
    auto digits = ZRStringComponentEnumerator::withComponentCharacters(
        "12ab3\u0663", ZRCharacterSet::charactersInString("0123456789"));
    EXPECT_EQ(digits.allObjects(), (Tokens{"12", "3"}));
    // Quotes mean nothing to plain components.
    auto words = ZRStringComponentEnumerator::withSeparatorCharacters(
        R"(say "hello world")", ZRCharacterSet::whitespaceAndNewlines());
    EXPECT_EQ(words.allObjects(), (Tokens{"say", R"("hello)", R"(world")"}));
    auto nothing =
        ZRStringComponentEnumerator::withComponentCharacters("", ZRCharacterSet::charactersInString("a"));
    EXPECT_EQ(nothing.nextRange(), ZRTextRange{});
}

} // namespace
