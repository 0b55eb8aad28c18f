#include "Tool/LumoraToolRunner.h"
#include "tools/ArchiveFixtures/CpioWriter.h"
#include "tools/ArchiveFixtures/InstallerPackageWriter.h"
#include "tools/ArchiveFixtures/UDIFWriter.h"

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

using testing::HasSubstr;

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// A cpio payload of `root`'s contents: folders, files and symbolic links.
std::vector<std::uint8_t> payloadOf(const fs::path& root) {
    CpioWriter writer;
    std::vector<fs::path> entries{fs::recursive_directory_iterator(root), fs::recursive_directory_iterator()};
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        const auto name = entry.lexically_relative(root).generic_string();
        if (fs::is_symlink(entry)) {
            writer.addSymlink(name, fs::read_symlink(entry).string());
        } else if (fs::is_directory(entry)) {
            writer.addDirectory(name);
        } else {
            std::ifstream stream(entry, std::ios::binary);
            const std::string contents{std::istreambuf_iterator<char>(stream),
                                       std::istreambuf_iterator<char>()};
            writer.addFile(name, contents, 0755);
        }
    }
    return writer.bytes();
}

/// Downloads holding the samples, made once for the whole suite.
class ArchiveCommand : public testing::Test {
protected:
    static void SetUpTestSuite() {
        _folder = std::make_unique<TemporaryFolder>();
        const auto& root = _folder->path();
        fs::create_directories(root / "source/Extras");
        for (const auto* name : {"TextEditor.app", "Tampered.app"}) {
            copySample(name, root / "source" / name);
        }
        const auto zip = runProgram("7zz", {"a", "-snl", "-bd", "--", (root / "Apps.zip").string(),
                                            (root / "source/TextEditor.app").string(),
                                            (root / "source/Tampered.app").string()});
        ASSERT_EQ(zip.exitStatus, 0) << zip.standardError;

        copySample("TextEditor.app", root / "volume/TextEditor.app");
        UDIFWriter(UDIFWriter::hfsVolumeFromFolder(root / "volume", "Example", root))
            .write(root / "Example.dmg");

        InstallerPackageWriter::Component component;
        component.archive = payloadOf(root / "volume");
        component.encoding = InstallerPackageWriter::PayloadEncoding::pbzx;
        writeBytes(root / "Example.pkg", InstallerPackageWriter::componentPackage(component));

        std::ofstream(root / "Text.dmg") << "not a disk image\n";
        fs::create_directories(root / "empty");
        std::ofstream(root / "empty/ReadMe.txt") << "nothing here\n";
        const auto empty = runProgram("7zz", {"a", "-bd", "--", (root / "NoApplication.zip").string(),
                                              (root / "empty/ReadMe.txt").string()});
        ASSERT_EQ(empty.exitStatus, 0) << empty.standardError;
    }

    static void TearDownTestSuite() { _folder.reset(); }

    static std::string download(const std::string& name) { return (_folder->path() / name).string(); }

    /// Runs lumora with its temporary folders in a folder of the test's own, which must be empty
    /// again afterwards.
    LumoraToolRun run(const std::vector<std::string>& arguments, std::vector<std::string> environment = {}) {
        const TemporaryFolder temporary;
        environment.push_back("TMPDIR=" + temporary.path().string());
        auto result = runLumoraTool(arguments, environment);
        EXPECT_TRUE(fs::is_empty(temporary.path())) << "a temporary folder was left behind";
        return result;
    }

    static inline std::unique_ptr<TemporaryFolder> _folder;
};

TEST_F(ArchiveCommand, ChecksEveryApplicationInsideEachKindOfDownload) {
    const auto result = run({"check", "--json", "--extra-trust-anchors", anchor, download("Apps.zip"),
                             download("Example.dmg"), download("Example.pkg"), examples + "/Calculator.app"});
    EXPECT_EQ(result.exitStatus, 1);
    const auto output = json::parse(result.standardOutput);
    auto expected = json::parse(R"json([{"pathInArchive": "Tampered.app", "state": "loadFailed"},
        {"pathInArchive": "TextEditor.app", "state": "loaded", "trustedThrough": "extraAnchor"},
        {"pathInArchive": "TextEditor.app", "state": "loaded"}, {"pathInArchive": "TextEditor.app", "state": "loaded"},
        {"pathInArchive": null, "state": "unavailable"}])json");
    expected[0]["path"] = download("Apps.zip");
    expected[3]["path"] = download("Example.pkg");
    EXPECT_EQ(projected(output, expected), expected);
    // Messages name the file inside the download, not the extraction folder.
    EXPECT_THAT(output[0]["error"]["description"].get<std::string>(),
                HasSubstr(download("Apps.zip") + "/Tampered.app/Contents/Resources/Lumora.plist"));
}

