#include "SevenZipFixtures.h"

#include "Code/Archives/ChildProcess.h"

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

std::optional<std::filesystem::path> SevenZipFixtures::program() {
    const char* searchPath = std::getenv("PATH");
    return ChildProcess::findProgram("7zz", searchPath != nullptr ? searchPath : "/usr/bin:/bin");
}

void SevenZipFixtures::writeFile(const std::filesystem::path& file, const std::string& contents) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
}

void SevenZipFixtures::writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    writeFile(file, std::string(bytes.begin(), bytes.end()));
}

std::string SevenZipFixtures::readFile(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

void SevenZipFixtures::writeTree(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    writeFile(root / "Fw.framework/Versions/A/Resources/info.txt", "framework\n");
    fs::create_directory_symlink("A", root / "Fw.framework/Versions/Current");
    writeFile(root / "tool", "#!/bin/sh\n");
    fs::permissions(root / "tool", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    writeFile(root / "odd/line\nbreak", "x");
    writeFile(root / "odd/not-utf8-\xff", "yy");
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

void SevenZipTest::SetUp() {
    if (!SevenZipFixtures::program()) {
        GTEST_SKIP() << "7zz is not installed";
    }
}

std::filesystem::path SevenZipTest::archive(const std::string& name,
                                            const std::function<void(const std::filesystem::path&)>& write,
                                            const std::vector<std::string>& switches) {
    const auto tree = _folder.path() / ("tree-" + name);
    std::filesystem::create_directories(tree);
    write(tree);
    const auto result = _folder.path() / name;
    EXPECT_EQ(SevenZipFixtures::makeArchive(result, tree, switches), "");
    return result;
}

std::filesystem::path SevenZipTest::destination() {
    const auto result = _folder.path() / ("out" + std::to_string(++_destinations));
    std::filesystem::create_directory(result);
    return result;
}
