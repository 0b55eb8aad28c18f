// Names and texts that a bundle, a file system or a declaration file can hold but that are not
// plain printable UTF-8: the JSON output still prints (with the exact bytes of paths beside them),
// and the text output shows every control character as an escape, one row per application.

#include "Support/SpecialFiles.h"
#include "Support/TemporaryFolder.h"
#include "Tool/LumoraToolRunner.h"

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

// U+FFFD REPLACEMENT CHARACTER, as the JSON output shows a byte that is not UTF-8.
const std::string replacement = "\xEF\xBF\xBD";

std::string replaced(std::string text, std::string_view bytes, std::string_view by) {
    for (std::size_t at = text.find(bytes); at != std::string::npos; at = text.find(bytes, at + by.size())) {
        text.replace(at, bytes.size(), by);
    }
    return text;
}

void expectNoControlCharacterButLayout(const std::string& text) {
    for (const char c : std::string{'\x1b', '\r', '\x07', '\x7f', '\0', '\x0b', '\x0c'}) {
        EXPECT_EQ(text.find(c), std::string::npos) << "byte " << static_cast<int>(c) << " in: " << text;
    }
    EXPECT_THAT(text, Not(HasSubstr("\xC2\x9B")));
}

// The applications a JSON scan of `scope` lists: two of them, the loaded one first.
json scanOfOneGoodAndOneBad(const fs::path& scope) {
    const auto run = runLumoraTool(
        {"scan", "--json", "--no-live-query", "--folder", scope.string(), "--extra-trust-anchors", anchor});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    auto applications = json::parse(run.standardOutput)["applications"];
    EXPECT_EQ(applications.size(), 2U) << run.standardOutput;
    EXPECT_EQ(applications[0]["state"], "loaded");
    EXPECT_EQ(applications[1]["state"], "loadFailed");
    return applications;
}

class HostileNames : public testing::Test {
protected:
    TemporaryFolder folder;
};

TEST_F(HostileNames, CheckAndShowPrintJSONForABundleWhoseNameIsNotUTF8) {
    const auto bad = copySample("TextEditor.app", folder.path() / "Bad\xFF.app").string();
    const auto good = copySample("TextEditor.app", folder.path() / "Good 100%.app").string();
    const auto run = runLumoraTool({"check", "--json", "--extra-trust-anchors", anchor, bad, good});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    ASSERT_EQ(output.size(), 2U);
    // The document is named after the bundle folder; a path that is UTF-8 has no second form.
    const json expected{{"path", replaced(bad, "\xFF", replacement)},
                        {"pathPercentEncoded", replaced(bad, "\xFF", "%FF")},
                        {"state", "loaded"},
                        {"document", {{"primarySource", {{"name", "Bad" + replacement}}}}}};
    EXPECT_EQ(projected(output[0], expected), expected);
    EXPECT_EQ(output[1]["path"], good);
    EXPECT_FALSE(output[1].contains("pathPercentEncoded"));
    const std::vector<std::string> keys{"path",  "pathPercentEncoded", "pathInArchive", "state",
                                        "error", "trustedThrough",     "signature",     "document"};
    const auto ordered = nlohmann::ordered_json::parse(run.standardOutput);
    std::vector<std::string> order;
    for (const auto& [key, value] : ordered[0].items()) {
        order.push_back(key);
    }
    EXPECT_EQ(order, keys);

    const auto show = runLumoraTool({"show", "--json", "--extra-trust-anchors", anchor, bad});
    ASSERT_EQ(show.exitStatus, 0) << show.standardError;
    EXPECT_EQ(json::parse(show.standardOutput)["primarySource"]["name"], "Bad" + replacement);
}

