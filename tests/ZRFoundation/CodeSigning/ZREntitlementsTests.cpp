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

TEST(ZREntitlements, ReadsTheShownGrants) {
    using Blob = std::optional<Bytes>;
    const struct {
        Blob xml;
        Blob der;
        std::uint32_t flags;
        ZREntitlements expected;
    } cases[] = {
        {{}, {}, 0, {}},
        // The hardened runtime alone.
        {{}, {}, 0x10002, {false, false, false, true, {}}},
        {xmlBlob(grants(true, true, false)), {}, 0, {true, true, false, false, {}}},
        {{}, derBlob(grants(true, false, true)), 0x10000, {true, false, true, true, {}}},
        // Both forms seal the same grants; should they differ, the property list is the one read.
        {xmlBlob(grants(false, false, false)), derBlob(grants(true, true, true)), 0, {}},
        // Only true Booleans grant.
        {{},
         derWith(concat({entry(key("com.apple.security.app-sandbox"), key("true")),
                         entry(key("com.apple.security.network.client"), derElement(0x02, {1}))})),
         0,
         {}},
        // A malformed blob grants nothing.
        {{}, derWith({}, 2), 0x10000, {false, false, false, true, "error"}},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& test = cases[index];
        const auto span = [](const Blob& blob) {
            return blob ? std::optional<std::span<const std::uint8_t>>(*blob) : std::nullopt;
        };
        auto made = ZREntitlements::make(span(test.xml), span(test.der), test.flags);
        EXPECT_EQ(made.error.has_value(), test.expected.error.has_value())
            << index << made.error.value_or("");
        made.error = test.expected.error;
        EXPECT_EQ(made, test.expected) << index;
    }
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

TEST(ZREntitlements, ReportsMalformedBlobsInsteadOfReadingThem) {
    auto truncated = derWith(sandboxEntry());
    truncated.resize(truncated.size() - 2);
    truncated[7] = static_cast<std::uint8_t>(truncated.size());
    const auto boolean = derElement(0x01, {0xff});
    const Bytes xml[] = {
        {0xfa, 0xde, 0x71},
        blob(derMagic, {'<', '/', '>'}),
        // The length runs beyond the input.
        Bytes{0xfa, 0xde, 0x71, 0x71, 0, 0, 1, 0},
        blob(0xfade7171, {'<', 'x'}),
        blob(0xfade7171, Bytes{'<', 't', 'r', 'u', 'e', '/', '>'}),
    };
    const Bytes der[] = {
        // A length below the header's, no content, and no application 16 element.
        Bytes{0xfa, 0xde, 0x71, 0x72, 0, 0, 0, 4},
        blob(derMagic, {}),
        blob(derMagic, derElement(0x30, derElement(0x02, {1}))),
        derWith(sandboxEntry(), 2),
        blob(derMagic,
             concat({derElement(0x70, concat({derElement(0x02, {1}), derElement(0xb0, sandboxEntry())})),
                     Bytes{0}})),
        truncated,
        // An element longer than its parent, and an indefinite length.
        derWith(concat({Bytes{0x30, 0x7f}, key("a"), boolean})),
        derWith(Bytes{0x30, 0x80, 0x0c, 0x01, 'a', 0x01, 0x01, 0xff, 0, 0}),
        // Entries that are no sequence, have a key that is not UTF-8, no value or two.
        derWith(concat({key("a"), boolean})),
        derWith(entry(derElement(0x13, {'a'}), boolean)),
        derWith(derElement(0x30, key("a"))),
        derWith(derElement(0x30, concat({key("a"), derElement(0x01, {0}), derElement(0x01, {0})}))),
        // A Boolean of two bytes, an integer beyond 64 bits, an unknown type, and too deep a nesting.
        derWith(entry(key("a"), derElement(0x01, {0xff, 0xff}))),
        derWith(entry(key("a"), derElement(0x02, Bytes(9, 0x7f)))),
        derWith(entry(key("a"), derElement(0x04, {1}))),
        derWith(nestedArrays(40)),
    };
    for (std::size_t index = 0; index < std::size(xml) + std::size(der); ++index) {
        const auto read = index < std::size(xml) ? ZREntitlements::readXMLBlob(xml[index])
                                                 : ZREntitlements::readDERBlob(der[index - std::size(xml)]);
        EXPECT_FALSE(read.hasValue() || read.error().description.empty()) << "case " << index;
    }
}

} // namespace
