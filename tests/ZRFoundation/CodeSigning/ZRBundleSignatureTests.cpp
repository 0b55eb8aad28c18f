// Signed bundles made by the fixture signer, checked the way the loader and `lumora codesign` check
// them: every outcome a bundle can have.

#include "CodeSigningTestSupport.h"
#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRResourceEnvelopeValidator.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include <sys/time.h>

namespace {

namespace fs = std::filesystem;
using CodeSigningTestSupport::check;
using CodeSigningTestSupport::verdict;
using Bundle = FixtureBundleBuilder::Bundle;
using R = ZRCodeSignatureCheckResult;

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

struct ValidationOptions {
    bool validateResources = true;
    bool strict = true;
    bool restrictSymlinks = false;
};

ZRBundleSignatureValidator::Outcome validate(const fs::path& path, ValidationOptions options = {}) {
    auto request = ZRCodeSignatureChecker::requestForOptions(path, 0);
    request.extraTrustAnchors = CodeSigningFixtures::fixtureAnchors();
    request.strict = options.strict;
    return ZRBundleSignatureValidator::validate(
        {path, std::move(request), options.validateResources, options.restrictSymlinks});
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
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_EQ(result->identifier(), "com.example.editor");
    EXPECT_EQ(result->mainExecutableFileURL(), contents() / "MacOS/Editor");
    const auto& files2 = result->bundleResourceFileInfos().value();
    std::vector<std::string> sealed;
    for (const auto& [path, seal] : files2) {
        sealed.push_back(path);
    }
    // The Info.plist, PkgInfo and the main executable are not sealed as resources.
    EXPECT_EQ(sealed, (std::vector<std::string>{
                          "Resources/Current", "Resources/Lumora.plist", "Resources/de.lproj/Lumora.strings",
                          "Resources/en.lproj/Lumora.strings", "XPCServices/Sync.xpc"}));
    EXPECT_EQ(files2.find("Resources/Lumora.plist")->dictionaryValue()->find("hash2")->dataValue()->size(),
              32U);

    const auto validated = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(validated->validity(), R::validityValid);
    EXPECT_FALSE(validated->details() || validated->bundleResourceFileInfos());
}

TEST_F(ZRBundleSignature, ReportsEachKindOfResourceProblem) {
    ASSERT_TRUE(FixtureTamper::changeFile(contents() / "Resources/en.lproj/Lumora.strings"));
    ASSERT_TRUE(FixtureTamper::removeFile(contents() / "Resources/Lumora.plist"));
    ASSERT_TRUE(FixtureTamper::removeFile(contents() / "Resources/de.lproj/Lumora.strings"));
    ASSERT_TRUE(FixtureTamper::addFile(contents() / "Resources/Added.txt"));
    ASSERT_TRUE(FixtureTamper::swapSymlinkTarget(contents() / "Resources/Current", "de.lproj"));

    const auto result = check(bundlePath, ZRCodeSignatureCheckValidateResources);
    EXPECT_EQ(result->validity(), R::validityResourcesDamaged);
    ASSERT_TRUE(result->details().has_value());
    const auto& details = *result->details();
    EXPECT_EQ(details.at("SecCSResourceAdded"), std::vector<std::string>{"Resources/Added.txt"});
    // A localized table is optional under the default rules: altered it is a problem, absent it is not.
    EXPECT_EQ(details.at("SecCSResourceAltered"),
              (std::vector<std::string>{"Resources/Current", "Resources/en.lproj/Lumora.strings"}));
    EXPECT_EQ(details.at("SecCSResourceMissing"), std::vector<std::string>{"Resources/Lumora.plist"});

    // Without resource validation the signature itself still holds.
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityValid);
}

TEST_F(ZRBundleSignature, RefusesAnEnvelopeEditedTogetherWithAFile) {
    // Change a sealed file and write its new digest into the envelope: the envelope no longer
    // matches the signature, so no sealed list may be handed out from it.
    std::ofstream(contents() / "Resources/Lumora.plist", std::ios::app) << "<!-- edited -->";
    auto edited = application();
    edited.files[0].contents += "<!-- edited -->";
    const auto signedExecutable = CodeSigningFixtures::read(contents() / "MacOS/Editor");
    FixtureBundleBuilder::resign(bundlePath, edited, CodeSigningFixtures::developerIDOptions());
    CodeSigningFixtures::write(folder, "Editor.app/Contents/MacOS/Editor", signedExecutable);

    for (const auto options : {ZRCodeSignatureCheckResourceInfos, ZRCodeSignatureCheckValidateResources}) {
        const auto result = check(bundlePath, options);
        EXPECT_EQ(result->validity(), R::validityInvalid);
        EXPECT_FALSE(result->bundleResourceFileInfos().has_value());
    }
}

