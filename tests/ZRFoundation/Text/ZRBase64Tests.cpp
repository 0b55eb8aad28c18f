#include "ZRFoundation/Text/ZRBase64.h"
#include "ZRFoundation/Text/ZRUnicodeConversion.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

// RFC 4648 test vectors.
TEST(ZRBase64, EncodesAndDecodesTheStandardVectors) {
    const std::pair<std::string_view, std::string_view> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(ZRBase64::encode(bytesOf(plain)), encoded);
        EXPECT_EQ(ZRBase64::decode(encoded), bytesOf(plain)) << encoded;
    }
    // Decoding allows white space and missing padding, nothing else.
    EXPECT_EQ(ZRBase64::decode(" Zm9v\n\tYmE= \r\n"), bytesOf("fooba"));
    EXPECT_EQ(ZRBase64::decode("Zm9vYg"), bytesOf("foob"));
    for (const char* bad : {"Zm9v!", "Zg=a", "Z", "Zm9v=", "Zg==="}) {
        EXPECT_FALSE(ZRBase64::decode(bad)) << bad;
    }
}

TEST(ZRUnicodeConversion, ConvertsUTF16AndFindsMalformedUTF8) {
    std::string text;
    EXPECT_EQ(ZRUnicodeConversion::appendUTF8FromUTF16(text, u"a\u00e9\u20ac\U0001F600"), std::nullopt);
    EXPECT_EQ(text, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    text.clear();
    const char16_t unpaired[] = {u'a', 0xD83D, u'b'};
    EXPECT_EQ(ZRUnicodeConversion::appendUTF8FromUTF16(text, std::u16string_view(unpaired, 3)), 1U);
    EXPECT_EQ(text, "a");

    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("ok \xC3\xA9 \xF4\x8F\xBF\xBF"), std::nullopt);
    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("ab\xC0\x80"), 2U);        // overlong
    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("\xED\xA0\x80"), 0U);      // surrogate
    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("a\xF4\x90\x80\x80"), 1U); // above U+10FFFF
    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("abc\xE2\x82"), 3U);       // truncated
    EXPECT_EQ(ZRUnicodeConversion::firstMalformedUTF8Offset("\x80"), 0U);
}

} // namespace
