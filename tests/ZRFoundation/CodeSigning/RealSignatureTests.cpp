// Signatures made by real signing tools for real products, from npm packages fetched beforehand
// into a folder outside the repository. Every test skips, saying why, when its package is missing.

#include "CodeSigningTestSupport.h"
#include "Support/RealSignatures.h"
#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZRCMSCertificateSplit.h"
#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Crypto/ZRDigest.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <gtest/gtest.h>

namespace {

using Type = ZRCodeSignatureCertificateType;
using CodeSigningTestSupport::names;
using CodeSigningTestSupport::verdict;
using ZRDigest::hexString;

#define REAL_PACKAGE(variable, packageAndVersion)                                                            \
    const auto variable = RealSignatures::package(packageAndVersion);                                        \
    if (!variable) {                                                                                         \
        GTEST_SKIP() << packageAndVersion << " is not in " << RealSignatures::folder()                       \
                     << ": scripts/fetch-real-signatures.sh fetches it";                                     \
    }

// Real signatures are anchored at Apple's roots, not at the fixtures'.
ZRCodeSignatureChecker::Result check(const std::filesystem::path& path,
                                     ZRCodeSignatureCheckOptions options = 0) {
    return CodeSigningTestSupport::check(path, options, false);
}

/// The parsed signature of a slice, from a mapping that the caller keeps.
ZREmbeddedSignature signatureOf(const ZRMappedFile& file, std::size_t slice = 0) {
    const auto parsed = ZRMachOFile::parse(file.bytes());
    EXPECT_TRUE(parsed);
    return ZREmbeddedSignature::parse(parsed->slices()[slice].signatureBytes()).value();
}

std::shared_ptr<const ZRMappedFile> map(const std::filesystem::path& path) {
    std::error_code error;
    auto file = ZRMappedFile::open(path, ZRMappedFile::Links::follow, error);
    EXPECT_TRUE(file) << error.message();
    return file;
}

TEST(RealSignatures, DeveloperIDWithTwoCodeDirectoriesAndATimestamp) {
    REAL_PACKAGE(folder, "@expo/ngrok-bin-darwin-arm64@2.3.41");
    const auto path = *folder / "ngrok";
    const auto result = check(path);
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_EQ(names(*result), "darwin_arm64 | TEX8MHRDQ9 | ngrok LLC | TEX8MHRDQ9 | Apple Inc.");
    EXPECT_EQ(hexString(*result->codeDirectoryHash()), "c06d0b06676e52f6797f978db32ed2867b033c87");
    EXPECT_EQ(result->certificates()->size(), 3U);
    EXPECT_FALSE(result->usedExtraTrustAnchor());

    const auto file = map(path);
    const auto signature = signatureOf(*file);
    ASSERT_EQ(signature.codeDirectories().size(), 2U);
    // The certificates come apart from the rest of Apple's encoding.
    ASSERT_TRUE(signature.cmsSignature());
    const auto split = ZRCMSCertificateSplit::split(*signature.cmsSignature());
    ASSERT_TRUE(split);
    std::vector<std::vector<std::uint8_t>> apart;
    for (const auto encoding : split->certificates) {
        apart.emplace_back(encoding.begin(), encoding.end());
    }
    const auto& chain = *result->certificates();
    EXPECT_TRUE(std::is_permutation(apart.begin(), apart.end(), chain.begin(), chain.end()));
    const auto& base = signature.codeDirectories()[0];
    EXPECT_EQ(std::tuple(base.version(), base.flags(), base.codeSlotCount()),
              std::tuple(0x20200U, 0x10000U, 7198U));
    EXPECT_EQ(hexString(base.cdhash()), "08ca5529b9ef02c0c91199261d6b83ad2cef5fed");
    EXPECT_EQ(hexString(signature.bestCodeDirectory().fullHash()),
              "c06d0b06676e52f6797f978db32ed2867b033c875c6bb2d4eb6b8227f292c2da");

    const auto infos = ZRCodeInfo::readFromFileURL(path, true);
    ASSERT_EQ(infos.size(), 1U);
    EXPECT_EQ(hexString(*infos[0].cdHash), "08ca5529b9ef02c0c91199261d6b83ad2cef5fed");
    EXPECT_TRUE(infos[0].hasTrustedSignature());
    EXPECT_EQ(infos[0].authorDisplayStringWithTeamID(), "ngrok LLC (TEX8MHRDQ9)");
    EXPECT_EQ(infos[0].rootCACommonName, "Apple Root CA");
}

TEST(RealSignatures, DeveloperIDWithOneSHA256CodeDirectory) {
    REAL_PACKAGE(folder, "@expo/ngrok-bin-darwin-x64@2.3.41");
    const auto path = *folder / "ngrok";
    const auto result = check(path);
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_EQ(result->identifier(), "darwin_amd64");
    EXPECT_EQ(hexString(*result->codeDirectoryHash()), "0f53ce99ad2c675b202981e4ddf335f6ab734dea");
    const auto file = map(path);
    const auto signature = signatureOf(*file);
    ASSERT_EQ(signature.codeDirectories().size(), 1U);
    EXPECT_EQ(signature.codeDirectories()[0].version(), 0x20400U);
}

TEST(RealSignatures, ABundleExecutableValidatesWithItsInfoPlistAndResourceDirectory) {
    REAL_PACKAGE(folder, "osx-notifier@0.2.2");
    const auto contents = *folder / "osx" / "terminal-notifier-info.app" / "Contents";
    const auto executable = contents / "MacOS" / "terminal-notifier";
    // Alone, the executable lacks the Info.plist its signature binds.
    EXPECT_EQ(check(executable)->validity(), 3U);

    auto request = ZRCodeSignatureChecker::requestForOptions(executable, 0);
    request.infoPlist = CodeSigningFixtures::read(contents / "Info.plist");
    request.resourceDirectory = CodeSigningFixtures::read(contents / "_CodeSignature" / "CodeResources");
    const auto outcome = ZRCodeSignatureValidator::validate(request);
    EXPECT_EQ(outcome.status, 0) << outcome.description;
    EXPECT_EQ(hexString(outcome.information.cdhash), "7422e08dedef5837107239af3e84a6d92d23e43d");
    const auto result = ZRCodeSignatureChecker::resultForValidation(outcome, executable, 0);
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_EQ(names(*result), "nl.superalloy.oss.notify.terminal-notifier | - | Springest Corporate B.V. | "
                              "LS4R756LZZ | Apple Inc.");

    const auto file = map(executable);
    const auto signature = signatureOf(*file);
    const auto& directory = signature.codeDirectories()[0];
    EXPECT_EQ(std::tuple(directory.version(), directory.specialSlotCount(), directory.codeSlotCount(),
                         directory.codeLimit()),
              std::tuple(0x20100U, 3U, 8U, 30496U));

    auto edited = request;
    edited.infoPlist->push_back('\n');
    EXPECT_EQ(ZRCodeSignatureValidator::validate(edited).status, ZROSStatus::errSecCSInfoPlistFailed);
    auto resources = request;
    resources.resourceDirectory->push_back('\n');
    EXPECT_EQ(ZRCodeSignatureValidator::validate(resources).status,
              ZROSStatus::errSecCSResourceDirectoryFailed);

    for (const auto& [name, identifier, cdhash] :
         {std::tuple{"terminal-notifier-pass.app", "nl.superalloy.oss.success.terminal-notifier",
                     "542ad1c598e87ea6e28e72c9a963a9f1fa90ce64"},
          std::tuple{"terminal-notifier-fail.app", "nl.superalloy.oss.failed.terminal-notifier",
                     "91ed2ecae29089eaca33c22453047382b80866f2"}}) {
        const auto other = *folder / "osx" / name / "Contents";
        auto otherRequest =
            ZRCodeSignatureChecker::requestForOptions(other / "MacOS" / "terminal-notifier", 0);
        otherRequest.infoPlist = CodeSigningFixtures::read(other / "Info.plist");
        const auto otherOutcome = ZRCodeSignatureValidator::validate(otherRequest);
        EXPECT_EQ(otherOutcome.status, 0) << otherOutcome.description;
        EXPECT_EQ(otherOutcome.information.identifier, identifier);
        EXPECT_EQ(hexString(otherOutcome.information.cdhash), cdhash);
    }
}

TEST(RealSignatures, UniversalFileWithAnUnsignedAndALinkerSignedSlice) {
    REAL_PACKAGE(folder, "fsevents@2.3.3");
    const auto path = *folder / "fsevents.node";
    EXPECT_EQ(check(path)->validity(), 4U);
    const auto infos = ZRCodeInfo::readFromFileURL(path, false);
    ASSERT_EQ(infos.size(), 2U);
    EXPECT_EQ(infos[0].signatureCertificateType, Type::none);
    EXPECT_EQ(infos[1].signatureCertificateType, Type::adhoc);
    EXPECT_EQ(infos[1].cdIdentifier, "fsevents.node");
    EXPECT_EQ(hexString(*infos[1].cdHash256).substr(0, 40), "8c4bc119d234ef99eb186d1f92dc1882732fda60");

    const auto file = map(path);
    const auto parsed = ZRMachOFile::parse(file->bytes());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->slices()[0].fileOffset, 16384U);
    EXPECT_EQ(parsed->slices()[1].fileOffset, 98304U);
    const auto signature = signatureOf(*file, 1);
    EXPECT_EQ(signature.codeDirectories()[0].flags(), 0x20002U);
    EXPECT_EQ(signature.codeDirectories()[0].version(), 0x20400U);
    EXPECT_FALSE(signature.cmsSignature());
}

