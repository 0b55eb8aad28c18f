#include "Support/CodeSigningFixtures.h"
#include "Tool/LumoraToolRunner.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;

class CodesignCommand : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace CodeSigningFixtures;
        signedPath = write(folder, "signed", FixtureSigner::sign(executable(), developerIDOptions()));
        unsignedPath = write(folder, "unsigned", FixtureSigner::makeUnsigned(executable()));
        anchorPath = folder.write("anchor.pem", hierarchy().root.pem());
    }

    TemporaryFolder folder;
    std::filesystem::path signedPath;
    std::filesystem::path unsignedPath;
    std::filesystem::path anchorPath;
};

TEST_F(CodesignCommand, PrintsTheResultAndTheSlicesAsJSON) {
    const auto run = runLumoraTool({"codesign", "--json", "--options", "20", "--extra-trust-anchors",
                                    anchorPath.string(), signedPath.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError << run.standardOutput;
    const auto output = json::parse(run.standardOutput);
    auto expected = json::parse(R"json({"options": "0x20", "status": 0, "error": null,
        "result": {"validity": 1, "certificateType": 2, "identifier": "com.example.fixture",
                   "teamIdentifier": "FIXTURE123", "certificateSubjectDisplayString": "Fixture Developer",
                   "infoPList": {"CFBundleIdentifier": "com.example.fixture"}, "usedExtraTrustAnchor": true},
        "slices": [{"cdIdentifier": "com.example.fixture", "signatureCertificateType": 2,
                    "authorDisplayStringWithTeamID": "Fixture Developer (FIXTURE123)"}]})json");
    expected["path"] = signedPath.string();
    EXPECT_EQ(projected(output, expected), expected);
    const auto& result = output["result"];
    EXPECT_EQ(result["codeDirectoryHash"].get<std::string>().size(), 40U);
    ASSERT_EQ(result["certificates"].size(), 3U);
    EXPECT_THAT(result["certificates"][0]["subject"].get<std::string>(),
                testing::HasSubstr("Developer ID Application"));
    EXPECT_EQ(result["certificates"][2]["sha256"].get<std::string>().size(), 64U);
}

TEST_F(CodesignCommand, ExitsWithOneWhenTheSignatureIsNotValid) {
    const auto unanchored = runLumoraTool({"codesign", "--json", signedPath.string()});
    EXPECT_EQ(unanchored.exitStatus, 1);
    EXPECT_EQ(json::parse(unanchored.standardOutput)["result"]["validity"], 6);

    const auto unsignedRun = runLumoraTool({"codesign", unsignedPath.string()});
    EXPECT_EQ(unsignedRun.exitStatus, 1);
    EXPECT_NE(unsignedRun.standardOutput.find("validity: 4 (not signed)"), std::string::npos)
        << unsignedRun.standardOutput;

    // Nothing there, and a bundle without an executable: no result, the checker's error instead.
    std::filesystem::create_directories(folder.path() / "Empty.app/Contents");
    for (const auto& [name, code] : {std::pair{"missing", -67068}, {"Empty.app", -67028}}) {
        const auto run = runLumoraTool({"codesign", "--json", (folder.path() / name).string()});
        EXPECT_EQ(run.exitStatus, 1) << name;
        const json expected{{"result", nullptr},
                            {"error", {{"domain", "NSOSStatusErrorDomain"}, {"code", code}}},
                            {"slices", json::array()}};
        EXPECT_EQ(projected(json::parse(run.standardOutput), expected), expected);
    }
}

TEST_F(CodesignCommand, RefusesBadUsage) {
    EXPECT_EQ(runLumoraTool({"codesign"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"codesign", "--options", "xyz", signedPath.string()}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"codesign", "--options"}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"codesign", "--extra-trust-anchors", unsignedPath.string(), signedPath.string()})
                  .exitStatus,
              2);
    EXPECT_EQ(runLumoraTool({"codesign", "--bogus", signedPath.string()}).exitStatus, 2);
    EXPECT_EQ(runLumoraTool({"codesign", signedPath.string(), unsignedPath.string()}).exitStatus, 2);
}