TEST_F(ZRBundleSignature, BindsTheInfoPlist) {
    ASSERT_TRUE(FixtureTamper::changeInfoPlist(bundlePath));
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityResourcesDamaged);
}

TEST_F(ZRBundleSignature, ValidatesNestedCode) {
    const std::string helperExecutable = "Editor.app/Contents/XPCServices/Sync.xpc/Contents/MacOS/Sync";
    auto bytes = CodeSigningFixtures::read(folder.path() / helperExecutable);
    ASSERT_TRUE(FixtureTamper::flipCodeByte(bytes));
    CodeSigningFixtures::write(folder, helperExecutable, bytes);
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckValidateResources)->validity(),
              R::validitySignatureBroken);
    // Nested code is only looked at when resources are validated.
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityValid);
}

TEST_F(ZRBundleSignature, RejectsNestedCodeThatFailsItsRequirement) {
    // Re-sign the helper under another identifier: its own signature is fine, but the envelope
    // requires the identifier it was sealed with.
    auto helper = application().nestedBundles[0].bundle;
    helper.identifier = "com.example.impostor";
    auto signing = CodeSigningFixtures::developerIDOptions();
    FixtureBundleBuilder::resign(contents() / "XPCServices/Sync.xpc", helper, signing);
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckValidateResources)->validity(), R::validityInvalid);
}

