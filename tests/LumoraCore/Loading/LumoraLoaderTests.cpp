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
    /// How loading `path` fails: the error's case and the file or bundle it names, relative to the
    /// folder `path` is in; "loaded" when it does not fail.
    static std::string refusal(const fs::path& path, bool asDirectory = true) {
        const auto named = [&](std::string_view caseName, const ZRURL& url) {
            return std::string(caseName).append(" ").append(
                url.path().lexically_relative(path.parent_path()).string());
        };
        try {
            load(path, asDirectory);
        } catch (const VerifierError& error) {
            return named(error.caseName(), error.file());
        } catch (const InitializationError& error) {
            return named(error.caseName(), error.url());
        }
        return "loaded";
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

TEST_F(LumoraLoaderTest, RefusesFilesChangedAfterSigningAndSignaturesNotAnchoredAtATrustedRoot) {
    const auto changed = write(application());
    std::ofstream(changed / "Contents/Resources/Lumora.plist", std::ios::app) << " ";
    EXPECT_EQ(refusal(changed), "codeSignatureVerificationFailed Editor.app/Contents/Resources/Lumora.plist");
    const auto table = write(application(), "table");
    std::ofstream(table / "Contents/Resources/de.lproj/Lumora.strings", std::ios::app) << " ";
    EXPECT_EQ(refusal(table),
              "codeSignatureVerificationFailed Editor.app/Contents/Resources/de.lproj/Lumora.strings");

    const auto path = write(application(), "untrusted");
    const auto error = thrownBy<VerifierError>([&] { LumoraLoader::load(ZRURL::fileURL(path, true)); });
    EXPECT_EQ(error.value().errorCase(), VerifierError::Case::codeSignatureVerificationFailed);
    EXPECT_EQ(error.value().file().path(), path);
    EXPECT_THROW(load(write(application(), "adhoc", CodeSigningFixtures::adhocOptions())), VerifierError);
}

TEST_F(LumoraLoaderTest, ReportsMissingAndCorruptDeclarations) {
    auto undeclared = application();
    undeclared.files.erase(undeclared.files.begin());
    EXPECT_EQ(refusal(write(undeclared, "undeclared")), "bundleHasNoLumora Editor.app");
    EXPECT_EQ(refusal(folder.path() / "Missing.app"), "bundleNotFound Missing.app");

    auto corrupt = application();
    corrupt.files[0].contents = "<plist><array/></plist>";
    corrupt.files.push_back({"Resources/Lumora.json", R"({"ApplicationDescription": "x"})"});
    const auto corruptPath = write(corrupt, "corrupt");
    EXPECT_EQ(refusal(corruptPath), "fileCorrupt Editor.app/Contents/Resources/Lumora.plist");
    EXPECT_EQ(thrownBy<InitializationError>([&] { load(corruptPath); }).value().debugMessage(),
              "Plist is not a dictionary");
    // A corrupt declaration in a nested bundle fails the whole application.
    EXPECT_THROW(load(write(application("{"), "nested")), InitializationError);
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
    EXPECT_EQ(refusal(copied, false), "signerMismatch copied-tool");
}

TEST_F(LumoraLoaderTest, VerifierReportsWhereAMissingFileWasExpected) {
    const auto path = write(application());
    ZRBundleResourceVerifier verifier(ZRBundle::bundleWithPath(path),
                                      {CodeSigningFixtures::hierarchy().root.der()});
    const auto error =
        thrownBy<VerifierError>([&] { verifier.verifiedData("Lumora", "strings", std::nullopt, "fr"); });
    EXPECT_EQ(error.value().errorCase(), VerifierError::Case::fileNotFound);
    EXPECT_EQ(error.value().file().path(), path / "Contents/Resources/fr.lproj/Lumora.strings");
    EXPECT_EQ(verifier.localizationTable("Lumora", {"en"}).value().at("Edits text"), "Bearbeitet Text");
    // Served from the cache, whatever the disk says now.
    fs::remove(path / "Contents/Resources/de.lproj/Lumora.strings");
    EXPECT_EQ(verifier.localizationTable("Lumora", {}).value().at("Edits text"), "Bearbeitet Text");
}

// A declaration, a string table or a nested bundle's declaration that is not a regular file (a FIFO,
// a device, a link to /dev/zero, a folder) is reported as unreadable, at once.
TEST_F(LumoraLoaderTest, ReportsAFileThatIsNotRegularAsUnreadable) {
    std::size_t index = 0;
    for (const char* place : {"Resources/Lumora.plist", "Resources/de.lproj/Lumora.strings",
                              "XPCServices/Sync.xpc/Contents/Resources/Lumora.json"}) {
        for (const auto kind : SpecialFiles::availableKinds()) {
            const auto subfolder = std::to_string(index++);
            const auto path = write(application(), subfolder);
            ASSERT_TRUE(SpecialFiles::replaceWith(path / "Contents" / place, kind));
            EXPECT_EQ(refusal(path), std::string("fileReadFailed Editor.app/Contents/") + place)
                << SpecialFiles::name(kind);
        }
    }
}

// A declaration that names a required signer is accepted only from code that signer signed; each
// nested bundle is compared with its own signature.
TEST_F(LumoraLoaderTest, AcceptsOnlyTheNamedSigner) {
    const auto none = std::nullopt;
    const struct {
        std::string editorTeam;
        std::string helperTeam;
        /// The code directory version of every signature; before 0x20200 the team is the leaf's OU.
        std::uint32_t version;
        /// The helper signed apart, by a leaf without a developer marker, as this team.
        std::optional<std::string> helperSignedBy;
        /// The refusal, and the signers the error names; "loaded" when the load succeeds.
        std::string refusal;
        std::string namedSigner = {};
        std::optional<std::string> codeSigner = std::nullopt;
    } cases[] = {
        {"FIXTURE123", "FIXTURE123", 0x20400, none, "loaded"},
        {"", "", 0x20400, none, "loaded"},
        {"FIXTURE123", "", 0x20100, none, "loaded"},
        {"EXAMPLE999", "", 0x20400, none, "signerMismatch Editor.app", "EXAMPLE999", "FIXTURE123"},
        {"EXAMPLE999", "", 0x20100, none, "signerMismatch Editor.app", "EXAMPLE999", "FIXTURE123"},
        // Apple for a developer's signature.
        {"Apple", "", 0x20400, none, "signerMismatch Editor.app", "Apple", "FIXTURE123"},
        {"FIXTURE123", "EXAMPLE999", 0x20400, none, "signerMismatch Editor.app/Contents/XPCServices/Sync.xpc",
         "EXAMPLE999", "FIXTURE123"},
        // The parent's team for a nested bundle signed by another.
        {"FIXTURE123", "FIXTURE123", 0x20400, "OTHER99999",
         "signerMismatch Editor.app/Contents/XPCServices/Sync.xpc", "FIXTURE123", "OTHER99999"},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& signer = cases[index];
        SCOPED_TRACE(index);
        auto bundle = application(R"({"ApplicationDescription": "Syncs", "CodeSignatureTeamIdentifier": ")" +
                                  signer.helperTeam + "\"}");
        bundle.files[0].contents = editorDeclaration(signer.editorTeam);
        auto signing = CodeSigningFixtures::developerIDOptions();
        signing.version = signer.version;
        if (signer.helperSignedBy) {
            auto helperSigning =
                CodeSigningFixtures::optionsSignedBy(CodeSigningFixtures::hierarchy().plainLeaf);
            helperSigning.teamIdentifier = signer.helperSignedBy;
            bundle.nestedBundles[1].signing = helperSigning;
        }
        const auto path = write(bundle, "", signing);
        EXPECT_EQ(refusal(path), signer.refusal);
        if (signer.refusal != "loaded") {
            const auto error = thrownBy<InitializationError>([&] { load(path); }).value();
            EXPECT_EQ(error.namedSigner(), signer.namedSigner);
            EXPECT_EQ(error.codeSigner(), signer.codeSigner);
            EXPECT_NE(error.errorDescription().find(signer.namedSigner), std::string::npos)
                << error.errorDescription();
        }
        fs::remove_all(path);
    }
}

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
    EXPECT_EQ(error.value().codeSigner(), std::nullopt);
    EXPECT_EQ(error.value().errorDescription(),
              "Das Lumora-Dokument von „/Applications/Tool.app“ nennt das Team Apple "
              "als Signierer, der Code ist aber von einem Zertifikat ohne Team signiert.");
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

