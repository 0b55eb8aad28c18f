#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/QtStrings.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* name;
    std::string bytes;
};

class QtStringsPath : public testing::TestWithParam<PathCase> {};

TEST_P(QtStringsPath, SurvivesTheTripThroughAQString) {
    const std::filesystem::path path(GetParam().bytes);
    EXPECT_EQ(QtStrings::toPath(QtStrings::fromPath(path)).native(), path.native());
}

INSTANTIATE_TEST_SUITE_P(Paths, QtStringsPath,
                         testing::ValuesIn(std::vector<PathCase>{
                             {"Ascii", "/Applications/Editor.app"},
                             {"Accents", "/tmp/Éditeur.app"},
                             {"Astral", "/tmp/\xf0\x9f\x93\x9d.app"},
                             {"LoneHighByte", "/tmp/X\xff.app"},
                             {"TruncatedSequence", "/tmp/\xe2\x82.app"},
                             {"Overlong", "/tmp/\xc0\xaf.app"},
                             {"EncodedSurrogate", "/tmp/\xed\xb3\xbf.app"},
                             {"InvalidAfterAstral", "/tmp/\xf0\x9f\x93\x9d\xdc"}}),
                         CatalogueTestSupport::caseName);

TEST(QtStringsPath, InvalidBytesKeepNamesApartAndReadAsReplacementCharacters) {
    const auto first = QtStrings::fromPath("/tmp/X\xff.app");
    const auto second = QtStrings::fromPath("/tmp/X\xfe.app");
    EXPECT_NE(first, second);
    EXPECT_EQ(QtStrings::displayTextOfPath("/tmp/X\xff.app"), QString::fromUtf8("/tmp/X\uFFFD.app"));
    // A valid name is the plain text, so that ordinary paths compare equal to Qt's own.
    EXPECT_EQ(QtStrings::fromPath("/tmp/\xc3\x89.app"), QString::fromUtf8("/tmp/\xc3\x89.app"));
}

} // namespace
