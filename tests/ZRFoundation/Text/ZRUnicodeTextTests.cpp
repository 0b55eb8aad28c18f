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
