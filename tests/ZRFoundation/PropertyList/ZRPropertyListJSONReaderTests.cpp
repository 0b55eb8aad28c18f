#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <limits>

#include <gtest/gtest.h>

namespace {

using PropertyListTestSupport::bytes;
using ZRPropertyListReader::readJSON;
using P = ZRPropertyList;

ZRPropertyList readValue(std::string_view text) {
    const auto result = readJSON(bytes(text));
    EXPECT_TRUE(result) << result.errorDescription;
    return result.value.value_or(ZRPropertyList::string("failed"));
}

std::string errorOf(std::string_view text, const ZRPropertyListReader::Limits& limits = {}) {
    const auto result = readJSON(bytes(text), limits);
    EXPECT_FALSE(result);
    return result.errorDescription;
}

TEST(ZRPropertyListJSONReader, BooleansStayBooleansAndNumbersKeepTheirKind) {
    const auto value = readValue(R"({"yes": true, "no": false, "one": 1, "zero": 0, "real": 1.0,
        "exponent": 1e2, "negative": -5, "big": 18446744073709551615, "nothing": null})");
    // Values compare with their kind: 1 is no true, 1.0 no 1.
    EXPECT_EQ(value, P::dictionary({{"yes", P::boolean(true)},
                                    {"no", P::boolean(false)},
                                    {"one", P::integer(1)},
                                    {"zero", P::integer(0)},
                                    {"real", P::real(1.0)},
                                    {"exponent", P::real(100.0)},
                                    {"negative", P::integer(-5)},
                                    {"big", P::real(18446744073709551615.0)},
                                    {"nothing", P::null()}}));
    EXPECT_EQ(readValue("9223372036854775807"), P::integer(std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(readValue("-9223372036854775808"), P::integer(std::numeric_limits<std::int64_t>::min()));
}

TEST(ZRPropertyListJSONReader, KeepsKeyOrderAndTakesTheLastDuplicate) {
    const auto value = readValue(R"({"z": 1, "a": [1, "two", {"x": []}], "m": 2, "z": 3})");
    EXPECT_EQ(value.dictionaryValue()->entries(),
              (std::vector<ZRPropertyListDictionary::Entry>{
                  {"z", P::integer(3)},
                  {"a", P::array({P::integer(1), P::string("two"), P::dictionary({{"x", P::array({})}})})},
                  {"m", P::integer(2)}}));
    EXPECT_EQ(readValue(R"("caf\u00e9 \ud83d\ude00")"), P::string("caf\xC3\xA9 \xF0\x9F\x98\x80"));
}

TEST(ZRPropertyListJSONReader, RejectsMalformedInputNamingThePosition) {
    EXPECT_EQ(errorOf("{\"a\": tru}"),
              "Parse error at line 1, column 10: syntax error while parsing value - invalid "
              "literal; last read: '\"a\": tru}'");
    EXPECT_EQ(
        errorOf("{\"a\": 1,\n\"b\" 2}"),
        "Parse error at line 2, column 5: syntax error while parsing object separator - unexpected number "
        "literal; expected ':'");
    EXPECT_EQ(errorOf("\"unterminated"),
              "Parse error at line 1, column 14: syntax error while parsing value - "
              "invalid string: missing closing quote; last read: '\"unterminated'");
    EXPECT_NE(errorOf("\"\\ud800\"").find("surrogate"), std::string::npos);
    EXPECT_NE(errorOf("\"\xC3\""), "");
    EXPECT_NE(errorOf("[1] [2]").find("line 1, column 5"), std::string::npos);
    EXPECT_NE(errorOf("").find("Parse error"), std::string::npos);
}

TEST(ZRPropertyListJSONReader, EnforcesLimitsWithoutRecursing) {
    ZRPropertyListReader::Limits limits;
    limits.maximumDepth = 2;
    EXPECT_TRUE(readJSON(bytes("[[1]]"), limits));
    EXPECT_EQ(errorOf("[[[1]]]", limits), "Nesting deeper than 2 levels");
    EXPECT_EQ(errorOf(std::string(1000000, '[')), "Nesting deeper than 256 levels");
    limits = {};
    limits.maximumElementCount = 3;
    EXPECT_TRUE(readJSON(bytes("[1, 2]"), limits));
    EXPECT_EQ(errorOf("[1, 2, 3]", limits), "More than 3 elements");
    limits.maximumInputSize = 2;
    EXPECT_EQ(errorOf("[1]", limits), "Input larger than 2 bytes");
}

} // namespace
