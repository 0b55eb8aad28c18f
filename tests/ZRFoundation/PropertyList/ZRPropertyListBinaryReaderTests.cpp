#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <limits>

#include <gtest/gtest.h>

namespace {

using namespace PropertyListTestSupport;
using ZRPropertyListReader::readBinary;
using ZRPropertyListReader::readXML;

std::string plist(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) +
           "\n</plist>\n";
}

// Reads `xml` with our XML reader, converts it with plistutil, reads the binary form with our
// binary reader, and expects the same value.
void expectSameValueAsBinary(std::string_view body) {
    const std::string xml = plist(body);
    const auto binary = binaryFromXMLWithPlistutil(xml);
    ASSERT_TRUE(binary) << "plistutil failed on " << xml;
    const auto fromXML = readXML(bytes(xml));
    ASSERT_TRUE(fromXML) << fromXML.errorDescription;
    const auto fromBinary = readBinary(*binary);
    ASSERT_TRUE(fromBinary) << fromBinary.errorDescription;
    EXPECT_EQ(*fromBinary.value, *fromXML.value) << fromBinary.value->description() << "\n"
                                                 << fromXML.value->description();
    EXPECT_EQ(fromBinary.format, ZRPropertyListReader::Format::Binary);
}

TEST(ZRPropertyListBinaryReader, ReadsWhatPlistutilWritesAsTheXMLReaderReadsIt) {
    if (!hasPlistutil()) {
        GTEST_SKIP() << "plistutil (Debian package libplist-utils) is not installed";
    }
    // Scalars of every width; strings, data and long counts; nested collections and many objects.
    std::string many = "<dict><key>nested</key><dict><key>a</key><array><array><dict/></array></array></dict>"
                       "<key>many</key><array>";
    for (int i = 0; i < 300; ++i) {
        many += "<dict><key>name</key><string>item " + std::to_string(i) +
                "</string><key>index</key><integer>" + std::to_string(i) + "</integer></dict>";
    }
    for (const std::string& body :
         {std::string("<array><integer>0</integer><integer>255</integer><integer>256</integer>"
                      "<integer>65535</integer><integer>65536</integer><integer>4294967295</integer>"
                      "<integer>4294967296</integer><integer>9223372036854775807</integer>"
                      "<integer>-1</integer><integer>-9223372036854775808</integer>"
                      "<real>1.5</real><real>0.1</real><real>-1e300</real>"
                      "<true/><false/><date>2024-02-29T13:45:00Z</date><date>1900-01-01T00:00:00Z</date>"
                      "</array>"),
          "<dict><key>ascii</key><string>plain</string>"
          "<key>unicode</key><string>h\xC3\xA9llo \xF0\x9F\x98\x80 \xE4\xB8\xAD</string>"
          "<key>empty</key><string></string><key>long</key><string>" +
              std::string(300, 'x') +
              "</string><key>data</key><data>AAECAwQFBgcICQoLDA0ODxA=</data><key>longData</key><data>" +
              std::string(400, 'A') + "</data></dict>",
          many + "</array></dict>"}) {
        SCOPED_TRACE(body.substr(0, 40));
        expectSameValueAsBinary(body);
    }
}

// Hand-built files for the failure cases.

std::vector<std::uint8_t> singleObject(std::vector<std::uint8_t> object) {
    return binaryPropertyList({.objects = {std::move(object)}});
}

std::string errorOf(const std::vector<std::uint8_t>& file, const ZRPropertyListReader::Limits& limits = {}) {
    const auto result = readBinary(file, limits);
    EXPECT_FALSE(result);
    return result.errorDescription;
}

TEST(ZRPropertyListBinaryReader, ReadsHandBuiltObjects) {
    EXPECT_EQ(*readBinary(singleObject({0x09})).value, ZRPropertyList::boolean(true));
    EXPECT_EQ(*readBinary(singleObject({0x00})).value, ZRPropertyList::null());
    // 16-byte integers are accepted when their value fits 64 bits.
    std::vector<std::uint8_t> minusTwo(17, 0xFF);
    minusTwo[0] = 0x14;
    minusTwo[16] = 0xFE;
    EXPECT_EQ(*readBinary(singleObject(minusTwo)).value, ZRPropertyList::integer(-2));
    // A UID becomes the {"CF$UID" = n} dictionary of XML property lists.
    EXPECT_EQ(*readBinary(singleObject({0x80, 0x07})).value,
              ZRPropertyList::dictionary({{"CF$UID", ZRPropertyList::integer(7)}}));
    // A string whose count follows as an integer object.
    std::vector<std::uint8_t> longString{0x5F, 0x10, 20};
    longString.insert(longString.end(), 20, 'q');
    EXPECT_EQ(*readBinary(singleObject(longString)).value, ZRPropertyList::string(std::string(20, 'q')));
    // Two-byte offsets and references; the same object referenced twice.
    const auto shared = binaryPropertyList(
        {.objects = {{0xA2, 0x00, 0x01, 0x00, 0x01}, {0x51, 'z'}}, .offsetWidth = 2, .referenceWidth = 2});
    EXPECT_EQ(*readBinary(shared).value,
              ZRPropertyList::array({ZRPropertyList::string("z"), ZRPropertyList::string("z")}));
}

