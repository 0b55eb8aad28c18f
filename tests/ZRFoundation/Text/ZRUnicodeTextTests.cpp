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

} // namespace

namespace {

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
