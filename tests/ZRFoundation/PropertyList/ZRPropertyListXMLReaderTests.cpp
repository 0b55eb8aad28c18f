#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

using PropertyListTestSupport::bytes;
using ZRPropertyListReader::readXML;
using P = ZRPropertyList;

constexpr std::string_view header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";

std::string plist(std::string_view body) {
    return std::string(header) + "<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}

ZRPropertyList readValue(std::string_view body) {
    const auto result = readXML(bytes(plist(body)));
    EXPECT_TRUE(result) << result.errorDescription;
    return result.value.value_or(ZRPropertyList());
}

std::string errorOf(std::string_view document, const ZRPropertyListReader::Limits& limits = {}) {
    const auto result = readXML(bytes(document), limits);
    EXPECT_FALSE(result);
    return result.errorDescription;
}

std::vector<std::string> keysOf(const ZRPropertyList& value) {
    std::vector<std::string> keys;
    for (const auto& [key, element] : *value.dictionaryValue()) {
        keys.push_back(key);
    }
    return keys;
}

TEST(ZRPropertyListXMLReader, ReadsEveryElementTypeAndKeepsKeyOrder) {
    const auto value = readValue(R"(<dict>
        <key>z</key><string> spaced &amp; &lt;escaped&gt; h&#233;llo </string>
        <key>a</key><integer>42</integer>
        <key>m</key><real>-2.5e3</real>
        <key>t</key><true/>
        <key>f</key><false/>
        <key>d</key><date>2001-01-02T00:00:01Z</date>
        <key>data</key><data>
            AAEC
            AwQ=
        </data>
        <key>list</key><array><string/><array/><dict/></array>
    </dict>)");
    EXPECT_EQ(value, P::dictionary({{"z", P::string(" spaced & <escaped> h\xC3\xA9llo ")},
                                    {"a", P::integer(42)},
                                    {"m", P::real(-2500.0)},
                                    {"t", P::boolean(true)},
                                    {"f", P::boolean(false)},
                                    {"d", P::date({86401.0})},
                                    {"data", P::data({0, 1, 2, 3, 4})},
                                    {"list", P::array({P::string(""), P::array({}), P::dictionary({})})}}));
    EXPECT_EQ(keysOf(value), (std::vector<std::string>{"z", "a", "m", "t", "f", "d", "data", "list"}));
    // A duplicate key keeps the last value at the first position.
    const auto duplicate = readValue("<dict><key>a</key><integer>1</integer><key>b</key><integer>2</integer>"
                                     "<key>a</key><integer>3</integer></dict>");
    EXPECT_EQ(duplicate, P::dictionary({{"a", P::integer(3)}, {"b", P::integer(2)}}));
    EXPECT_EQ(keysOf(duplicate), (std::vector<std::string>{"a", "b"}));
}

TEST(ZRPropertyListXMLReader, AcceptsABareRootElementWithoutPlist) {
    const auto result = readXML(bytes("<array><integer>1</integer></array>"));
    ASSERT_TRUE(result) << result.errorDescription;
    EXPECT_EQ(*result.value, P::array({P::integer(1)}));
    EXPECT_EQ(result.format, ZRPropertyListReader::Format::XML);
}

TEST(ZRPropertyListXMLReader, ReadsScalarsInEverySpellingWithinTheirRanges) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const std::pair<std::string_view, ZRPropertyList> cases[] = {
        {"<integer> -17 </integer>", P::integer(-17)},
        {"<integer>0x1F</integer>", P::integer(31)},
        {"<integer>-0x10</integer>", P::integer(-16)},
        {"<integer>9223372036854775807</integer>", P::integer(INT64_MAX)},
        {"<integer>-9223372036854775808</integer>", P::integer(INT64_MIN)},
        {"<real>+infinity</real>", P::real(infinity)},
        {"<real>-INF</real>", P::real(-infinity)},
        {"<real>+0.25</real>", P::real(0.25)},
        {"<real>7</real>", P::real(7)},
        {"<date>2001-01-01T00:00:00Z</date>", P::date({0})},
        {"<date>2000-12-31T23:59:59Z</date>", P::date({-1})},
        // 8459 days after the reference date.
        {"<date>2024-02-29T13:45:00Z</date>", P::date({8459.0 * 86400 + 13 * 3600 + 45 * 60})},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(readValue(body), expected) << body;
    }
    EXPECT_TRUE(std::isnan(*readValue("<real>nan</real>").realValue()));
}