TEST(ZRPropertyListBinaryReader, RejectsTruncatedAndInconsistentFiles) {
    const auto valid = binaryPropertyList({.objects = {{0xA1, 0x01}, {0x51, 'a'}}});
    ASSERT_TRUE(readBinary(valid));
    for (std::size_t length = 0; length < valid.size(); ++length) {
        EXPECT_FALSE(readBinary(std::span(valid).first(length))) << "truncated to " << length;
    }
    // A file of one Boolean, laid out as `layout` says.
    const auto oneObject = [](BinaryPropertyListLayout layout) {
        layout.objects = {{0x09}};
        return binaryPropertyList(layout);
    };
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{valid.begin(), valid.begin() + 20}, "too short for its trailer"},
        {oneObject({.offsetOverrides = {200}}), "object 0 offset out of range"},
        {oneObject({.objectCountOverride = 1000}), "offset table out of range"},
        {oneObject({.objectCountOverride = ~0ULL}), "offset table out of range"},
        {oneObject({.offsetTableOffsetOverride = ~0ULL - 8}), "offset table out of range"},
        {oneObject({.topObject = 1}), "trailer has invalid object count or top object"},
        {oneObject({.offsetWidth = 9}), "trailer has invalid offset or reference width"},
        {binaryPropertyList({.objects = {{0xA1, 0x05}, {0x09}}}), "reference 5 out of range"},
        {binaryPropertyList({.objects = {{0xA1, 0x01}, {0xD1, 0x02, 0x00}, {0x51, 'k'}}}),
         "object 0 contains itself"},
        {binaryPropertyList({.objects = {{0xD1, 0x01, 0x01}, {0x10, 0x01}}}),
         "object 0 has a key that is not a string"},
    };
    for (const auto& [file, problem] : cases) {
        EXPECT_EQ(errorOf(file), "Binary property list " + problem);
    }
    EXPECT_EQ(errorOf(std::vector<std::uint8_t>{'b', 'p', 'l', 'i', 's', 't', '1', '5'}),
              "Not a binary property list (missing \"bplist00\")");
}

