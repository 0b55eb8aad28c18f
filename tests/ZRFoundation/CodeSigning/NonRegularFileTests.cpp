// A bundle's files replaced by things that are not regular files: a FIFO (whose open would wait
// for a writer), a character device and a link to /dev/zero (endless bytes) and a directory.
// Every reader must answer at once that the file cannot be read.

#include "CodeSigningTestSupport.h"
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

TEST(NonRegularFile, IsNeitherMappedNorReadAndGivesABundleNoInformationOrStrings) {
    for (const auto kind : SpecialFiles::availableKinds()) {
        SCOPED_TRACE(SpecialFiles::name(kind));
        const TemporaryFolder folder;
        const auto path = folder.path() / "file";
        ASSERT_TRUE(SpecialFiles::replaceWith(path, kind));
        for (const auto links : {ZRMappedFile::Links::refuse, ZRMappedFile::Links::follow}) {
            std::error_code error;
            EXPECT_EQ(ZRMappedFile::open(path, links, error), nullptr);
            EXPECT_TRUE(error);
            EXPECT_FALSE(ZRMappedFile::readRegularFile(path, 1 << 20, links, error).has_value());
            EXPECT_TRUE(error);
        }
        EXPECT_FALSE(ZRMappedFile::readRegularFile(path, 1 << 20).has_value());

        const auto contents = folder.path() / "Editor.app/Contents";
        fs::create_directories(contents / "Resources/en.lproj");
        for (const char* file : {"Info.plist", "Resources/en.lproj/InfoPlist.strings",
                                 "Resources/en.lproj/Localizable.strings"}) {
            SpecialFiles::replaceWith(contents / file, kind);
        }
        const auto bundle = ZRBundle::bundleWithPath(folder.path() / "Editor.app");
        ASSERT_NE(bundle, nullptr);
        EXPECT_TRUE(bundle->infoDictionary().empty());
        EXPECT_TRUE(bundle->localizedInfoDictionary().empty());
        EXPECT_EQ(bundle->localizedStringForKey("key", "fallback", "Localizable"), "fallback");
    }
}

// Planted in a signed bundle, wherever the check reaches it, it fails the check.
TEST(NonRegularFile, InASignedBundleFailsTheSignatureCheck) {
    FixtureBundleBuilder::Bundle editor;
    editor.name = "Editor.app";
    editor.identifier = "com.example.editor";
    editor.executableName = "Editor";
    editor.files = {{"Resources/Lumora.plist", "<plist><dict/></plist>"}};
    // Hashing resources reaches the sealed resource; the others are read by any bundle check.
    for (const auto& [place, options] : {std::pair{"MacOS/Editor", ZRCodeSignatureCheckResourceInfos},
                                         {"Info.plist", ZRCodeSignatureCheckResourceInfos},
                                         {"_CodeSignature/CodeResources", ZRCodeSignatureCheckResourceInfos},
                                         {"Resources/Lumora.plist", ZRCodeSignatureCheckValidateResources}}) {
        for (const auto kind : SpecialFiles::availableKinds()) {
            SCOPED_TRACE(std::string(place) + " " + SpecialFiles::name(kind));
            const TemporaryFolder folder;
            const auto bundle =
                FixtureBundleBuilder::write(folder.path(), editor, CodeSigningFixtures::developerIDOptions());
            ASSERT_TRUE(SpecialFiles::replaceWith(bundle / "Contents" / place, kind));
            try {
                EXPECT_NE(CodeSigningTestSupport::check(bundle, options)->validity(),
                          ZRCodeSignatureCheckResult::validityValid);
            } catch (const ZRCodeSignatureCheckError&) {
                // Refused before a result could be made: as good as invalid.
            }
        }
    }
}

} // namespace
