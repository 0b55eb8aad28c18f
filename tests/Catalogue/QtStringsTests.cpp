#include "Code/Catalogue/QtStrings.h"

#include <ostream>

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const PathCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class QtStringsPath : public testing::TestWithParam<PathCase> {};

TEST_P(QtStringsPath, SurvivesTheTripThroughAQString) {
    const std::filesystem::path path(GetParam().bytes);
    EXPECT_EQ(QtStrings::toPath(QtStrings::fromPath(path)).native(), path.native());
}

INSTANTIATE_TEST_SUITE_P(Paths, QtStringsPath,
                         testing::Values(PathCase{"Ascii", "/Applications/Editor.app"},
                                         PathCase{"Accents", "/tmp/\xc3\x89"
                                                             "diteur.app"},
                                         PathCase{"Astral", "/tmp/\xf0\x9f\x93\x9d.app"},
                                         PathCase{"LoneHighByte", "/tmp/X\xff.app"},
                                         PathCase{"TruncatedSequence", "/tmp/\xe2\x82.app"},
                                         PathCase{"Overlong", "/tmp/\xc0\xaf.app"},
                                         PathCase{"EncodedSurrogate", "/tmp/\xed\xb3\xbf.app"},
                                         PathCase{"InvalidAfterAstral", "/tmp/\xf0\x9f\x93\x9d\xdc"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(QtStringsPath, InvalidBytesKeepNamesApartAndReadAsReplacementCharacters) {
    const auto first = QtStrings::fromPath("/tmp/X\xff.app");
    const auto second = QtStrings::fromPath("/tmp/X\xfe.app");
    EXPECT_NE(first, second);
    EXPECT_EQ(QtStrings::displayTextOfPath("/tmp/X\xff.app"), QString::fromUtf8("/tmp/X\uFFFD.app"));
    // A valid name is the plain text, so that ordinary paths compare equal to Qt's own.
    EXPECT_EQ(QtStrings::fromPath("/tmp/\xc3\x89.app"), QString::fromUtf8("/tmp/\xc3\x89.app"));
}

} // namespace