TEST(RealSignatures, AdhocUniversalExecutableWithSixteenKilobytePages) {
    REAL_PACKAGE(folder, "xcodebuildmcp@2.7.0");
    const auto path = *folder / "bundled" / "axe";
    EXPECT_EQ(verdict(*check(path)), "5 adhoc");
    EXPECT_EQ(check(path, ZRCodeSignatureCheckSkipRequirement)->validity(), 5U);
    const auto infos = ZRCodeInfo::readFromFileURL(path, false);
    ASSERT_EQ(infos.size(), 2U);
    EXPECT_EQ(hexString(*infos[0].cdHash256).substr(0, 40), "613c189a888259f3afb4698ecd090d42c5e72260");
    EXPECT_EQ(hexString(*infos[1].cdHash256).substr(0, 40), "4c1e75334dfd038b025054725cabdc8aba78684d");
    const auto file = map(path);
    EXPECT_EQ(signatureOf(*file, 1).codeDirectories()[0].pageSizeShift(), 14);
}

TEST(RealSignatures, AdhocFrameworkExecutableBindsItsInfoPlistAndResourceSeal) {
    REAL_PACKAGE(folder, "xcodebuildmcp@2.7.0");
    const auto version = *folder / "bundled" / "Frameworks" / "FBControlCore.framework" / "Versions" / "A";
    auto request = ZRCodeSignatureChecker::requestForOptions(version / "FBControlCore",
                                                             ZRCodeSignatureCheckSkipRequirement);
    request.infoPlist = CodeSigningFixtures::read(version / "Resources" / "Info.plist");
    request.resourceDirectory = CodeSigningFixtures::read(version / "_CodeSignature" / "CodeResources");
    const auto outcome = ZRCodeSignatureValidator::validate(request);
    EXPECT_EQ(outcome.status, 0) << outcome.description;
    EXPECT_EQ(outcome.information.identifier, "com.facebook.FBControlCore");
    EXPECT_TRUE(outcome.information.isAdhoc());
    const auto infos = ZRCodeInfo::readFromFileURL(version / "FBControlCore", false);
    ASSERT_EQ(infos.size(), 2U);
    EXPECT_EQ(hexString(*infos[0].cdHash256).substr(0, 40), "e38ca588ef3daf48577e5651d5ff83cdc7d7d960");
    EXPECT_EQ(hexString(*infos[1].cdHash256).substr(0, 40), "d657cfdad440b97b539efbbf5c6a3bebb30f0369");
}

