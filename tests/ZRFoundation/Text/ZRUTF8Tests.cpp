#include "ZRFoundation/Text/ZRUTF8.h"

#include <gtest/gtest.h>

namespace {

// U+FFFD REPLACEMENT CHARACTER.
const std::string R = "\xEF\xBF\xBD";

TEST(ZRUTF8, ReplacesEachMaximalSubpartWithOneReplacementCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Calculator.app", "Calculator.app"},
        {"Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        // Control characters are well-formed.
        {std::string("a\0\x1B\x7F", 4), std::string("a\0\x1B\x7F", 4)},
        {"Bad\xFF.app", "Bad" + R + ".app"},
        {"\x80\xBF", R + R},
        {"ab\xE2\x82", "ab" + R},
        {"\xF0\x9F\x98x", R + "x"},
        // Overlong forms, a surrogate and a code point above U+10FFFF.
        {"\xC0\xAF", R + R},
        {"\xE0\x80\xAF", R + R + R},
        {"\xED\xA0\x80", R + R + R},
        {"\xF4\x90\x80\x80", R + R + R + R},
        {"\xE2\xC3\xA9", R + "\xC3\xA9"},
        {"\x91quoted\x92", R + "quoted" + R},
        // The worked example of the Unicode Standard's chapter 3.
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         "a" + R + R + R + "b" + R + "c" + R + R + "d"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(ZRUTF8::replacingInvalidSequences(input), expected);
        EXPECT_EQ(ZRUTF8::isValid(input), input == expected) << input;
        EXPECT_TRUE(ZRUTF8::isValid(ZRUTF8::replacingInvalidSequences(input))) << input;
    }
}

// What a script does with the percent-encoded form (Python's urllib.parse.unquote_to_bytes).
std::string percentDecoded(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bytes.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

TEST(ZRUTF8, PercentEncodesOnlyThePercentSignAndIllFormedBytes) {
    EXPECT_EQ(ZRUTF8::percentEncodingInvalidBytes("/Apps/Bad\xFF.app"), "/Apps/Bad%FF.app");
    EXPECT_EQ(ZRUTF8::percentEncodingInvalidBytes("100% Gr\xC3\xBCn"), "100%25 Gr\xC3\xBCn");
    EXPECT_EQ(ZRUTF8::percentEncodingInvalidBytes("\xE2\x82x\xc0\xaf"), "%E2%82x%C0%AF");
    EXPECT_EQ(ZRUTF8::percentEncodingInvalidBytes(""), "");
}

TEST(ZRUTF8, PercentEncodedFormGivesBackEveryByte) {
    std::vector<std::string> inputs{"a%b", "Bad\xFF.app", "\xF4\x90\x80\x80\xE2\x82\xAC", "%FF\xFF"};
    for (int byte = 0; byte < 256; ++byte) {
        inputs.push_back(std::string("x") + static_cast<char>(byte) + "y");
    }
    for (const auto& input : inputs) {
        const auto encoded = ZRUTF8::percentEncodingInvalidBytes(input);
        EXPECT_TRUE(ZRUTF8::isValid(encoded)) << encoded;
        EXPECT_EQ(percentDecoded(encoded), input) << encoded;
    }
}

} // namespace

TEST(ZRUTF8, CodePointsOfWellFormedTextOnly) {
    EXPECT_EQ(ZRUTF8::codePoints("a\xC3\xA9\xE2\x80\xAE\xF0\x9F\x93\x9D"),
              (std::vector<char32_t>{U'a', U'\u00E9', U'\u202E', U'\U0001F4DD'}));
    EXPECT_EQ(ZRUTF8::codePoints(""), std::vector<char32_t>{});
    for (const std::string_view illFormed :
         {"a\xFF", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        EXPECT_FALSE(ZRUTF8::codePoints(illFormed).has_value()) << illFormed;
    }
}