class CodesignBundle : public ::testing::Test {
protected:
    void SetUp() override {
        FixtureBundleBuilder::Bundle helper;
        helper.name = "Sync.xpc";
        helper.identifier = "com.example.editor.sync";
        helper.executableName = "Sync";
        helper.files = {{"Resources/Lumora.json", "{}"}};
        helper.seed = 2;
        FixtureBundleBuilder::Bundle editor;
        editor.name = "Editor.app";
        editor.identifier = "com.example.editor";
        editor.executableName = "Editor";
        editor.files = {{"Resources/Lumora.plist", "<plist><dict/></plist>"},
                        {"Resources/Other.txt", "other"}};
        editor.nestedBundles = {{"XPCServices", helper}};
        bundlePath =
            FixtureBundleBuilder::write(folder.path(), editor, CodeSigningFixtures::developerIDOptions());
        anchorPath = folder.write("anchor.pem", CodeSigningFixtures::hierarchy().root.pem());
    }
    std::filesystem::path contents() const { return bundlePath / "Contents"; }
    LumoraToolRun codesign(std::vector<std::string> extra) const {
        std::vector<std::string> arguments{"codesign", "--extra-trust-anchors", anchorPath.string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        arguments.push_back(bundlePath.string());
        return runLumoraTool(arguments);
    }
    static std::vector<std::string> problemLines(const std::string& output) {
        std::vector<std::string> lines;
        std::istringstream stream(output);
        for (std::string line; std::getline(stream, line);) {
            if (line.starts_with("problem: ")) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    TemporaryFolder folder;
    std::filesystem::path bundlePath;
    std::filesystem::path anchorPath;
};

TEST_F(CodesignBundle, PrintsEachResourceProblemWithItsPath) {
    const auto intact = codesign({"--json", "--verify-resources"});
    ASSERT_EQ(intact.exitStatus, 0) << intact.standardOutput << intact.standardError;
    auto expected = json::parse(R"json({"options": "0x4", "status": 0, "problems": [],
        "result": {"validity": 1, "identifier": "com.example.editor"},
        "slices": [{"signatureIsCryptographicallyCorrect": true}]})json");
    expected["result"]["mainExecutableFileURL"] = (contents() / "MacOS/Editor").string();
    EXPECT_EQ(projected(json::parse(intact.standardOutput), expected), expected);

    ASSERT_TRUE(FixtureTamper::changeFile(contents() / "Resources/Lumora.plist"));
    ASSERT_TRUE(FixtureTamper::addFile(contents() / "Resources/Added.txt"));
    ASSERT_TRUE(FixtureTamper::removeFile(contents() / "Resources/Other.txt"));

    const auto run = codesign({"--verify-resources"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardOutput.find("options: 0x4\n"), std::string::npos) << run.standardOutput;
    EXPECT_NE(run.standardOutput.find("validity: 3 "), std::string::npos) << run.standardOutput;
    EXPECT_EQ(problemLines(run.standardOutput),
              (std::vector<std::string>{"problem: added: Contents/Resources/Added.txt",
                                        "problem: altered: Contents/Resources/Lumora.plist",
                                        "problem: missing: Contents/Resources/Other.txt"}));

    const auto asJSON =
        json::parse(codesign({"--json", "--options", "8", "--verify-resources"}).standardOutput);
    const auto expectedProblems = json::parse(R"json({"options": "0xc",
        "problems": [{"kind": "added", "path": "Contents/Resources/Added.txt"}, {}, {}],
        "result": {"details": {"SecCSResourceMissing": ["Resources/Other.txt"]}}})json");
    EXPECT_EQ(projected(asJSON, expectedProblems), expectedProblems);

    // Without the option the resources are not looked at.
    const auto unchecked = codesign({});
    EXPECT_EQ(unchecked.exitStatus, 0) << unchecked.standardOutput;
    EXPECT_TRUE(problemLines(unchecked.standardOutput).empty());
}

TEST_F(CodesignBundle, NamesBrokenNestedCodeAndAChangedInfoPlist) {
    ASSERT_TRUE(
        FixtureTamper::changeFile(contents() / "XPCServices/Sync.xpc/Contents/Resources/Lumora.json"));
    const auto nested = codesign({"--verify-resources"});
    EXPECT_EQ(nested.exitStatus, 1);
    const auto nestedLines = problemLines(nested.standardOutput);
    ASSERT_FALSE(nestedLines.empty()) << nested.standardOutput;
    EXPECT_EQ(nestedLines[0], "problem: nested code invalid: Contents/XPCServices/Sync.xpc");

    ASSERT_TRUE(FixtureTamper::changeInfoPlist(bundlePath));
    const auto infoPlist = codesign({"--json"});
    EXPECT_EQ(infoPlist.exitStatus, 1);
    const auto expected = json::parse(R"json({"status": -67030, "result": {"validity": 3},
        "problems": [{"path": "Contents/Info.plist"}], "slices": [{"signatureIsCryptographicallyCorrect": false}]})json");
    EXPECT_EQ(projected(json::parse(infoPlist.standardOutput), expected), expected);
}

} // namespace