TEST_F(HostileNames, CodesignPrintsJSONForNamesThatAreNotUTF8) {
    const auto bad = copySample("TextEditor.app", folder.path() / "Bad\xFF.app").string();
    folder.write("Bad\xFF.app/Contents/Resources/Added\x91.txt", "not sealed");
    const auto run =
        runLumoraTool({"codesign", "--json", "--verify-resources", "--extra-trust-anchors", anchor, bad});
    ASSERT_NE(run.exitStatus, 134) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    EXPECT_EQ(output["path"], replaced(bad, "\xFF", replacement));
    EXPECT_EQ(output["pathPercentEncoded"], replaced(bad, "\xFF", "%FF"));
    const auto& problems = output["problems"];
    const auto added =
        std::ranges::find_if(problems, [](const json& problem) { return problem["kind"] == "added"; });
    ASSERT_NE(added, problems.end()) << problems.dump();
    EXPECT_EQ((*added)["path"], "Contents/Resources/Added" + replacement + ".txt");
    EXPECT_EQ((*added)["pathPercentEncoded"], "Contents/Resources/Added%91.txt");
}

TEST_F(HostileNames, LintPrintsTheParseErrorOfADeclarationHoldingABadByte) {
    const auto file = folder.write("Lumora.json", "{\"LumoraDictionaryVersion\": \"1.0\", \x91\"quoted\x92}");
    const auto run = runLumoraTool({"lint", "--json", file.string()});
    EXPECT_EQ(run.exitStatus, 1) << run.standardError;
    const auto output = json::parse(run.standardOutput);
    EXPECT_TRUE(output["error"]["description"].is_string()) << run.standardOutput;
    expectNoControlCharacterButLayout(run.standardError);
}

// Names that differ only in bytes that are not UTF-8 are two applications, not one.
TEST_F(HostileNames, ScanReportsTheGoodBundleBesideAHostileOneAndKeepsTheirNamesApart) {
    const auto scope = folder.path() / "Apps";
    copySample("TextEditor.app", scope / "X\xFF.app");
    copySample("Tampered.app", scope / "X\xFE.app");
    auto applications = scanOfOneGoodAndOneBad(scope);
    EXPECT_EQ(applications[0]["displayName"], "X" + replacement);
    EXPECT_THAT(applications[0]["identifierPercentEncoded"].get<std::string>(),
                testing::EndsWith("/X%FF.app"));
    EXPECT_THAT(applications[1]["error"].get<std::string>(), HasSubstr("X" + replacement + ".app"));
    EXPECT_THAT(applications[1]["identifierPercentEncoded"].get<std::string>(),
                testing::EndsWith("/X%FE.app"));
}

// Folder names may hold any byte but '/' and NUL; a declaration's texts any character but NUL.
const std::vector<std::pair<std::string, std::string>> hostileNames{
    {"Red\x1B[31mText", "Red\\x1b[31mText"},
    {"\x1B]8;;mailto:someone@example.com\x07Link\x1B]8;;\x07",
     "\\x1b]8;;mailto:someone@example.com\\x07Link\\x1b]8;;\\x07"},
    {"Over\rWritten", "Over\\rWritten"},
    {"Two\nRows", "Two\\nRows"},
    {"Tab\tStop", "Tab\\tStop"},
    {"Control\xC2\x9B"
     "31m Sequence\x7F",
     "Control\\u{9b}31m Sequence\\x7f"},
    {"Back\\slash", "Back\\\\slash"},
};