ZRBundleSignatureValidator::Outcome validateLeniently(const std::filesystem::path& bundle) {
    auto request = ZRCodeSignatureChecker::requestForOptions(bundle, 0);
    request.strict = false;
    return ZRBundleSignatureValidator::validate({bundle, std::move(request), true});
}

TEST(RealSignatures, AVersionOneResourceSealValidatesButHandsOutNoSealedList) {
    REAL_PACKAGE(folder, "osx-notifier@0.2.2");
    const auto app = *folder / "osx" / "terminal-notifier-info.app";
    const auto result = check(app, ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_EQ(hexString(*result->codeDirectoryHash()), "7422e08dedef5837107239af3e84a6d92d23e43d");
    EXPECT_EQ(result->mainExecutableFileURL(), app / "Contents" / "MacOS" / "terminal-notifier");
    // Only "files" and "rules": nothing of the modern kind to hand out.
    EXPECT_FALSE(result->bundleResourceFileInfos().has_value());

    const auto contents = app / "Contents";
    EXPECT_EQ(ZRDigest::sha1HexDigest(CodeSigningFixtures::read(contents / "Info.plist")),
              "987eafdf7c47ab7f4e11f4178b73790da3ada5a0");
    EXPECT_EQ(
        ZRDigest::sha1HexDigest(CodeSigningFixtures::read(contents / "_CodeSignature" / "CodeResources")),
        "7a0938d3af4e3db867f909cda4a6bf3047c143fc");

    // A strict check refuses to validate resources under a version 1 seal.
    EXPECT_EQ(check(app, ZRCodeSignatureCheckValidateResources)->validity(), 0U);
    auto strictRequest = ZRCodeSignatureChecker::requestForOptions(app, 0);
    const auto strict = ZRBundleSignatureValidator::validate({app, strictRequest, true});
    EXPECT_EQ(strict.executable.status, ZROSStatus::errSecCSWeakResourceEnvelope);
    EXPECT_EQ(strict.failurePath, "Contents/_CodeSignature/CodeResources");
    const auto lenient = validateLeniently(app);
    EXPECT_EQ(lenient.executable.status, 0) << lenient.executable.description;
    EXPECT_TRUE(lenient.problems.empty());
}

TEST(RealSignatures, AVersionOneSealCoversTheLocalizedResourcesButNotPkgInfo) {
    REAL_PACKAGE(folder, "osx-notifier@0.2.2");
    const TemporaryFolder copies;
    const auto copy = [&](const std::string& name) {
        const auto target = copies.path() / name / "terminal-notifier-info.app";
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy(*folder / "osx" / "terminal-notifier-info.app", target,
                              std::filesystem::copy_options::recursive);
        return target;
    };
    const auto credits = copy("credits");
    ASSERT_TRUE(FixtureTamper::changeFile(credits / "Contents/Resources/en.lproj/Credits.rtf"));
    const auto creditsOutcome = validateLeniently(credits);
    EXPECT_EQ(creditsOutcome.executable.status, ZROSStatus::errSecCSBadResource);
    EXPECT_EQ(creditsOutcome.problems.at(ZRBundleSignatureValidator::resourceAlteredKey),
              std::vector<std::string>{"Resources/en.lproj/Credits.rtf"});

    const auto pkgInfo = copy("pkginfo");
    ASSERT_TRUE(FixtureTamper::changeFile(pkgInfo / "Contents/PkgInfo"));
    EXPECT_EQ(validateLeniently(pkgInfo).executable.status, 0);

    const auto infoPlist = copy("infoplist");
    ASSERT_TRUE(FixtureTamper::changeInfoPlist(infoPlist));
    EXPECT_EQ(validateLeniently(infoPlist).executable.status, ZROSStatus::errSecCSInfoPlistFailed);
    EXPECT_EQ(check(infoPlist, ZRCodeSignatureCheckResourceInfos)->validity(), 3U);
}

TEST(RealSignatures, AModernFrameworkSealListsFiftyThreeFilesThatAllMatch) {
    REAL_PACKAGE(folder, "xcodebuildmcp@2.7.0");
    const auto framework = *folder / "bundled" / "Frameworks" / "FBControlCore.framework";
    const auto version = framework / "Versions" / "A";
    const auto envelope = CodeSigningFixtures::read(version / "_CodeSignature" / "CodeResources");
    EXPECT_EQ(envelope.size(), 10690U);
    EXPECT_EQ(ZRDigest::sha256HexDigest(envelope),
              "b0d76d6df73428dced38bcd4b3a4f495b955c728bbc95166adf984eee7a61eb8");
    EXPECT_TRUE(ZRDigest::sha256HexDigest(CodeSigningFixtures::read(version / "Resources" / "Info.plist"))
                    .starts_with("4891bef9"));

    const auto result = check(version, ZRCodeSignatureCheckResourceInfos);
    EXPECT_EQ(verdict(*result), "5 adhoc");
    EXPECT_EQ(result->mainExecutableFileURL(), version / "FBControlCore");
    ASSERT_TRUE(result->bundleResourceFileInfos().has_value());
    EXPECT_EQ(result->bundleResourceFileInfos()->size(), 53U);
    const auto* header = result->bundleResourceFileInfos()->find("Headers/FBAccessibilityTraits.h");
    ASSERT_NE(header, nullptr);
    const auto headerBytes = CodeSigningFixtures::read(version / "Headers" / "FBAccessibilityTraits.h");
    EXPECT_EQ(hexString(*header->dictionaryValue()->find("hash2")->dataValue()),
              ZRDigest::sha256HexDigest(headerBytes));

    // Every sealed file matches, under the strict rules too.
    const auto validated =
        check(version, ZRCodeSignatureCheckValidateResources | ZRCodeSignatureCheckSkipRequirement);
    EXPECT_EQ(validated->validity(), 5U);
    EXPECT_FALSE(validated->details().has_value());

    // The package dropped the framework's links: without Versions/Current there is no current
    // version to examine.
    EXPECT_THROW(check(framework, ZRCodeSignatureCheckResourceInfos), ZRCodeSignatureCheckError);
}

} // namespace
