#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolJSON.h"

#include <gtest/gtest.h>

namespace {

struct Escape {
    std::string_view name;
    std::string input;
    std::string shown;
};

class TerminalTextEscaping : public testing::TestWithParam<Escape> {};

TEST_P(TerminalTextEscaping, ShowsEveryCharacterAsItselfOrAsAnEscape) {
    EXPECT_EQ(TerminalText::escaped(GetParam().input), GetParam().shown);
    EXPECT_EQ((TerminalText() << GetParam().input).string(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalTextEscaping,
    testing::ValuesIn(std::vector<Escape>{
        {"Plain", "TextEditor.app", "TextEditor.app"},
        {"NonASCIILetters", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80",
         "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"NamedControls", "a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"ColourSequence", "\x1B[31mred\x1B[0m", "\\x1b[31mred\\x1b[0m"},
        {"HyperlinkSequence", "\x1B]8;;https://example.com/\x1B\\Link",
         "\\x1b]8;;https://example.com/\\x1b\\\\Link"},
        {"OtherC0AndDelete", std::string("\0\x01\x07\x08\x1F\x7F", 6), "\\x00\\x01\\x07\\x08\\x1f\\x7f"},
        {"C1Controls",
         "\xC2\x80\xC2\x85\xC2\x9B"
         "1m\xC2\x9F",
         "\\u{80}\\u{85}\\u{9b}1m\\u{9f}"},
        {"FirstCharactersAfterC1AreKept", "\xC2\xA0\xC2\xA9", "\xC2\xA0\xC2\xA9"},
        {"Backslash", "C:\\x1b", "C:\\\\x1b"},
        // An ill-formed byte that would otherwise pair with the next into a C1 control.
        {"IllFormedBytes", "Bad\xFF\x9B.app \xC2", "Bad\xEF\xBF\xBD\xEF\xBF\xBD.app \xEF\xBF\xBD"}}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(TerminalText, LayoutComesOnlyFromItsTokens) {
    TerminalText text;
    text << "name" << TerminalText::tab << "Two\nRows" << TerminalText::tab << 42 << TerminalText::newline;
    EXPECT_EQ(text.string(), "name\tTwo\\nRows\t42\n");
}

TEST(TerminalText, WritesJSONWithItsOwnEscapes) {
    const nlohmann::ordered_json value{{"name", "a\x1B\x7F\xC2\x9B\xFF\"\\"}, {"count", 2}};
    EXPECT_EQ(TerminalText().appendJSON(value).string(),
              "{\"name\":\"a\\u001b\\u007f\\u009b\xEF\xBF\xBD\\\"\\\\\",\"count\":2}");
}

TEST(ToolJSON, RepairsEveryStringAndKeyBeforePrinting) {
    ToolJSON::json value{{"name", "Bad\xFF"},
                         {"nested", {{"list", {"ok", "\x91quoted\x92"}}, {"k\xC0\xAF", "v"}}},
                         {"number", 1}};
    EXPECT_THROW((void)value.dump(), nlohmann::json::type_error);
    EXPECT_EQ(
        ToolJSON::dump(value, -1),
        "{\"name\":\"Bad\xEF\xBF\xBD\",\"nested\":{\"list\":[\"ok\",\"\xEF\xBF\xBDquoted\xEF\xBF\xBD\"],"
        "\"k\xEF\xBF\xBD\xEF\xBF\xBD\":\"v\"},\"number\":1}");
    const ToolJSON::json valid{{"name", "Gr\xC3\xBC\xC3\x9F"}, {"list", {1, 2}}};
    EXPECT_EQ(ToolJSON::dump(valid), valid.dump(2));
}

TEST(ToolJSON, AddsTheExactBytesOfAPathOnlyWhenItIsNotUTF8) {
    ToolJSON::json valid{{"kind", "added"}};
    ToolJSON::appendPath(valid, "/Apps/100% Gr\xC3\xBCn.app");
    EXPECT_EQ(ToolJSON::dump(valid, -1), "{\"kind\":\"added\",\"path\":\"/Apps/100% Gr\xC3\xBCn.app\"}");

    ToolJSON::json invalid{{"kind", "added"}};
    ToolJSON::appendPath(invalid, "/Apps/100% Bad\xFF.app");
    invalid["status"] = 0;
    EXPECT_EQ(ToolJSON::dump(invalid, -1),
              "{\"kind\":\"added\",\"path\":\"/Apps/100% Bad\xEF\xBF\xBD.app\","
              "\"pathPercentEncoded\":\"/Apps/100%25 Bad%FF.app\",\"status\":0}");
}

} // namespace