TEST(ZRPropertyListXMLReader, RejectsMalformedValuesAndStructureNamingTheLine) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"<integer>9223372036854775808</integer>", "Invalid integer '9223372036854775808' at line 4"},
        {"<integer>0x8000000000000000</integer>", "Invalid integer '0x8000000000000000' at line 4"},
        {"<integer>12abc</integer>", "Invalid integer '12abc' at line 4"},
        {"<integer/>", "Invalid integer '' at line 4"},
        {"<real>1.5x</real>", "Invalid real '1.5x' at line 4"},
        {"<real>+-1</real>", "Invalid real '+-1' at line 4"},
        {"<date>2023-02-29T00:00:00Z</date>", "Invalid date '2023-02-29T00:00:00Z' at line 4"},
        {"<date>2023-01-01 00:00:00</date>", "Invalid date '2023-01-01 00:00:00' at line 4"},
        {"<dict>\n<key>a</key>\n</dict>", "Missing value for key 'a' at line 6"},
        {"<dict><string>a</string></dict>", "Expected <key> but found <string> at line 4"},
        {"<dict><key>a</key><key>b</key></dict>", "Missing value for key 'a' at line 4"},
        {"<array><key>a</key></array>", "Unexpected element <key> inside <array> at line 4"},
        {"<array>text</array>", "Unexpected text in <array> at line 4"},
        {"<string><integer>1</integer></string>", "Unexpected element <integer> inside <string> at line 4"},
        {"<true>yes</true>", "Unexpected text in <true> at line 4"},
        {"<set/>", "Unknown element <set> at line 4"},
        {"<string>a</string><string>b</string>", "More than one value in <plist> at line 4"},
        {"", "Empty <plist> at line 5"},
        {"<data>AA=A</data>", "Invalid base64 data at line 4"},
        {"<array>\n<string>a</array>", "Mismatched tag at line 5"},
    };
    for (const auto& [body, error] : cases) {
        EXPECT_EQ(errorOf(plist(body)), error) << body;
    }
    EXPECT_EQ(errorOf(std::string(header) + "<plist version=\"1.0\"><string>a</string>"),
              "No element found at line 3");
    EXPECT_EQ(errorOf(""), "No element found at line 1");
    EXPECT_EQ(errorOf("<key>a</key>"), "Unexpected element <key> at line 1");
    EXPECT_EQ(errorOf("<plist><key>a</key></plist>"), "Unexpected element <key> inside <plist> at line 1");
}

TEST(ZRPropertyListXMLReader, RefusesEntityDeclarationsAndNeverLoadsExternalOnes) {
    EXPECT_EQ(
        errorOf("<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY a \"x\">\n]>\n<string>&a;</string>"),
        "Document type declarations with an internal subset are not allowed at line 2");
    EXPECT_EQ(errorOf("<!DOCTYPE plist [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><string>&e;</string>"),
              "Document type declarations with an internal subset are not allowed at line 1");
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    // Each entity expands to ten of the one before: 10^9 copies of "lol" in the end.
    for (int i = 1; i < 10; ++i) {
        std::string expansion;
        for (int copy = 0; copy < 10; ++copy) {
            expansion += "&lol" + (i == 1 ? std::string() : std::to_string(i - 1)) + ";";
        }
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + expansion + "\">\n";
    }
    laughs += "]>\n<string>&lol9;</string>";
    EXPECT_EQ(errorOf(laughs),
              "Document type declarations with an internal subset are not allowed at line 2");
    // With only an external subset (never loaded), an undeclared entity is not silently dropped.
    EXPECT_EQ(errorOf(plist("<string>a&undeclared;b</string>")),
              "Reference to undeclared entity 'undeclared' at line 4");
    // Without any document type, expat itself refuses it.
    EXPECT_EQ(errorOf("<string>&undeclared;</string>"), "Undefined entity at line 1");
}

TEST(ZRPropertyListXMLReader, EnforcesDepthElementAndSizeLimits) {
    ZRPropertyListReader::Limits limits;
    limits.maximumDepth = 3;
    EXPECT_TRUE(readXML(bytes("<array><array><array><string/></array></array></array>"), limits));
    EXPECT_EQ(errorOf("<array><array><array>\n<array/></array></array></array>", limits),
              "Nesting deeper than 3 levels at line 2");
    std::string nested;
    for (int i = 0; i < 100000; ++i) {
        nested += "<array>";
    }
    EXPECT_EQ(errorOf(nested), "Nesting deeper than 256 levels at line 1");

    limits = {};
    limits.maximumElementCount = 3;
    EXPECT_TRUE(readXML(bytes("<array><true/><true/></array>"), limits));
    EXPECT_EQ(errorOf("<array><true/><true/><true/></array>", limits), "More than 3 elements at line 1");

    limits = {};
    limits.maximumInputSize = 10;
    EXPECT_EQ(errorOf("<string>12345</string>", limits), "Input larger than 10 bytes");
}

TEST(ZRPropertyListXMLReader, ReadsUTF16DocumentsThroughTheDeclaredEncoding) {
    const std::u16string text =
        u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><string>\u00e9\U0001F600</string>";
    std::string little;
    for (const char16_t unit : text) {
        little += static_cast<char>(unit & 0xFF);
        little += static_cast<char>(unit >> 8);
    }
    const auto result = readXML(bytes(little));
    ASSERT_TRUE(result) << result.errorDescription;
    EXPECT_EQ(*result.value->stringValue(), "\xC3\xA9\xF0\x9F\x98\x80");
}

} // namespace