TEST_F(ArchiveCommand, ReportsADownloadThatCannotBeOpenedAsOneFailedRecord) {
    struct Case {
        std::string name;
        std::vector<std::string> environment;
        std::string errorCase;
    };
    const std::vector<Case> cases{{"Text.dmg", {}, "cannotOpen"},
                                  {"NoApplication.zip", {}, "noApplication"},
                                  {"Apps.zip", {"PATH=/nonexistent"}, "notInstalled"}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const auto result = run({"check", "--json", download(each.name)}, each.environment);
        EXPECT_EQ(result.exitStatus, 1);
        const json expected{{{"path", download(each.name)},
                             {"pathInArchive", nullptr},
                             {"state", "loadFailed"},
                             {"error", {{"type", "ArchiveError"}, {"case", each.errorCase}}}}};
        EXPECT_EQ(projected(json::parse(result.standardOutput), expected), expected);
    }
    EXPECT_THAT(run({"check", download("Text.dmg")}).standardOutput,
                HasSubstr("loadFailed: The file is not"));
}

TEST_F(ArchiveCommand, ShowAndPageChooseOneApplicationByName) {
    auto result = run({"show", download("Apps.zip")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_THAT(result.standardError, HasSubstr("choose one with --app NAME: Tampered, TextEditor"));
    EXPECT_EQ(run({"show", "--app", "Nothing", download("Apps.zip")}).exitStatus, 2);
    EXPECT_EQ(run({"show", "--app", "TextEditor", examples + "/TextEditor.app"}).exitStatus, 2);

    result =
        run({"show", "--json", "--app", "TextEditor", "--extra-trust-anchors", anchor, download("Apps.zip")});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    const auto document = json::parse(result.standardOutput);
    EXPECT_EQ(document["pathInArchive"], "TextEditor.app");
    EXPECT_EQ(document["primarySource"]["name"], "TextEditor");
    EXPECT_THAT(document.dump(), testing::Not(HasSubstr("/contents/")));

    // A download with one application needs no name; the header says where the bundle came from.
    result = run({"page", "--extra-trust-anchors", anchor, download("Example.dmg")});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_THAT(result.standardOutput, HasSubstr("in <bdi>Example.dmg</bdi>"));
}

TEST_F(ArchiveCommand, SaysWhichArchivesNestedTooDeepWereNotOpened) {
    const auto inner = download("nested/Inner.zip");
    fs::create_directories(fs::path(inner).parent_path());
    ASSERT_EQ(runProgram("7zz", {"a", "-bd", "--", inner, download("Apps.zip")}).exitStatus, 0);
    const auto outer = download("nested/Outer.zip");
    ASSERT_EQ(runProgram("7zz", {"a", "-bd", "--", outer, inner, download("Example.pkg")}).exitStatus, 0);
    const auto result = run({"check", "--json", "--extra-trust-anchors", anchor, outer});
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    const auto output = json::parse(result.standardOutput);
    ASSERT_EQ(output.size(), 1U);
    EXPECT_EQ(output[0]["pathInArchive"], "Example.pkg/TextEditor.app");
    EXPECT_THAT(result.standardError, HasSubstr("\"Inner.zip/Apps.zip\" is an archive inside an archive"));
}

TEST_F(ArchiveCommand, ScanAddsTheApplicationsOfADownloadWithTheirPlaceInIt) {
    const auto result = run({"scan", "--json", "--no-live-query", "--no-folders", "--extra-trust-anchors",
                             anchor, "--add", download("Example.dmg")});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    const json expected{{{"displayName", "TextEditor"},
                         {"state", "loaded"},
                         {"archive", download("Example.dmg")},
                         {"pathInArchive", "TextEditor.app"}}};
    EXPECT_EQ(projected(json::parse(result.standardOutput)["applications"], expected), expected);
}

TEST_F(ArchiveCommand, AnInterruptedExtractionStopsAndLeavesNothingBehind) {
    // A 7zz that says it started, then waits until it is killed.
    const TemporaryFolder programs;
    const auto started = programs.path() / "started";
    programs.write("bin/7zz", "#!/bin/sh\n: > '" + started.string() + "'\nexec sleep 600\n");
    fs::permissions(programs.path() / "bin/7zz", fs::perms::owner_all);
    const TemporaryFolder temporary;
    const pid_t child = startLumoraTool({"check", download("Apps.zip")},
                                        {"PATH=" + (programs.path() / "bin").string() + ":/usr/bin:/bin",
                                         "TMPDIR=" + temporary.path().string()});
    // Waits for the fake program's mark (a file appearing), not for a length of time.
    while (!fs::exists(started)) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "lumora ended before extracting";
    }
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_TRUE(fs::is_empty(temporary.path()));
}

} // namespace
