#include "Code/Loading/LumoraLoader.h"
#include "Code/Loading/LumoraRequiredSigner.h"
#include "Code/Loading/ZRBundleResourceVerifier.h"
#include "Code/Model/LumoraSource.h"
#include "Support/CodeSigningFixtures.h"
#include "Support/LanguageOverride.h"
#include "Support/SpecialFiles.h"
#include "Support/TemporaryFolder.h"
#include "Support/Thrown.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureMachOBuilder.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Bundle = FixtureBundleBuilder::Bundle;
using VerifierError = ZRBundleResourceVerifier::Error;
using InitializationError = Lumora::InitializationError;

LumoraLoader::Options trustingFixtures() {
    return {{CodeSigningFixtures::hierarchy().root.der()}};
}

std::string editorDeclaration(const std::string& requiredTeam = "") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CodeSignatureTeamIdentifier</key><string>)" +
           requiredTeam + R"(</string>
  <key>ApplicationDescription</key><string>Edits text</string>
  <key>Connections</key><array><dict>
    <key>Host</key><string>updates.example.com</string>
    <key>Purpose</key><string>Checks for updates</string>
  </dict></array>
</dict></plist>)";
}

Bundle application(std::string helperDeclaration = R"({"ApplicationDescription": "Syncs for %APPNAME%"})") {
    Bundle helper;
    helper.name = "Sync.xpc";
    helper.identifier = "com.example.editor.sync";
    helper.executableName = "Sync";
    helper.files = {{"Resources/Lumora.json", std::move(helperDeclaration)}};
    helper.seed = 2;
    Bundle quiet;
    quiet.name = "Quiet.xpc";
    quiet.identifier = "com.example.editor.quiet";
    quiet.executableName = "Quiet";
    quiet.seed = 3;

    Bundle editor;
    editor.name = "Editor.app";
    editor.identifier = "com.example.editor";
    editor.executableName = "Editor";
    editor.files = {{"Resources/Lumora.plist", editorDeclaration()},
                    {"Resources/de.lproj/Lumora.strings", "\"Edits text\" = \"Bearbeitet Text\";"},
                    {"Resources/en.lproj/Lumora.strings", "\"Checks for updates\" = \"Looks for updates\";"}};
    editor.nestedBundles = {{"XPCServices", quiet}, {"XPCServices", helper}};
    return editor;
}

class LumoraLoaderTest : public testing::Test {
protected:
    const LanguageOverride language{{"de"}};

    fs::path write(const Bundle& bundle, const std::string& subfolder = "",
                   const FixtureSigner::Options& signing = CodeSigningFixtures::developerIDOptions()) {
        return FixtureBundleBuilder::write(folder.path() / subfolder, bundle, signing);
    }
    static Lumora load(const fs::path& path, bool asDirectory = true) {
        return LumoraLoader::load(ZRURL::fileURL(path, asDirectory), trustingFixtures());
    }
    TemporaryFolder folder;
};

TEST_F(LumoraLoaderTest, LoadsTheApplicationAndItsNestedBundles) {
    const auto document = load(write(application()));
    EXPECT_TRUE(document.isTrustedThroughExtraAnchor());
    const auto& primary = *document.primarySource();
    EXPECT_EQ(primary.localizedName(), "Editor");
    EXPECT_EQ(primary.localizedPurpose(), "Bearbeitet Text.");
    // Not in the German table: the English fallback is not consulted for a found table.
    EXPECT_EQ(primary.connectionDescriptions().at(0).localizedPurpose(), "Checks for updates.");
    EXPECT_EQ(primary.developerName(), "Fixture Developer");
    EXPECT_EQ(primary.policyFileURL().lastPathComponent(), "Lumora.plist");
    ASSERT_EQ(document.additionalSources().size(), 1U);
    EXPECT_EQ(document.additionalSources()[0]->localizedPurpose(), "Syncs for Editor.");
    EXPECT_EQ(document.additionalSources()[0]->localizedName(), "Sync.xpc");
}

