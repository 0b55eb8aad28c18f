#include "ZRFoundation/CodeSigning/ZREntitlements.h"
#include "tools/FixtureSigner/FixtureEntitlements.h"

#include <gtest/gtest.h>

namespace {

using namespace FixtureEntitlements;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t derMagic = 0xfade7172;

ZRPropertyListDictionary grants(bool sandbox, bool client, bool server) {
    return {{"com.apple.security.app-sandbox", ZRPropertyList::boolean(sandbox)},
            {"com.apple.security.network.client", ZRPropertyList::boolean(client)},
            {"com.apple.security.network.server", ZRPropertyList::boolean(server)}};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const auto& part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

/// A DER blob of version 1 around the given dictionary contents (entries already encoded).
Bytes derWith(const Bytes& dictionaryContents, std::uint8_t version = 1) {
    return blob(derMagic, derElement(0x70, concat({derElement(0x02, {version}),
                                                   derElement(0xb0, dictionaryContents)})));
}

Bytes entry(const Bytes& key, const Bytes& value) {
    return derElement(0x30, concat({key, value}));
}
Bytes key(const std::string& text) {
    return derElement(0x0c, {text.begin(), text.end()});
}

TEST(ZREntitlements, NestedValuesReadBackInBothForms) {
    ZRPropertyList::Array groups{ZRPropertyList::string("FIXTURE123.group"), ZRPropertyList::integer(-300)};
    ZRPropertyListDictionary inner{{"depth", ZRPropertyList::integer(1LL << 40)}};
    ZRPropertyListDictionary entitlements = grants(true, false, true);
    entitlements.set("com.example.groups", ZRPropertyList::array(groups));
    entitlements.set("com.example.inner", ZRPropertyList::dictionary(inner));
    EXPECT_EQ(*ZREntitlements::readXMLBlob(xmlBlob(entitlements)), entitlements);
    EXPECT_EQ(*ZREntitlements::readDERBlob(derBlob(entitlements)), entitlements);
}

struct GrantCase {
    const char* name;
    std::optional<Bytes> xml;
    std::optional<Bytes> der;
    std::uint32_t flags;
    ZREntitlements expected;
};

class ZREntitlementsGrants : public testing::TestWithParam<GrantCase> {};

TEST_P(ZREntitlementsGrants, ReadsTheShownGrants) {
    const auto& test = GetParam();
    auto made = ZREntitlements::make(
        test.xml ? std::optional<std::span<const std::uint8_t>>(*test.xml) : std::nullopt,
        test.der ? std::optional<std::span<const std::uint8_t>>(*test.der) : std::nullopt, test.flags);
    EXPECT_EQ(made.error.has_value(), test.expected.error.has_value()) << made.error.value_or("");
    made.error = test.expected.error;
    EXPECT_EQ(made, test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZREntitlementsGrants,
    testing::Values(
        GrantCase{"None", std::nullopt, std::nullopt, 0, {}},
        GrantCase{
            "HardenedRuntimeOnly", std::nullopt, std::nullopt, 0x10002, {false, false, false, true, {}}},
        GrantCase{"XML", xmlBlob(grants(true, true, false)), std::nullopt, 0, {true, true, false, false, {}}},
        GrantCase{"DERAlone",
                  std::nullopt,
                  derBlob(grants(true, false, true)),
                  0x10000,
                  {true, false, true, true, {}}},
        // Both forms seal the same grants; should they differ, the property list is the one read.
        GrantCase{
            "XMLBeforeDER", xmlBlob(grants(false, false, false)), derBlob(grants(true, true, true)), 0, {}},
        GrantCase{"OnlyTrueBooleansGrant",
                  std::nullopt,
                  derWith(concat({entry(key("com.apple.security.app-sandbox"), key("true")),
                                  entry(key("com.apple.security.network.client"), derElement(0x02, {1}))})),
                  0,
                  {}},
        GrantCase{"MalformedBlobGrantsNothing",
                  std::nullopt,
                  derWith({}, 2),
                  0x10000,
                  {false, false, false, true, "error"}}),
    [](const testing::TestParamInfo<GrantCase>& param) { return std::string(param.param.name); });

struct MalformedCase {
    const char* name;
    Bytes blob;
    bool der;
};

class ZREntitlementsMalformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(ZREntitlementsMalformed, IsReportedNotRead) {
    const auto& test = GetParam();
    const auto read =
        test.der ? ZREntitlements::readDERBlob(test.blob) : ZREntitlements::readXMLBlob(test.blob);
    ASSERT_FALSE(read);
    EXPECT_FALSE(read.error().description.empty());
}

Bytes sandboxEntry() {
    return entry(key("com.apple.security.app-sandbox"), derElement(0x01, {0xff}));
}

Bytes nestedArrays(int depth) {
    Bytes value = derElement(0x01, {0xff});
    for (int level = 0; level < depth; ++level) {
        value = derElement(0x30, value);
    }
    return entry(key("deep"), value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZREntitlementsMalformed,
    testing::Values(
        MalformedCase{"XMLShortHeader", {0xfa, 0xde, 0x71}, false},
        MalformedCase{"XMLWrongMagic", blob(derMagic, {'<', '/', '>'}), false},
        MalformedCase{"XMLLengthBeyondInput", Bytes{0xfa, 0xde, 0x71, 0x71, 0, 0, 1, 0}, false},
        MalformedCase{"XMLNotAPropertyList", blob(0xfade7171, {'<', 'x'}), false},
        MalformedCase{"XMLNotADictionary", blob(0xfade7171, Bytes{'<', 't', 'r', 'u', 'e', '/', '>'}), false},
        MalformedCase{"DERLengthBelowHeader", Bytes{0xfa, 0xde, 0x71, 0x72, 0, 0, 0, 4}, true},
        MalformedCase{"DEREmpty", blob(derMagic, {}), true},
        MalformedCase{"DERNotApplication16", blob(derMagic, derElement(0x30, derElement(0x02, {1}))), true},
        MalformedCase{"DERVersion2", derWith(sandboxEntry(), 2), true},
        MalformedCase{"DERTrailingBytes",
                      blob(derMagic, concat({derElement(0x70, concat({derElement(0x02, {1}),
                                                                      derElement(0xb0, sandboxEntry())})),
                                             Bytes{0}})),
                      true},
        MalformedCase{"DERTruncated",
                      [] {
                          auto bytes = derWith(sandboxEntry());
                          bytes.resize(bytes.size() - 2);
                          bytes[7] = static_cast<std::uint8_t>(bytes.size());
                          return bytes;
                      }(),
                      true},
        MalformedCase{"DERElementLongerThanItsParent",
                      derWith(concat({Bytes{0x30, 0x7f}, key("a"), derElement(0x01, {0xff})})), true},
        MalformedCase{"DERIndefiniteLength", derWith(Bytes{0x30, 0x80, 0x0c, 0x01, 'a', 0x01, 0x01, 0xff, 0, 0}),
                      true},
        MalformedCase{"DEREntryNotASequence", derWith(concat({key("a"), derElement(0x01, {0xff})})), true},
        MalformedCase{"DERKeyNotUTF8", derWith(entry(derElement(0x13, {'a'}), derElement(0x01, {0xff}))), true},
        MalformedCase{"DEREntryWithoutValue", derWith(derElement(0x30, key("a"))), true},
        MalformedCase{"DEREntryWithTwoValues",
                      derWith(derElement(0x30, concat({key("a"), derElement(0x01, {0}), derElement(0x01, {0})}))),
                      true},
        MalformedCase{"DERBooleanOfTwoBytes", derWith(entry(key("a"), derElement(0x01, {0xff, 0xff}))), true},
        MalformedCase{"DERIntegerBeyond64Bits", derWith(entry(key("a"), derElement(0x02, Bytes(9, 0x7f)))), true},
        MalformedCase{"DERUnknownValueType", derWith(entry(key("a"), derElement(0x04, {1}))), true},
        MalformedCase{"DERTooDeep", derWith(nestedArrays(40)), true}),
    [](const testing::TestParamInfo<MalformedCase>& param) { return std::string(param.param.name); });

} // namespace
