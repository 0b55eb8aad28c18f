#include "SevenZipFixtures.h"

#include "Code/Archives/ChildProcess.h"

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

namespace {

void write(const std::filesystem::path& file, const std::string& contents) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
}

} // namespace

std::optional<std::filesystem::path> SevenZipFixtures::program() {
    const char* searchPath = std::getenv("PATH");
    return ChildProcess::findProgram("7zz", searchPath != nullptr ? searchPath : "/usr/bin:/bin");
}

void SevenZipFixtures::writeTree(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    write(root / "Fw.framework/Versions/A/Resources/info.txt", "framework\n");
    fs::create_directory_symlink("A", root / "Fw.framework/Versions/Current");
    write(root / "tool", "#!/bin/sh\n");
    fs::permissions(root / "tool", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    write(root / "odd/line\nbreak", "x");
    write(root / "odd/not-utf8-\xff", "yy");
}

std::string SevenZipFixtures::makeArchive(const std::filesystem::path& archive,
                                          const std::filesystem::path& folder,
                                          const std::vector<std::string>& switches) {
    ChildProcess::Options options;
    options.arguments = {"7zz", "a", "-snl", "-bd"};
    options.arguments.insert(options.arguments.end(), switches.begin(), switches.end());
    options.arguments.insert(options.arguments.end(), {"--", archive.string(), "."});
    options.workingDirectory = folder;
    const auto result = ChildProcess::run(options);
    return result.succeeded() ? std::string() : result.error + result.errorOutput + result.output;
}

std::string SevenZipFixtures::run(const std::vector<std::string>& arguments) {
    ChildProcess::Options options;
    options.arguments = {"7zz"};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    const auto result = ChildProcess::run(options);
    EXPECT_TRUE(result.started()) << result.error;
    return result.output;
}