// The declarations shown are exactly the ones the developer sealed: nested bundles must be the nested
// code the parent sealed, and nothing sealed that declares may go missing.
TEST_F(LumoraLoaderTest, LoadsOnlyWhatWasSealed) {
    const struct {
        std::function<void(const fs::path& application)> change;
        /// The refusal and the item it names, within the application; "loaded" when the load succeeds.
        std::string refusal;
    } cases[] = {
        {[](const fs::path&) {}, "loaded"},
        {[](const fs::path& app) { fs::remove(app / "Contents/Resources/Lumora.plist"); },
         "sealedFileMissing Editor.app/Contents/Resources/Lumora.plist"},
        // A string table the load does not read.
        {[](const fs::path& app) { fs::remove(app / "Contents/Resources/en.lproj/Lumora.strings"); },
         "sealedFileMissing Editor.app/Contents/Resources/en.lproj/Lumora.strings"},
        {[](const fs::path& app) {
             fs::remove(app / "Contents/XPCServices/Sync.xpc/Contents/Resources/Lumora.json");
         },
         "sealedFileMissing Editor.app/Contents/XPCServices/Sync.xpc/Contents/Resources/Lumora.json"},
        {[](const fs::path& app) { fs::remove_all(app / "Contents/XPCServices/Sync.xpc"); },
         "sealedFileMissing Editor.app/Contents/XPCServices/Sync.xpc"},
        // A nested bundle without a declaration.
        {[](const fs::path& app) { fs::remove_all(app / "Contents/XPCServices/Quiet.xpc"); },
         "sealedFileMissing Editor.app/Contents/XPCServices/Quiet.xpc"},
        // A nested bundle replaced by a link to itself moved out.
        {[](const fs::path& app) {
             fs::rename(app / "Contents/XPCServices/Sync.xpc", app.parent_path() / "Sync.xpc");
             fs::create_directory_symlink(app.parent_path() / "Sync.xpc",
                                          app / "Contents/XPCServices/Sync.xpc");
         },
         "sealedFileMissing Editor.app/Contents/XPCServices/Sync.xpc"},
        {replaceHelper, "codeSignatureVerificationFailed Editor.app/Contents/XPCServices/Sync.xpc"},
        // A signed bundle added.
        {[](const fs::path& app) {
             auto extra = ::application().nestedBundles[1].bundle;
             extra.name = "Extra.framework";
             FixtureBundleBuilder::write(app / "Contents/Frameworks", extra, nestedSigning());
         },
         "nestedCodeNotSealed Editor.app/Contents/Frameworks/Extra.framework"},
        // A nested bundle replaced and the application sealed again.
        {[](const fs::path& app) {
             replaceHelper(app);
             FixtureBundleBuilder::resign(app, ::application(), CodeSigningFixtures::developerIDOptions());
         },
         "loaded"},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto path = write(application(), std::to_string(index));
        cases[index].change(path);
        EXPECT_EQ(refusal(path), cases[index].refusal) << index;
    }
}

} // namespace
