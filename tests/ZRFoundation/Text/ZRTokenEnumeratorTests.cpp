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
    std::string_view name;
    std::string text;
    ZRTokenEnumerator::Options options;
    Tokens expected;
    /// The separator characters; white space and line breaks when none.
    std::optional<std::string> separators = std::nullopt;
};

class ZRTokenEnumeration : public testing::TestWithParam<Tokenization> {};

TEST_P(ZRTokenEnumeration, CutsTheTextIntoTokens) {
    const auto& [name, text, options, expected, separators] = GetParam();
    ZRTokenEnumerator enumerator =
        separators ? ZRTokenEnumerator(text, ZRCharacterSet::charactersInString(*separators), options)
                   : ZRTokenEnumerator(text, options);
    EXPECT_EQ(enumerator.allObjects(), expected);
    // Once exhausted, it stays exhausted.
    EXPECT_EQ(enumerator.nextObject(), std::nullopt);
    EXPECT_FALSE(enumerator.nextRange().isFound());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZRTokenEnumeration,
    testing::Values(
        Tokenization{"Empty", "", strips, {}}, Tokenization{"EmptyKeepingQuotes", "", keeps, {}},
        Tokenization{"OnlySeparators", " \t\r\n\v\f\u00a0\u0085\u2028\u3000 ", strips, {}},
        Tokenization{"Words", "  editor \n web\tfile  ", strips, {"editor", "web", "file"}},
        Tokenization{"WordsKeepingQuotes", "editor web", keeps, {"editor", "web"}},
        Tokenization{"Phrase", R"(say "hello world" now)", strips, {"say", "hello world", "now"}},
        Tokenization{"PhraseFollowedBySeparatorKeepingQuotes",
                     R"(say "hello world" now)",
                     keeps,
                     {"say", "hello world", "now"}},
        Tokenization{"PhraseAtTheEnd", R"(say "hello world")", strips, {"say", "hello world"}},
        // The end of the text is not a separator.
        Tokenization{
            "PhraseAtTheEndKeepingQuotes", R"(say "hello world")", keeps, {"say", R"("hello world")"}},
        Tokenization{"PhraseRunningIntoAWord", R"("hello wor"ld next)", strips, {"hello wor", "ld", "next"}},
        Tokenization{"PhraseRunningIntoAWordKeepingQuotes",
                     R"("hello wor"ld next)",
                     keeps,
                     {R"("hello wor"ld)", "next"}},
        Tokenization{"EmptyPhrase", R"("" next)", strips, {"", "next"}},
        Tokenization{"EmptyPhraseKeepingQuotes", R"("" next)", keeps, {"", "next"}},
        Tokenization{"EmptyPhraseRunningIntoAWordKeepingQuotes", R"(""x y)", keeps, {R"(""x)", "y"}},
        Tokenization{"UnclosedQuote", R"(find "web  file  )", strips, {"find", R"("web  file  )"}},
        Tokenization{"UnclosedQuoteKeepingQuotes", R"(find "web file)", keeps, {"find", R"("web file)"}},
        Tokenization{"LoneQuote", R"(find ")", strips, {"find", R"(")"}},
        Tokenization{"QuoteInsideAWordEndsIt", R"(abc"def ghi)", strips, {"abc", "def", "ghi"}},
        Tokenization{"QuotesInsideWords", R"(abc"def gh"ij)", strips, {"abc", "def", "gh", "ij"}},
        Tokenization{"QuoteEndingAWord", R"(abc" def)", strips, {"abc", "def"}},
        Tokenization{"QuoteInsideAWordKeepingQuotes", R"(a"b c"d e)", keeps, {R"(a"b c"d)", "e"}},
        Tokenization{
            "QuoteInsideAWordClosedBeforeASeparatorKeepingQuotes", R"(a"b c" d)", keeps, {R"(a"b c")", "d"}},
        Tokenization{"QuoteInsideAWordClosedInItKeepingQuotes", R"(a"b"c d)", keeps, {R"(a"b"c)", "d"}},
        // Without a further quote the token takes the rest of the text.
        Tokenization{"QuoteInsideAWordNeverClosedKeepingQuotes", R"(a"b c d)", keeps, {R"(a"b c d)"}},
        Tokenization{"MultibyteWords",
                     "caf\u00e9  \u00fcber\u3000\u6771\u4eac",
                     strips,
                     {"caf\u00e9", "\u00fcber", "\u6771\u4eac"}},
        Tokenization{"MultibytePhrase",
                     "\"\u00e9t\u00e9 \U0001F600\"\u2003x",
                     keeps,
                     {"\u00e9t\u00e9 \U0001F600", "x"}},
        // The token ends at a three-byte separator and the next one starts right after it.
        Tokenization{"PhraseRunningIntoAWordBeforeAMultibyteSeparatorKeepingQuotes",
                     "\"\u00e9\"\u00fc\u3000\u00e0",
                     keeps,
                     {"\"\u00e9\"\u00fc", "\u00e0"}},
        Tokenization{"QuoteInsideAWordBeforeAMultibyteSeparatorKeepingQuotes",
                     "a\"b\u2003c\"d\u3000e",
                     keeps,
                     {"a\"b\u2003c\"d", "e"}},
        Tokenization{"MalformedBytesBelongToWords", "a\xff b\xe2\x80", strips, {"a\xff", "b\xe2\x80"}},
        Tokenization{"GivenSeparators", R"(a,"b c",d)", strips, {"a", "b c", "d"}, ","},
        Tokenization{"GivenSeparatorsKeepingQuotes", R"(a,"b c",d)", keeps, {"a", "b c", "d"}, ","},
        Tokenization{"GivenSeparatorsOnly", "a b;c", strips, {"a b", "c"}, ";"},
        Tokenization{"GivenMultibyteSeparators", "a\u00b7b\u00b7\u00b7c", strips, {"a", "b", "c"}, "\u00b7"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(ZRTokenEnumerator, StripsQuotesByDefault) {
    ZRTokenEnumerator enumerator(R"(say "hello world" now)");
    EXPECT_EQ(enumerator.options(), ZRTokenEnumerator::stripsQuotes);
    EXPECT_EQ(enumerator.allObjects(), (Tokens{"say", "hello world", "now"}));
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
