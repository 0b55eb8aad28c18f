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
    const auto output = json::parse(run.standardOutput);
    EXPECT_TRUE(output["additionalSources"].empty());
    const auto& source = output["primarySource"];
    EXPECT_EQ(source["type"], "internal");
    EXPECT_EQ(source["name"], "TextEditor.plist");
    EXPECT_EQ(source["developerName"], "Example Software Ltd.");
    EXPECT_EQ(source["developerWebsiteURL"], "https://example.com/texteditor");
    EXPECT_EQ(source["purpose"], "A text editor that syncs documents between your devices.");
    EXPECT_EQ(source["requiredCodeSignatureSource"], (json{{"teamIdentifier", "FIXTURE123"}}));
    ASSERT_EQ(source["connections"].size(), 4U);
    const auto& sync = source["connections"][1];
    EXPECT_EQ(sync["isIncoming"], false);
    EXPECT_EQ(
        sync["hostMatchingRules"],
        json::parse(
            R"([{"fuzzyDomainWildcard": "sync.example.com"}, {"ipAddresses": "192.0.2.0-192.0.2.255"}])"));
    EXPECT_EQ(sync["networkProtocol"], "TCP");
    EXPECT_EQ(sync["ports"], "443, 8443-8445");
    EXPECT_EQ(sync["relevance"], "default");
    EXPECT_EQ(source["connections"][2]["hostMatchingRules"], json::parse(R"(["localNetwork"])"));
    EXPECT_EQ(source["connections"][3]["ports"], "*");
    EXPECT_EQ(source["connections"][3]["networkProtocol"], nullptr);
    EXPECT_EQ(source["connections"][3]["denyConsequences"], nullptr);
    ASSERT_EQ(source["services"].size(), 1U);
    EXPECT_EQ(source["services"][0]["identifier"], "webdav");
    EXPECT_EQ(source["services"][0]["name"], "Web File Sharing (WebDAV)");
}

TEST(LintCommand, TranslatesThroughTheDeclarationsOwnTables) {
    const auto run = runLumoraTool({"lint", "--json", "--language", "de-AT", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    EXPECT_EQ(output["primarySource"]["purpose"],
              "Ein Texteditor, der Dokumente zwischen Ihren Geräten abgleicht.");
    EXPECT_EQ(output["primarySource"]["services"][0]["name"], "Dateifreigabe im Web (WebDAV)");
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
    const auto output = json::parse(run.standardOutput);
    EXPECT_EQ(output["error"]["type"], "InitializationError");
    EXPECT_EQ(output["error"]["case"], "fileCorrupt");
    EXPECT_THAT(output["error"]["description"].get<std::string>(), HasSubstr("broken.plist"));

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
    EXPECT_EQ(runLumoraTool({"lint"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"lint", "--frobnicate", "x"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"lint", "a", "b"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"lint", "--language"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"nonsense"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({}).exitStatus, 2);
}

TEST(LintCommand, PrintsAReadableSummary) {
    const auto run = runLumoraTool({"lint", "--language", "en", exampleDeclaration});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_NE(run.standardOutput.find("Developer: Example Software Ltd."), std::string::npos);
    EXPECT_NE(run.standardOutput.find("Connections (4):"), std::string::npos);
    EXPECT_NE(run.standardOutput.find("If denied: You will not be told about updates."), std::string::npos);
}

} // namespace
