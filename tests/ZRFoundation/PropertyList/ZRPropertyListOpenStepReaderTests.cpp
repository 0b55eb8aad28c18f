#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <gtest/gtest.h>

namespace {

using PropertyListTestSupport::bytes;
using ZRPropertyListReader::readOpenStep;
using P = ZRPropertyList;

ZRPropertyList readValue(std::string_view text) {
    const auto result = readOpenStep(bytes(text));
    EXPECT_TRUE(result) << result.errorDescription;
    return result.value.value_or(ZRPropertyList());
}

std::string errorOf(std::string_view text, const ZRPropertyListReader::Limits& limits = {}) {
    const auto result = readOpenStep(bytes(text), limits);
    EXPECT_FALSE(result);
    return result.errorDescription;
}

std::string utf16(std::u16string_view text, bool bigEndian, bool byteOrderMark) {
    std::string encoded;
    const auto append = [&](char16_t unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        encoded += bigEndian ? high : low;
        encoded += bigEndian ? low : high;
    };
    if (byteOrderMark) {
        append(0xFEFF);
    }
    for (const char16_t unit : text) {
        append(unit);
    }
    return encoded;
}

const ZRPropertyListDictionary expectedTable{
    {"Greeting", P::string("Gr\xC3\xBC\xC3\x9F Gott \xF0\x9F\x91\x8B")},
    {"Plain", P::string("Plain")},
};
constexpr std::u16string_view tableText =
    u"/* A comment */\n\"Greeting\" = \"Gr\u00fc\u00df Gott \U0001F44B\";\n"
    u"// Another\n\"Plain\";\n";

TEST(ZRPropertyListOpenStepReader, ReadsStringsFilesInUTF16WithAndWithoutByteOrderMark) {
    for (const bool bigEndian : {false, true}) {
        for (const bool byteOrderMark : {true, false}) {
            const auto result = readOpenStep(bytes(utf16(tableText, bigEndian, byteOrderMark)));
            ASSERT_TRUE(result) << result.errorDescription << " big endian " << bigEndian << " BOM "
                                << byteOrderMark;
            EXPECT_EQ(*result.value, P::dictionary(expectedTable));
            EXPECT_EQ(result.format, ZRPropertyListReader::Format::OpenStep);
        }
    }
    EXPECT_EQ(errorOf(utf16(u"\"a\" = \"\xD800\";", false, true)),
              "Unpaired UTF-16 surrogate at byte offset 14");
    EXPECT_EQ(errorOf("\xFF\xFE\x22"), "UTF-16 text has an odd number of bytes");
}

TEST(ZRPropertyListOpenStepReader, ReadsStringsFilesInUTF8WithOptionalByteOrderMark) {
    const std::string text = "\"Greeting\" = \"Gr\xC3\xBC\xC3\x9F Gott \xF0\x9F\x91\x8B\";\n\"Plain\";";
    EXPECT_EQ(readValue(text), P::dictionary(expectedTable));
    EXPECT_EQ(readValue("\xEF\xBB\xBF" + text), P::dictionary(expectedTable));
    EXPECT_EQ(readValue(""), P::dictionary({}));
    EXPECT_EQ(readValue("  /* only a comment */ "), P::dictionary({}));
    EXPECT_EQ(errorOf("\"a\" = \"\xC3\";"), "Invalid UTF-8 at line 1");
    EXPECT_EQ(errorOf("\n\"a\" = \"\xED\xA0\x80\";"), "Invalid UTF-8 at line 2");
}

TEST(ZRPropertyListOpenStepReader, ReadsBracedDictionariesArraysDataAndUnquotedStrings) {
    const auto value = readValue("{\n  name = Lumora;\n  path = /usr/local/bin:$HOME;\n  version = 1.0-b+2;\n"
                                 "  list = (a, \"b c\", (), {}, <0aFF 10>, );\n  'single' = 'it\"s';\n}");
    EXPECT_EQ(value, P::dictionary({{"name", P::string("Lumora")},
                                    {"path", P::string("/usr/local/bin:$HOME")},
                                    {"version", P::string("1.0-b+2")},
                                    {"list", P::array({P::string("a"), P::string("b c"), P::array({}),
                                                       P::dictionary({}), P::data({0x0A, 0xFF, 0x10})})},
                                    {"single", P::string("it\"s")}}));
    EXPECT_EQ(errorOf("{ 'single' = 'it''s'; }"), "Expected ';' but found ''' at line 1");
    EXPECT_EQ(readValue("(1, 2)"), P::array({P::string("1"), P::string("2")}));
    EXPECT_EQ(readValue("\"just a string\""), P::string("just a string"));
    // Duplicate keys: the last value wins.
    EXPECT_EQ(readValue("a = 1; a = 2;"), P::dictionary({{"a", P::string("2")}}));
}

TEST(ZRPropertyListOpenStepReader, ReadsEscapes) {
    EXPECT_EQ(*readValue(R"("tab\tline\nquote\"backslash\\ bell\a q\? apostrophe\' cr\r")").stringValue(),
              "tab\tline\nquote\"backslash\\ bell\a q? apostrophe' cr\r");
    EXPECT_EQ(*readValue(R"("\U00e9\u20AC\U1")").stringValue(), "\xC3\xA9\xE2\x82\xAC\x01");
    EXPECT_EQ(*readValue(R"("\Ud83d\Ude00")").stringValue(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(*readValue(R"("\012\101\0\351")").stringValue(), std::string("\nA\0\xC3\xA9", 5));
    EXPECT_EQ(*readValue("\"line\\\nbreak\"").stringValue(), "line\nbreak");
}

TEST(ZRPropertyListOpenStepReader, RejectsMalformedTextNamingTheLine) {
    EXPECT_EQ(errorOf("\"a\" = \"b\";\n\"c\" = \"unterminated;\n"), "Unterminated string at line 2");
    EXPECT_EQ(errorOf("\"a\" = \"bad \\q escape\";"), "Invalid escape '\\q' at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"\\Ud800\";"), "Unpaired surrogate in '\\U' escape at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"\\Udc00\";"), "Unpaired surrogate in '\\U' escape at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"\\Ux\";"), "Invalid escape '\\U' without hexadecimal digits at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"\\777\";"), "Octal escape out of range at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"b\"\n\"c\" = \"d\";"), "Expected ';' but found '\"' at line 2");
    EXPECT_EQ(errorOf("\"a\" \"b\";"), "Expected '=' but found '\"' at line 1");
    EXPECT_EQ(errorOf("\"a\" = ;"), "Unexpected character ';' at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"b\"; /* open"), "Unterminated comment at line 1");
    EXPECT_EQ(errorOf("(a)\n/* open"), "Unterminated comment at line 2");
    EXPECT_EQ(errorOf("{ a = b;\n"), "Unterminated dictionary at line 2");
    EXPECT_EQ(errorOf("(a, b"), "Unterminated array at line 1");
    EXPECT_EQ(errorOf("(a b)"), "Expected ',' or ')' but found 'b' at line 1");
    EXPECT_EQ(errorOf("<0a1>"), "Odd number of hexadecimal digits in data at line 1");
    EXPECT_EQ(errorOf("<0ax1>"), "Unexpected character 'x' in data at line 1");
    EXPECT_EQ(errorOf("<0a"), "Unterminated data at line 1");
    EXPECT_EQ(errorOf("(a) b"), "Unexpected character 'b' at line 1");
    EXPECT_EQ(errorOf("{ (a) = b; }"), "Unexpected character '(' at line 1");
    EXPECT_EQ(errorOf("\"a\" = \"b\";\n}"), "Unexpected character '}' at line 2");
    EXPECT_EQ(errorOf("\x01"), "Unexpected character 0x01 at line 1");
}

TEST(ZRPropertyListOpenStepReader, EnforcesLimits) {
    ZRPropertyListReader::Limits limits;
    limits.maximumDepth = 2;
    EXPECT_TRUE(readOpenStep(bytes("((a))"), limits));
    EXPECT_EQ(errorOf("(((a)))", limits), "Nesting deeper than 2 levels at line 1");
    EXPECT_EQ(errorOf("a = ((a));", limits), "Nesting deeper than 2 levels at line 1");
    EXPECT_EQ(errorOf(std::string(100000, '(')), "Nesting deeper than 256 levels at line 1");
    limits = {};
    limits.maximumElementCount = 3;
    EXPECT_TRUE(readOpenStep(bytes("a = b; c = d;"), limits));
    EXPECT_EQ(errorOf("a = b; c = d; e = f;", limits), "More than 3 elements at line 1");
    limits.maximumInputSize = 4;
    EXPECT_EQ(errorOf("a = b;", limits), "Input larger than 4 bytes");
}

} // namespace
