#include "Tool/LumoraToolRunner.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace {

using json = nlohmann::json;

class CodesignCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const auto hierarchy = FixtureCertificateHierarchy::make();
        FixtureMachOBuilder::Executable executable;
        executable.infoPlist =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "\t<key>CFBundleIdentifier</key>\n\t<string>com.example.tool</string>\n</dict>\n"
            "</plist>\n";
        FixtureSigner::Options options;
        options.identifier = "com.example.tool";
        options.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
        options.signer = &hierarchy.developerIDLeaf;
        options.chain = {&hierarchy.intermediate, &hierarchy.root};
        const auto signedBytes = FixtureSigner::sign(executable, options);
        signedPath = folder.write("signed", std::string(signedBytes.begin(), signedBytes.end()));
        const auto unsignedBytes = FixtureSigner::makeUnsigned(executable);
        unsignedPath = folder.write("unsigned", std::string(unsignedBytes.begin(), unsignedBytes.end()));
        anchorPath = folder.write("anchor.pem", hierarchy.root.pem());
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
    EXPECT_EQ(output["path"], signedPath.string());
    EXPECT_EQ(output["options"], "0x20");
    EXPECT_EQ(output["status"], 0);
    EXPECT_TRUE(output["error"].is_null());
    const auto& result = output["result"];
    EXPECT_EQ(result["validity"], 1);
    EXPECT_EQ(result["certificateType"], 2);
    EXPECT_EQ(result["identifier"], "com.example.tool");
    EXPECT_EQ(result["teamIdentifier"], "FIXTURE123");
    EXPECT_EQ(result["certificateSubjectDisplayString"], "Fixture Developer");
    EXPECT_EQ(result["codeDirectoryHash"].get<std::string>().size(), 40U);
    EXPECT_EQ(result["infoPList"]["CFBundleIdentifier"], "com.example.tool");
    EXPECT_EQ(result["usedExtraTrustAnchor"], true);
    ASSERT_EQ(result["certificates"].size(), 3U);
    EXPECT_NE(result["certificates"][0]["subject"].get<std::string>().find("Developer ID Application"),
              std::string::npos);
    EXPECT_EQ(result["certificates"][2]["sha256"].get<std::string>().size(), 64U);
    ASSERT_EQ(output["slices"].size(), 1U);
    EXPECT_EQ(output["slices"][0]["cdIdentifier"], "com.example.tool");
    EXPECT_EQ(output["slices"][0]["signatureCertificateType"], 2);
    EXPECT_EQ(output["slices"][0]["authorDisplayStringWithTeamID"], "Fixture Developer (FIXTURE123)");
}

TEST_F(CodesignCommand, ExitsWithOneWhenTheSignatureIsNotValid) {
    const auto unanchored = runLumoraTool({"codesign", "--json", signedPath.string()});
    EXPECT_EQ(unanchored.exitStatus, 1);
    EXPECT_EQ(json::parse(unanchored.standardOutput)["result"]["validity"], 6);

    const auto unsignedRun = runLumoraTool({"codesign", unsignedPath.string()});
    EXPECT_EQ(unsignedRun.exitStatus, 1);
    EXPECT_NE(unsignedRun.standardOutput.find("validity: 4 (not signed)"), std::string::npos)
        << unsignedRun.standardOutput;

    const auto missing = runLumoraTool({"codesign", "--json", (folder.path() / "missing").string()});
    EXPECT_EQ(missing.exitStatus, 1);
    const auto output = json::parse(missing.standardOutput);
    EXPECT_TRUE(output["result"].is_null());
    EXPECT_EQ(output["error"]["domain"], "NSOSStatusErrorDomain");
    EXPECT_EQ(output["error"]["code"], -67068);
    EXPECT_TRUE(output["slices"].empty());
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

} // namespace