TEST_F(LumoraLoaderTest, RefusesFilesChangedAfterSigning) {
    const auto path = write(application());
    std::ofstream(path / "Contents/Resources/Lumora.plist", std::ios::app) << " ";
    const auto error = thrownBy<VerifierError>([&] { load(path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VerifierError::Case::codeSignatureVerificationFailed);
    EXPECT_EQ(error->file().lastPathComponent(), "Lumora.plist");
    // A tampered string table fails the load too.
    const auto other = write(application(), "second");
    std::ofstream(other / "Contents/Resources/de.lproj/Lumora.strings", std::ios::app) << " ";
    EXPECT_THROW(load(other), VerifierError);
}

TEST_F(LumoraLoaderTest, ReportsBundlesWithoutADeclaration) {
    auto bundle = application();
    bundle.files.erase(bundle.files.begin());
    const auto error = thrownBy<InitializationError>([&] { load(write(bundle)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), InitializationError::Case::bundleHasNoLumora);
    const auto missing = thrownBy<InitializationError>([&] { load(folder.path() / "Missing.app"); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->errorCase(), InitializationError::Case::bundleNotFound);
}

TEST_F(LumoraLoaderTest, ReportsCorruptDeclarations) {
    auto bundle = application();
    bundle.files[0].contents = "<plist><array/></plist>";
    bundle.files.push_back({"Resources/Lumora.json", R"({"ApplicationDescription": "x"})"});
    const auto error = thrownBy<InitializationError>([&] { load(write(bundle)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), InitializationError::Case::fileCorrupt);
    EXPECT_EQ(error->debugMessage(), "Plist is not a dictionary");
    // A corrupt declaration in a nested bundle fails the whole application.
    EXPECT_THROW(load(write(application("{"), "nested")), InitializationError);
}

TEST_F(LumoraLoaderTest, RefusesSignaturesNotAnchoredAtATrustedRoot) {
    const auto path = write(application());
    const auto error = thrownBy<VerifierError>([&] { LumoraLoader::load(ZRURL::fileURL(path, true)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VerifierError::Case::codeSignatureVerificationFailed);
    EXPECT_EQ(error->file().path(), path);
    EXPECT_THROW(load(write(application(), "adhoc", CodeSigningFixtures::adhocOptions())), VerifierError);
}

TEST_F(LumoraLoaderTest, LoadsTheDeclarationEmbeddedInAnExecutable) {
    FixtureMachOBuilder::Executable executable;
    executable.infoPlist = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
      <key>CFBundleIdentifier</key><string>com.example.tool</string>
      <key>Lumora</key><dict>
        <key>ApplicationDescription</key><string>A tool</string>
        <key>Localizations</key><dict><key>de</key><dict><key>A tool</key><string>Ein Werkzeug</string></dict></dict>
      </dict></dict></plist>)";
    auto signing = CodeSigningFixtures::developerIDOptions();
    signing.identifier = "com.example.tool";
    const auto path = CodeSigningFixtures::write(folder, "tool", FixtureSigner::sign(executable, signing));
    const auto document = load(path, false);
    EXPECT_EQ(document.primarySource()->localizedPurpose(), "Ein Werkzeug.");
    EXPECT_TRUE(document.additionalSources().empty());

    const auto adhoc = FixtureSigner::sign(executable, CodeSigningFixtures::adhocOptions());
    EXPECT_THROW(load(CodeSigningFixtures::write(folder, "adhoc-tool", adhoc), false), VerifierError);

    // The embedded form is bound to its signer too.
    const std::string description = "<key>ApplicationDescription</key>";
    executable.infoPlist->insert(executable.infoPlist->find(description),
                                 "<key>CodeSignatureTeamIdentifier</key><string>EXAMPLE999</string>");
    const auto copied =
        CodeSigningFixtures::write(folder, "copied-tool", FixtureSigner::sign(executable, signing));
    const auto mismatch = thrownBy<InitializationError>([&] { load(copied, false); });
    ASSERT_TRUE(mismatch);
    EXPECT_EQ(mismatch->errorCase(), InitializationError::Case::signerMismatch);
}

TEST_F(LumoraLoaderTest, VerifierReportsWhereAMissingFileWasExpected) {
    const auto path = write(application());
    ZRBundleResourceVerifier verifier(ZRBundle::bundleWithPath(path),
                                      {CodeSigningFixtures::hierarchy().root.der()});
    const auto error =
        thrownBy<VerifierError>([&] { verifier.verifiedData("Lumora", "strings", std::nullopt, "fr"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VerifierError::Case::fileNotFound);
    EXPECT_EQ(error->file().path(), path / "Contents/Resources/fr.lproj/Lumora.strings");
    const auto table = verifier.localizationTable("Lumora", {"en"});
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ(table->at("Edits text"), "Bearbeitet Text");
    // Served from the cache, whatever the disk says now.
    fs::remove(path / "Contents/Resources/de.lproj/Lumora.strings");
    EXPECT_EQ(verifier.localizationTable("Lumora", {})->at("Edits text"), "Bearbeitet Text");
}

/// A declaration, a string table or a nested bundle's declaration that is not a regular file
/// (a FIFO, a device, a link to /dev/zero, a folder) is reported as unreadable, at once.
class LumoraLoaderNonRegularFileTest
    : public LumoraLoaderTest,
      public testing::WithParamInterface<std::tuple<std::string, SpecialFiles::Kind>> {};

TEST_P(LumoraLoaderNonRegularFileTest, ReportsTheFileAsUnreadable) {
    const auto& [place, kind] = GetParam();
    const auto path = write(application());
    ASSERT_TRUE(SpecialFiles::replaceWith(path / "Contents" / place, kind));
    const auto error = thrownBy<VerifierError>([&] { load(path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), VerifierError::Case::fileReadFailed);
    EXPECT_EQ(error->file().path(), path / "Contents" / place);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlaceAndKind, LumoraLoaderNonRegularFileTest,
    testing::Combine(testing::Values("Resources/Lumora.plist", "Resources/de.lproj/Lumora.strings",
                                     "XPCServices/Sync.xpc/Contents/Resources/Lumora.json"),
                     testing::ValuesIn(SpecialFiles::availableKinds())),
    [](const auto& testCase) {
        auto name = std::get<0>(testCase.param) + "_" + SpecialFiles::name(std::get<1>(testCase.param));
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

/// A declaration that names a required signer is accepted only from code that signer signed;
/// each nested bundle is compared with its own signature.
struct SignerCase {
    std::string name;
    std::string editorTeam;
    std::string helperTeam;
    /// The code directory version of every signature; before 0x20200 the team is the leaf's OU.
    std::uint32_t version = 0x20400;
    /// The helper signed apart, by a leaf without a developer marker, as this team.
    std::optional<std::string> helperSignedBy = std::nullopt;
    /// The refused bundle, and the signers the error names; none when the load succeeds.
    std::optional<std::string> refused = std::nullopt;
    std::string namedSigner = {};
    std::optional<std::string> codeSigner = std::nullopt;
    friend void PrintTo(const SignerCase& signer, std::ostream* stream) { *stream << signer.name; }
};

class LumoraLoaderSignerTest : public LumoraLoaderTest, public testing::WithParamInterface<SignerCase> {};

TEST_P(LumoraLoaderSignerTest, AcceptsOnlyTheNamedSigner) {
    const auto& signer = GetParam();
    auto bundle = application(R"({"ApplicationDescription": "Syncs", "CodeSignatureTeamIdentifier": ")" +
                              signer.helperTeam + "\"}");
    bundle.files[0].contents = editorDeclaration(signer.editorTeam);
    auto signing = CodeSigningFixtures::developerIDOptions();
    signing.version = signer.version;
    if (signer.helperSignedBy) {
        auto helperSigning = CodeSigningFixtures::optionsSignedBy(CodeSigningFixtures::hierarchy().plainLeaf);
        helperSigning.teamIdentifier = signer.helperSignedBy;
        bundle.nestedBundles[1].signing = helperSigning;
    }
    const auto path = write(bundle, "", signing);
    if (!signer.refused) {
        EXPECT_EQ(load(path).additionalSources().size(), 1U);
        return;
    }
    const auto error = thrownBy<InitializationError>([&] { load(path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), InitializationError::Case::signerMismatch);
    EXPECT_EQ(error->url().lastPathComponent(), *signer.refused);
    EXPECT_EQ(error->namedSigner(), signer.namedSigner);
    EXPECT_EQ(error->codeSigner(), signer.codeSigner);
    EXPECT_NE(error->errorDescription().find(signer.namedSigner), std::string::npos)
        << error->errorDescription();
}

INSTANTIATE_TEST_SUITE_P(
    Signers, LumoraLoaderSignerTest,
    testing::Values(SignerCase{"TheSigningTeam", "FIXTURE123", "FIXTURE123"},
                    SignerCase{"NoRequiredSigner", "", ""},
                    SignerCase{"TheCertificateUnitOfAnOldCodeDirectory", "FIXTURE123", "", 0x20100},
                    SignerCase{"AnotherTeam", "EXAMPLE999", "", 0x20400, std::nullopt, "Editor.app",
                               "EXAMPLE999", "FIXTURE123"},
                    SignerCase{"AnotherTeamThanAnOldCodeDirectorysSigner", "EXAMPLE999", "", 0x20100,
                               std::nullopt, "Editor.app", "EXAMPLE999", "FIXTURE123"},
                    SignerCase{"AppleForADeveloperSignature", "Apple", "", 0x20400, std::nullopt,
                               "Editor.app", "Apple", "FIXTURE123"},
                    SignerCase{"AnotherTeamInANestedBundle", "FIXTURE123", "EXAMPLE999", 0x20400,
                               std::nullopt, "Sync.xpc", "EXAMPLE999", "FIXTURE123"},
                    SignerCase{"TheParentsTeamForANestedBundleSignedByAnother", "FIXTURE123", "FIXTURE123",
                               0x20400, "OTHER99999", "Sync.xpc", "FIXTURE123", "OTHER99999"}),
    [](const auto& testCase) { return testCase.param.name; });

TEST(LumoraRequiredSigner, AppleMeansACertificateOfApple) {
    const LanguageOverride language{{"de"}};
    const auto url = ZRURL::fileURL("/Applications/Tool.app", true);
    const Lumora::Source source(Lumora::Source::SourceType::internal, url, url, std::nullopt, std::nullopt,
                                "", {}, {}, Lumora::CodeSignatureSource::apple());
    const auto signedBy = [](ZRCodeSignatureCertificateType type) {
        return ZRCodeSignatureCheckResult(std::nullopt, ZRCodeSignatureCheckResult::validityValid, type,
                                          std::nullopt, std::nullopt);
    };
    EXPECT_NO_THROW(LumoraRequiredSigner::verify(source, signedBy(ZRCodeSignatureCertificateType::apple)));
    const auto error = thrownBy<InitializationError>(
        [&] { LumoraRequiredSigner::verify(source, signedBy(ZRCodeSignatureCertificateType::macAppStore)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->codeSigner(), std::nullopt);
    EXPECT_EQ(error->errorDescription(),
              "Das Lumora-Dokument von „/Applications/Tool.app“ nennt das Team Apple "
              "als Signierer, der Code ist aber von einem Zertifikat ohne Team signiert.");
}

/// The declarations shown are exactly the ones the developer sealed: nested bundles must be the
/// nested code the parent sealed, and nothing sealed that declares may go missing.
struct SealCase {
    std::string name;
    std::function<void(const fs::path& application)> change;
    /// The refusal and the item it names (relative to the application); none when the load succeeds.
    std::optional<VerifierError::Case> refusal = std::nullopt;
    std::string item = {};
    friend void PrintTo(const SealCase& seal, std::ostream* stream) { *stream << seal.name; }
};

class LumoraLoaderSealTest : public LumoraLoaderTest, public testing::WithParamInterface<SealCase> {};

TEST_P(LumoraLoaderSealTest, LoadsOnlyWhatWasSealed) {
    const auto& seal = GetParam();
    const auto path = write(application());
    seal.change(path);
    if (!seal.refusal) {
        EXPECT_NO_THROW(load(path));
        return;
    }
    const auto error = thrownBy<VerifierError>([&] { load(path); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorCase(), *seal.refusal) << error->caseName();
    EXPECT_EQ(error->file().path(), path / seal.item);
}

FixtureSigner::Options nestedSigning() {
    auto signing = CodeSigningFixtures::developerIDOptions();
    signing.designatedRequirement.reset();
    return signing;
}

// The helper signed on its own, with another declaration, in the editor's XPC services.
void replaceHelper(const fs::path& application) {
    auto helper = ::application().nestedBundles[1].bundle;
    helper.files[0].contents = R"({"ApplicationDescription": "Uploads everything"})";
    fs::remove_all(application / "Contents/XPCServices/Sync.xpc");
    FixtureBundleBuilder::write(application / "Contents/XPCServices", helper, nestedSigning());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, LumoraLoaderSealTest,
    testing::Values(
        SealCase{"Unchanged", [](const fs::path&) {}},
        SealCase{"MainDeclarationRemoved",
                 [](const fs::path& app) { fs::remove(app / "Contents/Resources/Lumora.plist"); },
                 VerifierError::Case::sealedFileMissing, "Contents/Resources/Lumora.plist"},
        SealCase{"UnreadStringTableRemoved",
                 [](const fs::path& app) { fs::remove(app / "Contents/Resources/en.lproj/Lumora.strings"); },
                 VerifierError::Case::sealedFileMissing, "Contents/Resources/en.lproj/Lumora.strings"},
        SealCase{"NestedDeclarationRemoved",
                 [](const fs::path& app) {
                     fs::remove(app / "Contents/XPCServices/Sync.xpc/Contents/Resources/Lumora.json");
                 },
                 VerifierError::Case::sealedFileMissing,
                 "Contents/XPCServices/Sync.xpc/Contents/Resources/Lumora.json"},
        SealCase{"NestedBundleRemoved",
                 [](const fs::path& app) { fs::remove_all(app / "Contents/XPCServices/Sync.xpc"); },
                 VerifierError::Case::sealedFileMissing, "Contents/XPCServices/Sync.xpc"},
        SealCase{"NestedBundleWithoutDeclarationRemoved",
                 [](const fs::path& app) { fs::remove_all(app / "Contents/XPCServices/Quiet.xpc"); },
                 VerifierError::Case::sealedFileMissing, "Contents/XPCServices/Quiet.xpc"},
        SealCase{"NestedBundleReplacedByALink",
                 [](const fs::path& app) {
                     fs::rename(app / "Contents/XPCServices/Sync.xpc", app.parent_path() / "Sync.xpc");
                     fs::create_directory_symlink(app.parent_path() / "Sync.xpc",
                                                  app / "Contents/XPCServices/Sync.xpc");
                 },
                 VerifierError::Case::sealedFileMissing, "Contents/XPCServices/Sync.xpc"},
        SealCase{"NestedBundleReplaced", replaceHelper, VerifierError::Case::codeSignatureVerificationFailed,
                 "Contents/XPCServices/Sync.xpc"},
        SealCase{"SignedBundleAdded",
                 [](const fs::path& app) {
                     auto extra = ::application().nestedBundles[1].bundle;
                     extra.name = "Extra.framework";
                     FixtureBundleBuilder::write(app / "Contents/Frameworks", extra, nestedSigning());
                 },
                 VerifierError::Case::nestedCodeNotSealed, "Contents/Frameworks/Extra.framework"},
        SealCase{"NestedBundleReplacedAndResealed",
                 [](const fs::path& app) {
                     replaceHelper(app);
                     FixtureBundleBuilder::resign(app, ::application(),
                                                  CodeSigningFixtures::developerIDOptions());
                 }}),
    [](const auto& testCase) { return testCase.param.name; });

} // namespace
