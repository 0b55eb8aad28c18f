#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <gtest/gtest.h>

namespace {

using namespace PropertyListTestSupport;
using ZRPropertyListReader::Format;
using ZRPropertyListReader::readPropertyList;

TEST(ZRPropertyListReader, DetectsTheFormFromTheFirstBytes) {
    const auto xml = readPropertyList(bytes("\xEF\xBB\xBF \n\t<plist version=\"1.0\"><true/></plist>"));
    ASSERT_TRUE(xml) << xml.errorDescription;
    EXPECT_EQ(xml.format, Format::XML);
    EXPECT_EQ(*xml.value, ZRPropertyList::boolean(true));

    const auto binary = readPropertyList(binaryPropertyList({.objects = {byteVector({0x08})}}));
    ASSERT_TRUE(binary) << binary.errorDescription;
    EXPECT_EQ(binary.format, Format::Binary);
    EXPECT_EQ(*binary.value, ZRPropertyList::boolean(false));

    const auto strings = readPropertyList(bytes("\"a\" = \"<b>\";"));
    ASSERT_TRUE(strings) << strings.errorDescription;
    EXPECT_EQ(strings.format, Format::OpenStep);

    const std::string utf16Strings("\xFF\xFE\"\0a\0\"\0;\0", 10);
    const auto utf16 = readPropertyList(bytes(utf16Strings));
    ASSERT_TRUE(utf16) << utf16.errorDescription;
    EXPECT_EQ(utf16.format, Format::OpenStep);
    EXPECT_EQ(*utf16.value, ZRPropertyList::dictionary({{"a", ZRPropertyList::string("a")}}));

    const std::string utf16XML("\xFE\xFF\0<\0s\0t\0r\0i\0n\0g\0>\0x\0<\0/\0s\0t\0r\0i\0n\0g\0>", 38);
    const auto xml16 = readPropertyList(bytes(utf16XML));
    ASSERT_TRUE(xml16) << xml16.errorDescription;
    EXPECT_EQ(xml16.format, Format::XML);
    EXPECT_EQ(*xml16.value, ZRPropertyList::string("x"));
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
