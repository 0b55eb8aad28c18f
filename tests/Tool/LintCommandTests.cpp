#include "Support/CodeSigningFixtures.h"
#include "Tool/LumoraToolRunner.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"

#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;
using ::testing::HasSubstr;

TEST(LintCommand, PrintsTheDocumentShapeAsJSON) {
    const auto run = runLumoraTool({"lint", "--json", "--language", "en", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto expected = json::parse(R"json({"additionalSources": [], "primarySource": {
        "type": "internal", "name": "TextEditor.plist", "developerName": "Example Software Ltd.",
        "developerWebsiteURL": "https://example.com/texteditor",
        "purpose": "A text editor that syncs documents between your devices.",
        "requiredCodeSignatureSource": {"teamIdentifier": "FIXTURE123"},
        "connections": [{}, {"isIncoming": false, "networkProtocol": "TCP", "ports": "443, 8443-8445", "relevance": "default",
                             "hostMatchingRules": [{"fuzzyDomainWildcard": "sync.example.com"}, {"ipAddresses": "192.0.2.0-192.0.2.255"}]},
                        {"hostMatchingRules": ["localNetwork"]},
                        {"ports": "*", "networkProtocol": null, "denyConsequences": null}],
        "services": [{"identifier": "webdav", "name": "Web File Sharing (WebDAV)"}]}})json");
    EXPECT_EQ(projected(json::parse(run.standardOutput), expected), expected);
}

TEST(LintCommand, TranslatesThroughTheDeclarationsOwnTables) {
    const auto run = runLumoraTool({"lint", "--json", "--language", "de-AT", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto expected =
        json::parse(R"json({"primarySource": {"services": [{"name": "Dateifreigabe im Web (WebDAV)"}],
        "purpose": "Ein Texteditor, der Dokumente zwischen Ihren Geräten abgleicht."}})json");
    EXPECT_EQ(projected(json::parse(run.standardOutput), expected), expected);
}

TEST(LintCommand, ReportsParseErrorsWithTheirCase) {
    const TemporaryFolder folder;
    const auto file = folder.write(
        "bad.json",
        R"({"ApplicationDescription": "x", "Connections": [{"Host": "a", "Purpose": "b", "Port": "80-80"}]})");
    const auto run = runLumoraTool({"lint", "--json", file.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(
        json::parse(run.standardOutput),
        json::parse(
            R"({"error": {"type": "ParseError", "case": "invalidValue", "description": "Invalid value for key port: 80-80"}})"));
    EXPECT_NE(run.standardError.find("Invalid value for key port: 80-80"), std::string::npos);
}

TEST(LintCommand, ReportsUnreadableFilesAsCorrupt) {
    const TemporaryFolder folder;
    const auto file = folder.write("broken.plist", "<?xml version=\"1.0\"?><plist><dict><key>a</key>");
    const auto run = runLumoraTool({"lint", "--json", file.string()});
    EXPECT_EQ(run.exitStatus, 1);
    const auto error = json::parse(run.standardOutput)["error"];
    const json expected{{"type", "InitializationError"}, {"case", "fileCorrupt"}};
    EXPECT_EQ(projected(error, expected), expected);
    EXPECT_THAT(error["description"].get<std::string>(), HasSubstr("broken.plist"));

    const auto missing = runLumoraTool({"lint", (folder.path() / "absent.plist").string()});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_FALSE(missing.standardError.empty());
}

TEST(LintCommand, AgreesWithCheckOnADeclarationThatIsNoDictionary) {
    const TemporaryFolder folder;
    FixtureBundleBuilder::Bundle bundle;
    bundle.name = "Listed.app";
    bundle.files = {{"Resources/Lumora.json", "[\"not\", \"a\", \"dictionary\"]"}};
    const auto application =
        FixtureBundleBuilder::write(folder.path(), bundle, CodeSigningFixtures::developerIDOptions());
    const auto rootDER = CodeSigningFixtures::hierarchy().root.der();
    const auto anchorFile = folder.write("anchor.der", std::string(rootDER.begin(), rootDER.end()));
    const auto loose = folder.write("Lumora.json", "[\"not\", \"a\", \"dictionary\"]");

    const auto check = runLumoraTool(
        {"check", "--json", "--extra-trust-anchors", anchorFile.string(), application.string()});
    ASSERT_FALSE(check.standardOutput.empty()) << check.standardError;
    const auto checked = json::parse(check.standardOutput)[0]["error"];
    const auto linted =
        json::parse(runLumoraTool({"lint", "--json", loose.string()}).standardOutput)["error"];
    EXPECT_EQ(linted["type"], checked["type"]);
    EXPECT_EQ(linted["case"], checked["case"]);
    const auto tail = [](const json& error) {
        const auto text = error["description"].get<std::string>();
        return text.substr(text.rfind(": "));
    };
    EXPECT_EQ(tail(linted), tail(checked));
    EXPECT_EQ(tail(checked), ": JSON is not a dictionary");
}

TEST(LintCommand, RejectsBadUsage) {
    for (const char* usage : {"lint", "lint --frobnicate x", "lint a b", "lint --language", "nonsense", ""}) {
        EXPECT_EQ(runLumoraTool(words(usage)).exitStatus, 2) << usage;
    }
}

TEST(LintCommand, PrintsAReadableSummary) {
    const auto run = runLumoraTool({"lint", "--language", "en", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_NE(run.standardOutput.find("Developer: Example Software Ltd."), std::string::npos);
    EXPECT_NE(run.standardOutput.find("Connections (4):"), std::string::npos);
    EXPECT_NE(run.standardOutput.find("If denied: You will not be told about updates."), std::string::npos);
}

} // namespace
