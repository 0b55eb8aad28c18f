#include "Code/Catalogue/QtStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(QtStringsPath, EveryPathSurvivesTheTripThroughAQString) {
    for (const std::string bytes :
         {"/Applications/Editor.app", "/tmp/Éditeur.app", "/tmp/\xf0\x9f\x93\x9d.app", "/tmp/X\xff.app",
          "/tmp/\xe2\x82.app" /* truncated sequence */, "/tmp/\xc0\xaf.app" /* overlong */,
          "/tmp/\xed\xb3\xbf.app" /* encoded surrogate */, "/tmp/\xf0\x9f\x93\x9d\xdc"}) {
        const std::filesystem::path path(bytes);
        EXPECT_EQ(QtStrings::toPath(QtStrings::fromPath(path)).native(), path.native()) << bytes;
    }
}

TEST(QtStringsPath, InvalidBytesKeepNamesApartAndReadAsReplacementCharacters) {
    const auto first = QtStrings::fromPath("/tmp/X\xff.app");
    const auto second = QtStrings::fromPath("/tmp/X\xfe.app");
    EXPECT_NE(first, second);
    EXPECT_EQ(QtStrings::displayTextOfPath("/tmp/X\xff.app"), QString::fromUtf8("/tmp/X\uFFFD.app"));
    // A valid name is the plain text, so that ordinary paths compare equal to Qt's own.
    EXPECT_EQ(QtStrings::fromPath("/tmp/\xc3\x89.app"), QString::fromUtf8("/tmp/\xc3\x89.app"));
}

} // namespace
