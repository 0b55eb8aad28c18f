#include "Tool/LumoraToolRunner.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using json = nlohmann::json;

std::vector<std::string> field(const json& applications, const char* name) {
    std::vector<std::string> values;
    for (const auto& application : applications) {
        values.push_back(application[name].is_null() ? "null" : application[name].get<std::string>());
    }
    return values;
}

TEST(ScanCommand, ListsTheFoldersApplicationsInSidebarOrder) {
    const auto run = runLumoraTool({"scan", "--json", "--no-live-query", "--folder", examples,
                                    "--extra-trust-anchors", anchor, "--add", examples + "/backup-agent"});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    const auto& applications = output["applications"];
    // Documents first, then by name.
    EXPECT_EQ(
        field(applications, "displayName"),
        words("backup-agent Sandboxed SandboxedServer TextEditor Calculator Impostor Tampered Unsigned"));
    EXPECT_EQ(field(applications, "state"),
              words("loaded loaded loaded loaded unavailable loadFailed loadFailed loadFailed"));
    EXPECT_EQ(field(applications, "badge"), field(applications, "state"));
    EXPECT_EQ(field(applications, "kind"), std::vector<std::string>(8, "installed"));
    auto expected = json::parse(R"json({"proposedFoldersToGrantReadPermission": [], "applications": [
        {"bundleIdentifier": null}, {}, {}, {"bundleIdentifier": "com.example.texteditor", "error": null}, {}, {}, {}, {}]})json");
    expected["applications"][3]["identifier"] = examples + "/TextEditor.app";
    EXPECT_EQ(projected(output, expected), expected);
    EXPECT_NE(applications[5]["error"].get<std::string>().find("EXAMPLE999"), std::string::npos);
    EXPECT_NE(applications[6]["error"].get<std::string>().find("code signature"), std::string::npos);

    const auto text = runLumoraTool({"scan", "--no-live-query", "--folder", examples});
    EXPECT_EQ(text.exitStatus, 0) << text.standardError;
    EXPECT_NE(text.standardOutput.find("installed\tCalculator\t" + examples +
                                       "/Calculator.app\tcom.example.Calculator\tunavailable\tunavailable\n"),
              std::string::npos)
        << text.standardOutput;
}

TEST(ScanCommand, WithNothingToScanTheListIsEmpty) {
    const auto run = runLumoraTool({"scan", "--json", "--no-live-query", "--no-folders"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(
        json::parse(run.standardOutput),
        (json{{"applications", json::array()}, {"proposedFoldersToGrantReadPermission", json::array()}}));
}

TEST(ScanCommand, RefusesBadOptions) {
    auto withAnchor = words("scan --preview-list-ca");
    withAnchor.push_back(anchor);
    for (const auto& arguments :
         {words("scan --folder /nonexistent/folder"), words("scan --scope"), words("scan --watch -1"),
          words("scan --watch soon"), words("scan --add /nonexistent/App.app"), withAnchor,
          words("scan stray")}) {
        const auto run = runLumoraTool(arguments);
        EXPECT_EQ(run.exitStatus, 2) << testing::PrintToString(arguments);
        EXPECT_NE(run.standardError.find("usage: lumora scan"), std::string::npos);
    }
}

TEST(ScanCommand, AFeaturedListThatCannotBeLoadedFailsTheScanButNotTheList) {
    const auto run = runLumoraTool({"scan", "--json", "--no-live-query", "--no-folders", "--preview-list-url",
                                    "http://127.0.0.1:9/featured.json"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(json::parse(run.standardOutput)["applications"], json::array());
    EXPECT_NE(run.standardError.find("featured applications list could not be loaded"), std::string::npos);
    const auto badAuthority = runLumoraTool({"scan", "--no-live-query", "--no-folders", "--preview-list-url",
                                             "https://127.0.0.1:9/featured.json", "--preview-list-ca",
                                             examples + "/TextEditor.app/Contents/Info.plist"});
    EXPECT_EQ(badAuthority.exitStatus, 2);
}

// The live query keeps running with --watch: an application that appears is reported as one line.
TEST(ScanCommand, WatchReportsAnApplicationThatAppears) {
    TemporaryFolder folder;
    folder.write("Apps/First.app/Contents/Info.plist", "<plist><dict/></plist>");
    const std::string command = std::string(LUMORA_TOOL_PATH) + " scan --json --no-folders --scope '" +
                                folder.path().string() + "' --watch 4";
    std::FILE* output = ::popen(command.c_str(), "r");
    ASSERT_NE(output, nullptr);
    std::string listed;
    char line[4096];
    // The list comes first, as one object that ends with a line holding only "}".
    while (std::fgets(line, sizeof line, output) != nullptr) {
        listed += line;
        if (std::string_view(line) == "}\n") {
            break;
        }
    }
    EXPECT_EQ(json::parse(listed)["applications"].size(), 1U);
    std::filesystem::create_directories(folder.path() / "Apps/Second.app");
    json event;
    while (std::fgets(line, sizeof line, output) != nullptr) {
        event = json::parse(line);
        if (event["event"] == "added") {
            break;
        }
    }
    EXPECT_EQ(event["event"], "added");
    EXPECT_EQ(event["displayName"], "Second");
    EXPECT_EQ(event["identifier"], (folder.path() / "Apps/Second.app").string());
    // Reads the rest, until the watch ends.
    while (std::fgets(line, sizeof line, output) != nullptr) {
    }
    EXPECT_EQ(::pclose(output), 0);
}

// Runs as root in CI, where every folder is readable: the scan drops to `nobody` to meet a real
// unreadable bundle.
TEST(ScanCommand, ReportsABundleItCannotReadAndProposesItsFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to drop to another user";
    }
    TemporaryFolder folder;
    const auto applications = folder.path() / "Apps";
    folder.write("Apps/Open.app/Contents/Info.plist", "<plist><dict/></plist>");
    folder.write("Apps/Locked.app/Contents/Info.plist", "<plist><dict/></plist>");
    namespace fs = std::filesystem;
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(applications / "Locked.app", fs::perms::owner_all);

    // The other user may not reach the build tree's resources: it gets a copy it can read.
    const auto resources = folder.path() / "Resources";
    fs::copy(std::string(LUMORA_SOURCE_DIR) + "/Resources", resources, fs::copy_options::recursive);
    ::setenv("LUMORA_RESOURCES_DIR", resources.c_str(), 1);
    const auto run =
        runProgram("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", LUMORA_TOOL_PATH,
                               "scan", "--json", "--no-live-query", "--folder", applications.string()});
    ::unsetenv("LUMORA_RESOURCES_DIR");
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    EXPECT_EQ(field(output["applications"], "displayName"), (std::vector<std::string>{"Locked", "Open"}));
    EXPECT_EQ(field(output["applications"], "state"),
              (std::vector<std::string>{"noReadPermission", "unavailable"}));
    EXPECT_EQ(output["proposedFoldersToGrantReadPermission"], json::array({applications.string() + "/"}));
}

} // namespace
