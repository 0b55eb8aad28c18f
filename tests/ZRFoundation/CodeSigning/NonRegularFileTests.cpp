// A bundle's files replaced by things that are not regular files: a FIFO (whose open would wait
// for a writer), a character device and a link to /dev/zero (endless bytes) and a directory.
// Every reader must answer at once that the file cannot be read.

#include "Support/CodeSigningFixtures.h"
#include "Support/SpecialFiles.h"
#include "Support/TemporaryFolder.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using SpecialFiles::Kind;

class NonRegularFile : public testing::TestWithParam<Kind> {
protected:
    fs::path planted(const std::string& name) const {
        const auto path = folder.path() / name;
        EXPECT_TRUE(SpecialFiles::replaceWith(path, GetParam()));
        return path;
    }
    TemporaryFolder folder;
};

TEST_P(NonRegularFile, IsNeitherMappedNorRead) {
    const auto path = planted("file");
    for (const auto links : {ZRMappedFile::Links::refuse, ZRMappedFile::Links::follow}) {
        std::error_code error;
        EXPECT_EQ(ZRMappedFile::open(path, links, error), nullptr);
        EXPECT_TRUE(error);
        EXPECT_FALSE(ZRMappedFile::readRegularFile(path, 1 << 20, links, error).has_value());
        EXPECT_TRUE(error);
    }
    EXPECT_FALSE(ZRMappedFile::readRegularFile(path, 1 << 20).has_value());
}

TEST_P(NonRegularFile, GivesABundleNoInformationOrStrings) {
    const auto contents = folder.path() / "Editor.app/Contents";
    fs::create_directories(contents / "Resources/en.lproj");
    SpecialFiles::replaceWith(contents / "Info.plist", GetParam());
    SpecialFiles::replaceWith(contents / "Resources/en.lproj/InfoPlist.strings", GetParam());
    SpecialFiles::replaceWith(contents / "Resources/en.lproj/Localizable.strings", GetParam());
    const auto bundle = ZRBundle::bundleWithPath(folder.path() / "Editor.app");
    ASSERT_NE(bundle, nullptr);
    EXPECT_TRUE(bundle->infoDictionary().empty());
    EXPECT_TRUE(bundle->localizedInfoDictionary().empty());
    EXPECT_EQ(bundle->localizedStringForKey("key", "fallback", "Localizable"), "fallback");
}

INSTANTIATE_TEST_SUITE_P(EveryKind, NonRegularFile, testing::ValuesIn(SpecialFiles::availableKinds()),
                         [](const auto& testCase) { return SpecialFiles::name(testCase.param); });

/// Where in a signed bundle the file is planted, and whether the check must hash resources to
/// reach it.
struct Place {
    std::string name;
    std::string relativePath;
    ZRCodeSignatureCheckOptions options;
};

class NonRegularFileInASignedBundle : public testing::TestWithParam<std::tuple<Place, Kind>> {};

TEST_P(NonRegularFileInASignedBundle, FailsTheSignatureCheck) {
    const auto& [place, kind] = GetParam();
    TemporaryFolder folder;
    FixtureBundleBuilder::Bundle editor;
    editor.name = "Editor.app";
    editor.identifier = "com.example.editor";
    editor.executableName = "Editor";
    editor.files = {{"Resources/Lumora.plist", "<plist><dict/></plist>"}};
    const auto bundle =
        FixtureBundleBuilder::write(folder.path(), editor, CodeSigningFixtures::developerIDOptions());
    ASSERT_TRUE(SpecialFiles::replaceWith(bundle / "Contents" / place.relativePath, kind));
    try {
        const auto result =
            ZRCodeSignatureChecker::checkFileURL(bundle, place.options | ZRCodeSignatureCheckIgnoreCache,
                                                 {CodeSigningFixtures::hierarchy().root.der()});
        EXPECT_NE(result->validity(), ZRCodeSignatureCheckResult::validityValid);
    } catch (const ZRCodeSignatureCheckError&) {
        // Refused before a result could be made: as good as invalid.
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlace, NonRegularFileInASignedBundle,
    testing::Combine(testing::Values(Place{"Executable", "MacOS/Editor", ZRCodeSignatureCheckResourceInfos},
                                     Place{"InfoPlist", "Info.plist", ZRCodeSignatureCheckResourceInfos},
                                     Place{"CodeResources", "_CodeSignature/CodeResources",
                                           ZRCodeSignatureCheckResourceInfos},
                                     Place{"SealedResource", "Resources/Lumora.plist",
                                           ZRCodeSignatureCheckValidateResources}),
                     testing::ValuesIn(SpecialFiles::availableKinds())),
    [](const auto& testCase) {
        return std::get<0>(testCase.param).name + "_" + SpecialFiles::name(std::get<1>(testCase.param));
    });

} // namespace
