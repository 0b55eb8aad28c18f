// Signed bundles made by the fixture signer, checked the way the loader and `lumora codesign` check
// them: every outcome a bundle can have.

#include "Support/CodeSigningFixtures.h"
#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Bundle = FixtureBundleBuilder::Bundle;
using Result = ZRCodeSignatureChecker::Result;

Bundle application() {
    Bundle helper;
    helper.name = "Sync.xpc";
    helper.identifier = "com.example.editor.sync";
    helper.executableName = "Sync";
    helper.files = {{"Resources/Lumora.json", R"({"ApplicationDescription": "Syncs."})"}};
    helper.seed = 2;

    Bundle editor;
    editor.name = "Editor.app";
    editor.identifier = "com.example.editor";
    editor.executableName = "Editor";
    editor.files = {{"Resources/Lumora.plist", "<plist><dict/></plist>"},
                    {"Resources/en.lproj/Lumora.strings", "\"a\" = \"b\";"},
                    {"Resources/de.lproj/Lumora.strings", "\"a\" = \"c\";"},
                    {"PkgInfo", "APPL????"}};
    editor.symlinks = {{"Resources/Current", "en.lproj"}};
    editor.nestedBundles = {{"XPCServices", helper}};
    return editor;
}

Result check(const fs::path& path, ZRCodeSignatureCheckOptions options) {
    return ZRCodeSignatureChecker::checkFileURL(path, options | ZRCodeSignatureCheckIgnoreCache,
                                                {CodeSigningFixtures::hierarchy().root.der()});
}

void appendTo(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

class ZRBundleSignature : public testing::Test {
protected:
    void SetUp() override {
        bundlePath = FixtureBundleBuilder::write(folder.path(), application(),
                                                 CodeSigningFixtures::developerIDOptions());
    }
    fs::path contents() const { return bundlePath / "Contents"; }

    TemporaryFolder folder;
    fs::path bundlePath;
};

TEST_F(ZRBundleSignature, AcceptsAnIntactBundleAndHandsOutItsSealedResources) {
    const auto result = check(bundlePath, ZRCodeSignatureCheckResourceInfos);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->validity(), ZRCodeSignatureCheckResult::validityValid);
    EXPECT_EQ(result->certificateType(), ZRCodeSignatureCertificateType::developerID);
    EXPECT_EQ(result->identifier(), "com.example.editor");
    EXPECT_EQ(result->mainExecutableFileURL(), contents() / "MacOS/Editor");
    EXPECT_TRUE(result->usedExtraTrustAnchor());
    ASSERT_TRUE(result->bundleResourceFileInfos().has_value());
    const auto& files2 = *result->bundleResourceFileInfos();
    const auto* entry = files2.find("Resources/Lumora.plist");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->dictionaryValue()->find("hash2")->dataValue()->size(), 32U);
    EXPECT_NE(files2.find("XPCServices/Sync.xpc"), nullptr);
    EXPECT_EQ(files2.find("Info.plist"), nullptr);
    EXPECT_EQ(files2.find("MacOS/Editor"), nullptr);

    const auto validated = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(validated->validity(), ZRCodeSignatureCheckResult::validityValid);
    EXPECT_FALSE(validated->details().has_value());
    EXPECT_FALSE(validated->bundleResourceFileInfos().has_value());
}

TEST_F(ZRBundleSignature, ReportsEachKindOfResourceProblem) {
    appendTo(contents() / "Resources/Lumora.plist", " ");
    fs::remove(contents() / "Resources/de.lproj/Lumora.strings");
    std::ofstream(contents() / "Resources/Added.txt") << "new";
    fs::remove(contents() / "Resources/Current");
    fs::create_symlink("de.lproj", contents() / "Resources/Current");

    const auto result = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(result->validity(), ZRCodeSignatureCheckResult::validityResourcesDamaged);
    ASSERT_TRUE(result->details().has_value());
    const auto& details = *result->details();
    EXPECT_EQ(details.at("SecCSResourceAdded"), std::vector<std::string>{"Resources/Added.txt"});
    EXPECT_EQ(details.at("SecCSResourceAltered"),
              (std::vector<std::string>{"Resources/Current", "Resources/Lumora.plist"}));
    // The localized table is optional under the default rules: its absence is no problem.
    EXPECT_EQ(details.count("SecCSResourceMissing"), 0U);

    // Without resource validation the signature itself still holds.
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(),
              ZRCodeSignatureCheckResult::validityValid);
}

TEST_F(ZRBundleSignature, ReportsMissingFiles) {
    fs::remove(contents() / "Resources/Lumora.plist");
    const auto result = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(result->validity(), ZRCodeSignatureCheckResult::validityResourcesDamaged);
    EXPECT_EQ(result->details()->at("SecCSResourceMissing"),
              std::vector<std::string>{"Resources/Lumora.plist"});
}

