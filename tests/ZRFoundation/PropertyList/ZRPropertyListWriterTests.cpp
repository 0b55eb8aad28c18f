#include "PropertyListTestSupport.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"
#include "ZRFoundation/PropertyList/ZRPropertyListWriter.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

using PropertyListTestSupport::bytes;
using ZRPropertyListWriter::xmlData;

ZRPropertyList readBack(const std::string& xml) {
    const auto result = ZRPropertyListReader::readXML(bytes(xml));
    EXPECT_TRUE(result) << result.errorDescription << "\n" << xml;
    return result.value.value_or(ZRPropertyList());
}

TEST(ZRPropertyListWriter, WritesTheStandardDocument) {
    const auto value = ZRPropertyList::dictionary({
        {"Name", ZRPropertyList::string("A & <B>")},
        {"Count", ZRPropertyList::integer(-3)},
        {"Flags", ZRPropertyList::array({ZRPropertyList::boolean(true), ZRPropertyList::boolean(false)})},
        {"Empty", ZRPropertyList::array({})},
        {"Bytes", ZRPropertyList::data({0, 1, 2, 3, 4})},
        {"When", ZRPropertyList::date({86401.75})},
        {"Ratio", ZRPropertyList::real(0.1)},
    });
    EXPECT_EQ(xmlData(value), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                              "<plist version=\"1.0\">\n<dict>\n"
                              "\t<key>Name</key>\n\t<string>A &amp; &lt;B&gt;</string>\n"
                              "\t<key>Count</key>\n\t<integer>-3</integer>\n"
                              "\t<key>Flags</key>\n\t<array>\n\t\t<true/>\n\t\t<false/>\n\t</array>\n"
                              "\t<key>Empty</key>\n\t<array/>\n"
                              "\t<key>Bytes</key>\n\t<data>AAECAwQ=</data>\n"
                              "\t<key>When</key>\n\t<date>2001-01-02T00:00:01Z</date>\n"
                              "\t<key>Ratio</key>\n\t<real>0.1</real>\n"
                              "</dict>\n</plist>\n");
}

TEST(ZRPropertyListWriter, ReadsBackToTheSameValue) {
    const auto value = ZRPropertyList::dictionary({
        {"text", ZRPropertyList::string("line\r\nbreaks\tand \xC3\xA9 \xF0\x9F\x98\x80 ]]> &amp;")},
        {"", ZRPropertyList::string("")},
        {"numbers", ZRPropertyList::array({ZRPropertyList::integer(std::numeric_limits<std::int64_t>::min()),
                                           ZRPropertyList::real(1e300), ZRPropertyList::real(-0.0),
                                           ZRPropertyList::real(5e-324), ZRPropertyList::real(3.0),
                                           ZRPropertyList::real(std::numeric_limits<double>::infinity()),
                                           ZRPropertyList::real(-std::numeric_limits<double>::infinity())})},
        {"dates",
         ZRPropertyList::array({ZRPropertyList::date({-63113904000.0}),
                                ZRPropertyList::date({252423993599.0}), ZRPropertyList::date({-1.0})})},
        {"nested", ZRPropertyList::dictionary(
                       {{"empty", ZRPropertyList::dictionary({})}, {"data", ZRPropertyList::data({})}})},
    });
    EXPECT_EQ(readBack(xmlData(value)), value);
    EXPECT_TRUE(std::isnan(*readBack(xmlData(ZRPropertyList::real(std::nan("")))).realValue()));
}

TEST(ZRPropertyListWriter, DatesAreWrittenToTheWholeSecond) {
    EXPECT_EQ(readBack(xmlData(ZRPropertyList::date({-0.5}))), ZRPropertyList::date({-1.0}));
    EXPECT_EQ(readBack(xmlData(ZRPropertyList::date({8459.0 * 86400 + 49500.9}))),
              ZRPropertyList::date({8459.0 * 86400 + 49500}));
}

TEST(ZRPropertyListWriter, RefusesWhatXMLPropertyListsCannotHold) {
    EXPECT_THROW(xmlData(ZRPropertyList::null()), std::invalid_argument);
    EXPECT_THROW(xmlData(ZRPropertyList::array({ZRPropertyList::null()})), std::invalid_argument);
    EXPECT_THROW(xmlData(ZRPropertyList::date({1e300})), std::invalid_argument);
    EXPECT_THROW(xmlData(ZRPropertyList::date({std::nan("")})), std::invalid_argument);
}

} // namespace