TEST_F(HostileNames, ScanPrintsOneRowForEachApplicationWhateverItsName) {
    const auto scope = folder.path() / "Apps";
    for (const auto& [name, shown] : hostileNames) {
        folder.write("Apps/" + name + ".app/Contents/Info.plist", "<plist><dict/></plist>");
    }
    const auto run = runLumoraTool({"scan", "--no-live-query", "--folder", scope.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    expectNoControlCharacterButLayout(run.standardOutput);
    EXPECT_EQ(std::ranges::count(run.standardOutput, '\n'), static_cast<long>(hostileNames.size()))
        << run.standardOutput;
    for (const auto& [name, shown] : hostileNames) {
        // Name and path: exactly the six tab-separated columns of an unavailable application.
        EXPECT_THAT(run.standardOutput, HasSubstr("installed\t" + shown + "\t" + scope.string() + "/" +
                                                  shown + ".app\t-\tunavailable\tunavailable\n"));
    }
}

TEST_F(HostileNames, LintAndCheckEscapeControlCharactersInTexts) {
    const auto file = folder.write(
        "Declaration.json",
        json{{"LumoraDictionaryVersion", "1.0"},
             {"DeveloperName", hostileNames[0].first + hostileNames[1].first},
             {"ApplicationDescription", hostileNames[3].first + hostileNames[5].first},
             {"Connections", json::array({{{"Host", "example.com"}, {"Purpose", hostileNames[2].first}}})}}
            .dump());
    const auto lint = runLumoraTool({"lint", file.string()});
    ASSERT_EQ(lint.exitStatus, 0) << lint.standardError;
    expectNoControlCharacterButLayout(lint.standardOutput);
    EXPECT_THAT(lint.standardOutput,
                HasSubstr("  Developer: " + hostileNames[0].second + hostileNames[1].second + "\n"));
    EXPECT_THAT(lint.standardOutput,
                HasSubstr("  Description: " + hostileNames[3].second + hostileNames[5].second));
    EXPECT_THAT(lint.standardOutput, HasSubstr("     Purpose: Over\\rWritten"));

    const auto path = folder.path() / ("Red\x1B[31m\rApp" + std::string(".app"));
    fs::create_directories(path);
    const auto check = runLumoraTool({"check", path.string()});
    EXPECT_EQ(check.exitStatus, 1);
    expectNoControlCharacterButLayout(check.standardOutput);
    EXPECT_THAT(check.standardOutput, HasSubstr("Red\\x1b[31m\\rApp.app: "));
}

TEST_F(HostileNames, CodesignAndErrorMessagesEscapeControlCharacters) {
    const auto path = copySample("TextEditor.app", folder.path() / "Red\x1B[31m\x07.app").string();
    const auto codesign = runLumoraTool({"codesign", "--extra-trust-anchors", anchor, path});
    EXPECT_EQ(codesign.exitStatus, 0) << codesign.standardError;
    expectNoControlCharacterButLayout(codesign.standardOutput);
    EXPECT_THAT(codesign.standardOutput, HasSubstr("Red\\x1b[31m\\x07.app\n"));

    const auto missing = runLumoraTool({"lint", (folder.path() / "\x1B]0;title\x07.json").string()});
    EXPECT_EQ(missing.exitStatus, 1);
    expectNoControlCharacterButLayout(missing.standardError);
    EXPECT_THAT(missing.standardError, HasSubstr("\\x1b]0;title\\x07.json"));
}

// An executable that is a FIFO, a device, a folder or a link to /dev/zero fails its own load at once
// (the signature checker's tests); a scan still reports the good application beside it.
class NonRegularExecutable : public testing::TestWithParam<SpecialFiles::Kind> {
protected:
    TemporaryFolder folder;
};

TEST_P(NonRegularExecutable, NeitherBlocksNorHidesTheOtherApplications) {
    const auto scope = folder.path() / "Apps";
    const auto blocked = copySample("TextEditor.app", scope / "Blocked.app");
    copySample("TextEditor.app", scope / "Good.app");
    ASSERT_TRUE(SpecialFiles::replaceWith(blocked / "Contents/MacOS/TextEditor", GetParam()));

    const auto listed = scanOfOneGoodAndOneBad(scope);
    EXPECT_EQ(listed[0]["displayName"], "Good");
    // A name that is UTF-8 has no second form.
    EXPECT_FALSE(listed[0].contains("identifierPercentEncoded"));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, NonRegularExecutable, testing::ValuesIn(SpecialFiles::availableKinds()),
                         [](const auto& testCase) { return SpecialFiles::name(testCase.param); });

} // namespace
