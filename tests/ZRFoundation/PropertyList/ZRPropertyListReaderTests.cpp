#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <gtest/gtest.h>

namespace {

using namespace PropertyListTestSupport;
using ZRPropertyListReader::Format;
using ZRPropertyListReader::readPropertyList;

TEST(ZRPropertyListReader, DetectsTheFormFromTheFirstBytes) {
    const auto binary = binaryPropertyList({.objects = {{0x08}}});
    const auto a = ZRPropertyList::dictionary({{"a", ZRPropertyList::string("a")}});
    const struct {
        std::span<const std::uint8_t> bytes;
        Format format;
        ZRPropertyList value;
    } cases[] = {
        {bytes("\xEF\xBB\xBF \n\t<plist version=\"1.0\"><true/></plist>"), Format::XML,
         ZRPropertyList::boolean(true)},
        {binary, Format::Binary, ZRPropertyList::boolean(false)},
        {bytes("\"a\" = \"<b>\";"), Format::OpenStep,
         ZRPropertyList::dictionary({{"a", ZRPropertyList::string("<b>")}})},
        {bytes(std::string_view("\xFF\xFE\"\0a\0\"\0;\0", 10)), Format::OpenStep, a},
        {bytes(std::string_view("\xFE\xFF\0<\0s\0t\0r\0i\0n\0g\0>\0x\0<\0/\0s\0t\0r\0i\0n\0g\0>", 38)),
         Format::XML, ZRPropertyList::string("x")},
    };
    for (const auto& [input, format, value] : cases) {
        const auto result = readPropertyList(input);
        ASSERT_TRUE(result) << result.errorDescription;
        EXPECT_EQ(result.format, format);
        EXPECT_EQ(*result.value, value);
    }
}

TEST(ZRPropertyListReader, ReportsTheFormWhoseReaderFailed) {
    const auto binary = readPropertyList(bytes("bplist00 and nothing else"));
    EXPECT_FALSE(binary);
    EXPECT_EQ(binary.format, Format::Binary);
    EXPECT_EQ(binary.errorDescription, "Binary property list too short for its trailer");
    const auto xml = readPropertyList(bytes("<plist><dict><key>a</key></dict></plist>"));
    EXPECT_EQ(xml.format, Format::XML);
    EXPECT_EQ(xml.errorDescription, "Missing value for key 'a' at line 1");
    ZRPropertyListReader::Limits limits;
    limits.maximumInputSize = 3;
    EXPECT_EQ(readPropertyList(bytes("a = b;"), limits).errorDescription, "Input larger than 3 bytes");
}

} // namespace