TEST_F(ZRBundleSignature, RejectsUnsealedContentInTheBundleRoot) {
    ASSERT_TRUE(FixtureTamper::addFile(bundlePath / "README"));
    EXPECT_EQ(check(bundlePath, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityInvalid);
}

TEST(ZRBundleSignatureKinds, ClassifiesAdhocSelfSignedAndUnsignedBundles) {
    const TemporaryFolder folder;
    auto adhoc = CodeSigningFixtures::adhocOptions();
    auto bundle = application();
    bundle.nestedBundles.clear();
    const auto adhocPath = FixtureBundleBuilder::write(folder.path() / "adhoc", bundle, adhoc);
    const auto adhocResult = check(adhocPath, ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(verdict(*adhocResult), "5 adhoc");
    EXPECT_TRUE(adhocResult->bundleResourceFileInfos().has_value());

    auto selfSigned = CodeSigningFixtures::optionsSignedBy(CodeSigningFixtures::hierarchy().selfSignedLeaf);
    selfSigned.chain.clear();
    const auto selfSignedPath = FixtureBundleBuilder::write(folder.path() / "self", bundle, selfSigned);
    const auto selfSignedResult = check(selfSignedPath, ZRCodeSignatureCheckResourceInfos, false);
    EXPECT_EQ(verdict(*selfSignedResult), "6 other");
    EXPECT_FALSE(selfSignedResult->bundleResourceFileInfos().has_value());

    const auto unsignedPath = FixtureBundleBuilder::write(folder.path() / "unsigned", bundle, adhoc);
    CodeSigningFixtures::write(folder, "unsigned/Editor.app/Contents/MacOS/Editor",
                               FixtureSigner::makeUnsigned(FixtureMachOBuilder::Executable{}));
    EXPECT_EQ(verdict(*check(unsignedPath, ZRCodeSignatureCheckResourceInfos)), "4 none");

    fs::create_directories(folder.path() / "Empty.app/Contents");
    EXPECT_THROW(check(folder.path() / "Empty.app", ZRCodeSignatureCheckResourceInfos),
                 ZRCodeSignatureCheckError);
}

TEST_F(ZRBundleSignature, NamesTheNestedCodeThatFailed) {
    ASSERT_TRUE(
        FixtureTamper::changeFile(contents() / "XPCServices/Sync.xpc/Contents/Resources/Lumora.json"));
    const auto outcome = validate(bundlePath);
    EXPECT_EQ(outcome.executable.status, ZROSStatus::errSecCSBadResource);
    ASSERT_EQ(outcome.nestedCodeFailures.size(), 1U);
    EXPECT_EQ(outcome.nestedCodeFailures[0].path, "XPCServices/Sync.xpc");
    EXPECT_EQ(outcome.nestedCodeFailures[0].status, ZROSStatus::errSecCSBadResource);
    EXPECT_EQ(outcome.failurePath, "Contents/XPCServices/Sync.xpc");
}

TEST_F(ZRBundleSignature, CachesBundleChecksPerOptionsUntilTheMainExecutableChanges) {
    const auto cached = [&](ZRCodeSignatureCheckOptions options) {
        return ZRCodeSignatureChecker::checkFileURL(bundlePath, options,
                                                    CodeSigningFixtures::fixtureAnchors());
    };
    const auto infos = cached(ZRCodeSignatureCheckResourceInfos);
    const auto validated = cached(ZRCodeSignatureCheckValidateResources);
    EXPECT_NE(infos, validated) << "two option sets are two checks";
    EXPECT_EQ(cached(ZRCodeSignatureCheckResourceInfos), infos);
    EXPECT_EQ(cached(ZRCodeSignatureCheckValidateResources), validated);
    EXPECT_NE(cached(ZRCodeSignatureCheckValidateResources | ZRCodeSignatureCheckIgnoreCache), validated);

    // A resource edit alone leaves the executable's time as it was: the cached answer stands.
    ASSERT_TRUE(FixtureTamper::changeFile(contents() / "Resources/Lumora.plist"));
    EXPECT_EQ(cached(ZRCodeSignatureCheckValidateResources), validated);

    struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes((contents() / "MacOS/Editor").c_str(), times), 0);
    const auto rechecked = cached(ZRCodeSignatureCheckValidateResources);
    EXPECT_NE(rechecked, validated);
    EXPECT_EQ(rechecked->validity(), R::validityResourcesDamaged);
    EXPECT_EQ(cached(ZRCodeSignatureCheckValidateResources), rechecked);
}

// --- Versioned frameworks -------------------------------------------------------------------

Bundle framework(std::vector<std::string> otherVersions = {}) {
    Bundle kit;
    kit.name = "Kit.framework";
    kit.identifier = "com.example.kit";
    kit.executableName = "Kit";
    kit.versioned = true;
    kit.otherVersions = std::move(otherVersions);
    kit.files = {{"Resources/Strings.txt", "text"}, {"Headers/Kit.h", "int kit(void);"}};
    kit.seed = 3;
    return kit;
}

class ZRFrameworkSignature : public testing::Test {
protected:
    fs::path write(const Bundle& bundle) {
        return FixtureBundleBuilder::write(folder.path(), bundle, CodeSigningFixtures::developerIDOptions());
    }
    TemporaryFolder folder;
};

TEST_F(ZRFrameworkSignature, ValidatesThroughTheCurrentVersion) {
    const auto kit = write(framework());
    ASSERT_EQ(fs::read_symlink(kit / "Kit"), "Versions/Current/Kit");
    const auto result = check(kit, ZRCodeSignatureCheckValidateResources | ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(result->validity(), R::validityValid);
    EXPECT_EQ(result->identifier(), "com.example.kit");
    EXPECT_EQ(result->mainExecutableFileURL(), kit / "Versions/A/Kit");
    EXPECT_TRUE(result->bundleResourceFileInfos().value().contains("Headers/Kit.h"));
    EXPECT_FALSE(result->bundleResourceFileInfos()->contains("Kit"));

    ASSERT_TRUE(FixtureTamper::changeInfoPlist(kit));
    EXPECT_EQ(check(kit, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityResourcesDamaged);
    EXPECT_EQ(validate(kit).failurePath, "Versions/A/Resources/Info.plist");
}

TEST_F(ZRFrameworkSignature, AFrameworkNestedInAnApplicationIsValidatedAsNestedCode) {
    auto editor = application();
    editor.nestedBundles.push_back({"Frameworks", framework()});
    const auto app = write(editor);
    EXPECT_EQ(check(app, ZRCodeSignatureCheckValidateResources)->validity(), R::validityValid);

    ASSERT_TRUE(
        FixtureTamper::changeFile(app / "Contents/Frameworks/Kit.framework/Versions/A/Headers/Kit.h"));
    const auto outcome = validate(app);
    EXPECT_EQ(outcome.executable.status, ZROSStatus::errSecCSBadResource);
    ASSERT_EQ(outcome.nestedCodeFailures.size(), 1U);
    EXPECT_EQ(outcome.nestedCodeFailures[0].path, "Frameworks/Kit.framework");
}

TEST_F(ZRFrameworkSignature, AStrictCheckRefusesAnUnsealedFrameworkRoot) {
    struct Case {
        const char* what;
        std::function<bool(const fs::path&)> damage;
        const char* path;
    };
    const std::vector<Case> cases{
        {"a file beside Versions", [](const fs::path& kit) { return FixtureTamper::addFile(kit / "README"); },
         "README"},
        {"a top-level link that skips Current",
         [](const fs::path& kit) {
             return FixtureTamper::swapSymlinkTarget(kit / "Resources", "Versions/A/Resources");
         },
         "Resources"},
        {"a top-level link to another name",
         [](const fs::path& kit) {
             return FixtureTamper::swapSymlinkTarget(kit / "Kit", "Versions/Current/Resources");
         },
         "Kit"},
        {"Current as a folder instead of a link",
         [](const fs::path& kit) {
             fs::remove(kit / "Versions/Current");
             fs::copy(kit / "Versions/A", kit / "Versions/Current",
                      fs::copy_options::recursive | fs::copy_options::copy_symlinks);
             return true;
         },
         "Versions/Current"},
    };
    int index = 0;
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const auto kit = FixtureBundleBuilder::write(folder.path() / std::to_string(index++), framework(),
                                                     CodeSigningFixtures::developerIDOptions());
        ASSERT_TRUE(testCase.damage(kit));
        const auto outcome = validate(kit, {.validateResources = false});
        EXPECT_EQ(outcome.executable.status, ZROSStatus::errSecCSUnsealedFrameworkRoot);
        EXPECT_EQ(outcome.failurePath, testCase.path);
        EXPECT_EQ(check(kit, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityInvalid);
        EXPECT_EQ(validate(kit, {.validateResources = false, .strict = false}).executable.status,
                  ZROSStatus::success);
    }
}

TEST_F(ZRFrameworkSignature, AFrameworkWithoutACurrentVersionCannotBeExamined) {
    const auto kit = write(framework());
    fs::remove(kit / "Versions/Current");
    EXPECT_TRUE(validate(kit).executable.creationError.has_value());
    EXPECT_THROW(check(kit, ZRCodeSignatureCheckResourceInfos), ZRCodeSignatureCheckError);
}

TEST_F(ZRFrameworkSignature, EveryOtherVersionMustValidateToo) {
    const auto kit = write(framework({"B"}));
    EXPECT_EQ(check(kit, ZRCodeSignatureCheckValidateResources)->validity(), R::validityValid);

    ASSERT_TRUE(FixtureTamper::changeFile(kit / "Versions/B/Resources/Strings.txt"));
    const auto outcome = validate(kit);
    EXPECT_EQ(outcome.executable.status, ZROSStatus::errSecCSBadFrameworkVersion);
    EXPECT_EQ(outcome.failurePath, "Versions/B");
    EXPECT_EQ(check(kit, ZRCodeSignatureCheckValidateResources)->validity(), R::validityInvalid);
    // Other versions are only looked at with the resources, and only by a strict check.
    EXPECT_EQ(check(kit, ZRCodeSignatureCheckResourceInfos)->validity(), R::validityValid);
    EXPECT_EQ(validate(kit, {.strict = false}).executable.status, ZROSStatus::success);
}

// --- Restricted symbolic links --------------------------------------------------------------

TEST(ZRRestrictedSymlinks, JudgesTargetsByTheirText) {
    const ZRResourceEnvelopeValidator::SymlinkRestriction restriction{"/b/X.app"};
    const fs::path link = "/b/X.app/Contents/Resources/link";
    const auto allowed = [&](const std::string& target) {
        return ZRResourceEnvelopeValidator::symlinkIsAllowed(link, target, restriction);
    };
    for (const char* target : {"en.lproj", "../Info.plist", "../../../X.app/Contents",
                               "/System/Library/Fonts/A.ttf", "/Library/Fonts/A.ttf"}) {
        EXPECT_TRUE(allowed(target)) << target;
    }
    for (const char* target :
         {"", "../../../Y.app/Contents", "../../../X.appendix", "../../../..", "/etc/passwd", "/System",
          "/Libraryx/Fonts", "/System/../etc/passwd", "//etc/passwd"}) {
        EXPECT_FALSE(allowed(target)) << target;
    }
}

TEST(ZRRestrictedSymlinks, AStrictCheckRefusesLinksLeavingTheBundle) {
    const TemporaryFolder folder;
    auto bundle = application();
    bundle.nestedBundles.clear();
    bundle.symlinks = {{"Resources/Current", "en.lproj"}, {"Resources/Fonts", "/System/Library/Fonts"}};
    const auto path =
        FixtureBundleBuilder::write(folder.path(), bundle, CodeSigningFixtures::developerIDOptions());
    const ValidationOptions restricted{.restrictSymlinks = true};
    EXPECT_EQ(validate(path, restricted).executable.status, ZROSStatus::success);

    for (const char* target : {"/etc", "/System/../etc", "../../../../outside"}) {
        SCOPED_TRACE(target);
        // Sealed again with the new target: only the restriction can object.
        ASSERT_TRUE(FixtureTamper::swapSymlinkTarget(path / "Contents/Resources/Fonts", target));
        FixtureBundleBuilder::resign(path, bundle, CodeSigningFixtures::developerIDOptions());
        const auto outcome = validate(path, restricted);
        EXPECT_EQ(outcome.executable.status, ZROSStatus::errSecCSInvalidSymlink);
        EXPECT_EQ(outcome.failurePath, "Contents/Resources/Fonts");
        EXPECT_EQ(validate(path).executable.status, ZROSStatus::success);
        EXPECT_EQ(validate(path, {.strict = false, .restrictSymlinks = true}).executable.status,
                  ZROSStatus::success);
    }
}

} // namespace