TEST_F(ZRBundleSignature, RefusesAnEnvelopeEditedTogetherWithAFile) {
    // Change a sealed file and write its new digest into the envelope: the envelope no longer
    // matches the signature, so no sealed list may be handed out from it.
    appendTo(contents() / "Resources/Lumora.plist", "<!-- edited -->");
    auto edited = application();
    edited.files[0].contents += "<!-- edited -->";
    const auto signedExecutable = readText(contents() / "MacOS/Editor");
    FixtureBundleBuilder::resign(bundlePath, edited, CodeSigningFixtures::developerIDOptions());
    std::ofstream(contents() / "MacOS/Editor", std::ios::binary) << signedExecutable;

    for (const auto options : {ZRCodeSignatureCheckResourceInfos, ZRCodeSignatureCheckValidateResources}) {
        const auto result = check(bundlePath, options);
        EXPECT_EQ(result->validity(), ZRCodeSignatureCheckResult::validityInvalid);
        EXPECT_FALSE(result->bundleResourceFileInfos().has_value());
    }
}

TEST_F(ZRBundleSignature, BindsTheInfoPlist) {
    appendTo(contents() / "Info.plist", "\n");
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(),
              ZRCodeSignatureCheckResult::validityResourcesDamaged);
}

TEST_F(ZRBundleSignature, ValidatesNestedCode) {
    const auto helperExecutable = contents() / "XPCServices/Sync.xpc/Contents/MacOS/Sync";
    auto bytes = [&] {
        std::ifstream stream(helperExecutable, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream),
                                         std::istreambuf_iterator<char>());
    }();
    ASSERT_TRUE(FixtureTamper::flipCodeByte(bytes));
    std::ofstream(helperExecutable, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckValidateResources)->validity(),
              ZRCodeSignatureCheckResult::validitySignatureBroken);
    // Nested code is only looked at when resources are validated.
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(),
              ZRCodeSignatureCheckResult::validityValid);
}

TEST_F(ZRBundleSignature, RejectsNestedCodeThatFailsItsRequirement) {
    // Re-sign the helper under another identifier: its own signature is fine, but the envelope
    // requires the identifier it was sealed with.
    auto helper = application().nestedBundles[0].bundle;
    helper.identifier = "com.example.impostor";
    auto signing = CodeSigningFixtures::developerIDOptions();
    FixtureBundleBuilder::resign(contents() / "XPCServices/Sync.xpc", helper, signing);
    const auto result = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(result->validity(), ZRCodeSignatureCheckResult::validityInvalid);
}

TEST_F(ZRBundleSignature, RejectsUnsealedContentInTheBundleRoot) {
    std::ofstream(bundlePath / "README") << "hello";
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(),
              ZRCodeSignatureCheckResult::validityInvalid);
}

TEST(ZRBundleSignatureKinds, ClassifiesAdhocSelfSignedAndUnsignedBundles) {
    const TemporaryFolder folder;
    auto adhoc = CodeSigningFixtures::adhocOptions();
    auto bundle = application();
    bundle.nestedBundles.clear();
    const auto adhocPath = FixtureBundleBuilder::write(folder.path() / "adhoc", bundle, adhoc);
    const auto adhocResult = check(adhocPath, ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(adhocResult->validity(), ZRCodeSignatureCheckResult::validityAdhoc);
    EXPECT_EQ(adhocResult->certificateType(), ZRCodeSignatureCertificateType::adhoc);
    EXPECT_TRUE(adhocResult->bundleResourceFileInfos().has_value());

    auto selfSigned = CodeSigningFixtures::optionsSignedBy(CodeSigningFixtures::hierarchy().selfSignedLeaf);
    selfSigned.chain.clear();
    const auto selfSignedPath = FixtureBundleBuilder::write(folder.path() / "self", bundle, selfSigned);
    const auto selfSignedResult = ZRCodeSignatureChecker::checkFileURL(
        selfSignedPath, ZRCodeSignatureCheckResourceInfos | ZRCodeSignatureCheckIgnoreCache);
    EXPECT_EQ(selfSignedResult->validity(), ZRCodeSignatureCheckResult::validityNotAppleAnchored);
    EXPECT_EQ(selfSignedResult->certificateType(), ZRCodeSignatureCertificateType::other);
    EXPECT_FALSE(selfSignedResult->bundleResourceFileInfos().has_value());

    const auto unsignedPath = FixtureBundleBuilder::write(folder.path() / "unsigned", bundle, adhoc);
    const auto unsignedBytes = FixtureSigner::makeUnsigned(FixtureMachOBuilder::Executable{});
    std::ofstream(unsignedPath / "Contents/MacOS/Editor", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(unsignedBytes.data()),
               static_cast<std::streamsize>(unsignedBytes.size()));
    const auto unsignedResult = check(unsignedPath, ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(unsignedResult->validity(), ZRCodeSignatureCheckResult::validityNotSigned);
    EXPECT_EQ(unsignedResult->certificateType(), ZRCodeSignatureCertificateType::none);

    fs::create_directories(folder.path() / "Empty.app/Contents");
    EXPECT_THROW(check(folder.path() / "Empty.app", ZRCodeSignatureCheckResourceInfos),
                 ZRCodeSignatureCheckError);
}

} // namespace