// Objects that cannot be read, each alone in a file.
TEST(ZRPropertyListBinaryReader, RejectsObjectsItCannotRead) {
    std::vector<std::uint8_t> beyond64Bits(17, 0);
    beyond64Bits[0] = 0x14;
    beyond64Bits[8] = 0x01;
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{0xA1, 0x00}, "contains itself"},
        // Counts and lengths beyond the file.
        {{0x5F, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "length 9223372036854775807 runs past the object area"},
        {{0x6F, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "length 18446744073709551615 runs past the object area"},
        {{0xAF, 0x12, 0x10, 0x00, 0x00, 0x00}, "count 268435456 runs past the object area"},
        {{0xDF, 0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "count 18446744073709551615 runs past the object area"},
        {{0x4F, 0x09}, "has an invalid count"},
        {{0x13, 0x01}, "integer runs past the object area"},
        // Values it cannot represent; unpaired surrogates are refused rather than replaced.
        {beyond64Bits, "integer out of the 64-bit range"},
        {{0x61, 0xD8, 0x3D}, "has an unpaired UTF-16 surrogate"},
        {{0x61, 0xDE, 0x00}, "has an unpaired UTF-16 surrogate"},
        {{0x51, 0xE9}, "has a non-ASCII byte in an ASCII string"},
        {{0x33, 0x7F, 0xF0, 0, 0, 0, 0, 0, 0}, "date out of range"},
        {{0x0F}, "is a fill byte, not a value"},
        {{0x70}, "has unsupported marker 0x70"},
    };
    for (const auto& [object, problem] : cases) {
        EXPECT_EQ(errorOf(singleObject(object)), "Binary property list object 0 " + problem);
    }
}

TEST(ZRPropertyListBinaryReader, CountsEveryExpansionOfSharedObjects) {
    // Object 0 is an array of 16 references to object 1, object 1 an array of 16 references to
    // object 2, ...: a hundred bytes that expand to 16^4 Booleans.
    BinaryPropertyListLayout layout;
    for (std::uint8_t level = 0; level < 4; ++level) {
        std::vector<std::uint8_t> array{0xAF, 0x10, 16};
        array.insert(array.end(), 16, static_cast<std::uint8_t>(level + 1));
        layout.objects.push_back(array);
    }
    layout.objects.push_back({0x09});
    ZRPropertyListReader::Limits limits;
    limits.maximumElementCount = 10000;
    EXPECT_EQ(errorOf(binaryPropertyList(layout), limits), "More than 10000 elements");

    // An array of 16 references to one 100-byte string expands to 1,600 bytes.
    limits = {};
    limits.maximumDecodedSize = 1000;
    layout.objects.resize(2);
    layout.objects[1] = {0x5F, 0x10, 100};
    layout.objects[1].insert(layout.objects[1].end(), 100, 'x');
    EXPECT_EQ(errorOf(binaryPropertyList(layout), limits),
              "Binary property list expands to more than 1000 bytes");
    limits.maximumDecodedSize = 1600;
    EXPECT_TRUE(readBinary(binaryPropertyList(layout), limits));
}

// Object i is an array holding two references to object i + 1; the last object is a Boolean.
// Each level doubles what the file expands to: `levels` of them reach 2^levels Booleans.
std::vector<std::uint8_t> doublingChain(std::uint8_t levels) {
    BinaryPropertyListLayout layout;
    for (std::uint8_t level = 0; level < levels; ++level) {
        const auto next = static_cast<std::uint8_t>(level + 1);
        layout.objects.push_back({0xA2, next, next});
    }
    layout.objects.push_back({0x09});
    return binaryPropertyList(layout);
}

TEST(ZRPropertyListBinaryReader, RefusesAGraphThatExpandsFarBeyondItsSize) {
    // About 300 bytes that would otherwise expand to 2^66 values.
    const auto file = doublingChain(65);
    ASSERT_LE(file.size(), 310U);
    const std::uint64_t budget = 16 * file.size() + 64 * 1024;
    EXPECT_EQ(errorOf(file), "Binary property list expands through shared objects to more than " +
                                 std::to_string(budget) +
                                 " values and bytes (16 times its size, plus 65536)");

    // A few levels stay within the allowance and decode to the full tree.
    const auto small = readBinary(doublingChain(3));
    ASSERT_TRUE(small) << small.errorDescription;
    const auto pair = [](const ZRPropertyList& element) { return ZRPropertyList::array({element, element}); };
    EXPECT_EQ(*small.value, pair(pair(pair(ZRPropertyList::boolean(true)))));

    // The bound follows the limits. Without the allowance, 8 levels (511 values in 74 bytes) stay
    // within 1000 times the file's size, and 16 levels (131,071 values in 106 bytes) do not.
    ZRPropertyListReader::Limits limits;
    limits.expansionAllowance = 0;
    limits.maximumExpansionFactor = 1000;
    EXPECT_TRUE(readBinary(doublingChain(8), limits));
    EXPECT_FALSE(readBinary(doublingChain(16), limits));
}

TEST(ZRPropertyListBinaryReader, SharedObjectsDecodeToEqualValuesWhereverTheyAreReferenced) {
    // Three dictionaries share their key objects, one value string and one array, as writers that
    // deduplicate lay them out.
    const auto file = binaryPropertyList({.objects = {
                                              {0xA3, 1, 2, 3},                      // 0: top array
                                              {0xD2, 4, 5, 6, 7},                   // 1
                                              {0xD2, 4, 5, 8, 7},                   // 2
                                              {0xD2, 4, 5, 6, 7},                   // 3
                                              {0x54, 'n', 'a', 'm', 'e'},           // 4: key
                                              {0x54, 't', 'a', 'g', 's'},           // 5: key
                                              {0x56, 's', 'h', 'a', 'r', 'e', 'd'}, // 6
                                              {0xA2, 9, 9},                         // 7: tags
                                              {0x55, 'o', 't', 'h', 'e', 'r'},      // 8
                                              {0x51, 'x'},                          // 9
                                          }});
    const auto result = readBinary(file);
    ASSERT_TRUE(result) << result.errorDescription;
    const auto tags = ZRPropertyList::array({ZRPropertyList::string("x"), ZRPropertyList::string("x")});
    const auto entry = [&](std::string name) {
        return ZRPropertyList::dictionary(
            {{"name", ZRPropertyList::string(std::move(name))}, {"tags", tags}});
    };
    EXPECT_EQ(*result.value, ZRPropertyList::array({entry("shared"), entry("other"), entry("shared")}));
}

TEST(ZRPropertyListBinaryReader, LimitsTheDepthOfASharedObjectWhereverItIsReferenced) {
    // The top array holds object 1 directly, and again three arrays further down (objects 2-4).
    // Object 1 nests four arrays (1, 5, 6, 7): its innermost lies at depth 4 the first time and
    // at depth 7 the second.
    BinaryPropertyListLayout layout;
    layout.objects = {{0xA2, 1, 2}, {0xA1, 5}, {0xA1, 3}, {0xA1, 4}, {0xA1, 1},
                      {0xA1, 6},    {0xA1, 7}, {0xA1, 8}, {0x09}};
    ZRPropertyListReader::Limits limits;
    limits.maximumDepth = 8;
    EXPECT_TRUE(readBinary(binaryPropertyList(layout), limits));
    limits.maximumDepth = 7;
    EXPECT_EQ(errorOf(binaryPropertyList(layout), limits), "Nesting deeper than 7 levels");
    // Referenced the other way round, the first decoding meets the limit itself.
    layout.objects[0] = {0xA2, 2, 1};
    EXPECT_EQ(errorOf(binaryPropertyList(layout), limits), "Nesting deeper than 7 levels");
    limits.maximumInputSize = 16;
    EXPECT_EQ(errorOf(binaryPropertyList(layout), limits), "Input larger than 16 bytes");
}

} // namespace
