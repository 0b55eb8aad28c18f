#include "ZRFoundation/Text/ZRUnicodeText.h"

#include <gtest/gtest.h>

namespace {

TEST(ZRUnicodeText, RemovesUnicodeWhitespaceAndLineBreaks) {
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines(" a\tb\r\nc\v\f"), "abc");
    // No-break space, em space, line separator, NEL.
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines("a\u00a0b\u2003c\u2028d\u0085e"), "abcde");
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines("caf\u00e9 \u00fc"), "caf\u00e9\u00fc");
    // Malformed and truncated sequences are kept byte for byte.
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines("a\xff b\xe2\x80"), "a\xff"
                                                                               "b\xe2\x80");
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines(std::string_view("a\0 b", 4)),
              std::string("a\0b", 3));
    EXPECT_EQ(ZRUnicodeText::removingWhitespaceAndNewlines(""), "");
}

TEST(ZRUnicodeText, ComparesNamesLikeAFileBrowser) {
    using ZRUnicodeText::localizedStandardCompare;
    // Numbers by value, case and width ignored, accents not.
    EXPECT_LT(localizedStandardCompare("Helper 2", "Helper 10", "en"), 0);
    EXPECT_GT(localizedStandardCompare("Helper 10", "Helper 9", "en"), 0);
    EXPECT_EQ(localizedStandardCompare("editor", "Editor", "en"), 0);
    EXPECT_EQ(localizedStandardCompare("\uff25ditor", "Editor", "en"), 0);
    EXPECT_NE(localizedStandardCompare("resume", "r\u00e9sum\u00e9", "en"), 0);
    EXPECT_LT(localizedStandardCompare("apple", "Banana", "en"), 0);
    EXPECT_LT(localizedStandardCompare("", "a", "en"), 0);
    // The locale decides: Swedish sorts "\u00e4" after "z", German beside "a".
    EXPECT_GT(localizedStandardCompare("\u00e4", "z", "sv"), 0);
    EXPECT_LT(localizedStandardCompare("\u00e4", "z", "de"), 0);
    // Unknown locales and malformed text still give a consistent order.
    EXPECT_LT(localizedStandardCompare("a", "b", "not a locale!"), 0);
    EXPECT_EQ(localizedStandardCompare("a\xff", "a\xff", "en"), 0);
}

TEST(ZRUnicodeText, TrimsSpaceSeparatorsButNotLineBreaks) {
    EXPECT_EQ(ZRUnicodeText::trimmingWhitespace(" \t\u00a0a b\u2003"), "a b");
    EXPECT_EQ(ZRUnicodeText::trimmingWhitespace("\na\n"), "\na\n");
    EXPECT_EQ(ZRUnicodeText::trimmingWhitespace("   "), "");
    EXPECT_EQ(ZRUnicodeText::trimmingWhitespace("\xff "), "\xff");
    EXPECT_EQ(ZRUnicodeText::trimmingWhitespace(" \xe2\x80"), "\xe2\x80");
}

TEST(ZRUnicodeText, MapsCaseWithFullUnicodeRules) {
    EXPECT_EQ(ZRUnicodeText::uppercased("tcp"), "TCP");
    EXPECT_EQ(ZRUnicodeText::lowercased("ESSENTIAL"), "essential");
    EXPECT_EQ(ZRUnicodeText::capitalizingFirstCharacter("\u00dfe x"), "SSe x");
    EXPECT_EQ(ZRUnicodeText::capitalizingFirstCharacter("\u00e9t\u00e9"), "\u00c9t\u00e9");
    EXPECT_EQ(ZRUnicodeText::capitalizingFirstCharacter(""), "");
    EXPECT_EQ(ZRUnicodeText::replacingOccurrences("%A% and %A%", "%A%", "x"), "x and x");
    EXPECT_EQ(ZRUnicodeText::replacingOccurrences("abc", "", "x"), "abc");
}

} // namespace
