#pragma once

#include "Code/Archives/SevenZip.h"
#include "Support/TemporaryFolder.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

/// Archives made at test time with 7-Zip's own program, from small trees written here.
namespace SevenZipFixtures {

/// The 7-Zip program in PATH, if installed.
std::optional<std::filesystem::path> program();

/// Writes `contents` to `file`, making its folders.
void writeFile(const std::filesystem::path& file, const std::string& contents);
void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);
/// The whole of `file`; empty when it cannot be read.
std::string readFile(const std::filesystem::path& file);

/// Writes a small tree under `root`: a framework-like folder whose `Versions/Current` is a link to
/// `A`, an executable, a name with a line break and a name that is not UTF-8.
void writeTree(const std::filesystem::path& root);

/// Runs `7zz a -snl` (links stored as links) in `folder`, adding `.` to `archive` with the
/// given extra switches; the error text, empty on success.
std::string makeArchive(const std::filesystem::path& archive, const std::filesystem::path& folder,
                        const std::vector<std::string>& switches = {});

/// Runs 7zz with `arguments` and returns its standard output; fails the test when it does not start.
std::string run(const std::vector<std::string>& arguments);

} // namespace SevenZipFixtures

/// Names each case of a parameterised suite after its `name` member.
inline constexpr auto caseName = [](const auto& testCase) { return std::string(testCase.param.name); };

/// A test that runs 7-Zip, skipped where it is not installed. Its archives, and the folders they
/// are extracted to, lie in a temporary folder of its own.
class SevenZipTest : public testing::Test {
protected:
    void SetUp() override;

    /// An archive (format by its name's extension) of the tree `write` makes in a folder of its own.
    std::filesystem::path archive(const std::string& name,
                                  const std::function<void(const std::filesystem::path&)>& write,
                                  const std::vector<std::string>& switches = {});
    /// A new empty folder.
    std::filesystem::path destination();

    TemporaryFolder _folder;
    SevenZip _sevenZip;
    SevenZip::Limits _limits;

private:
    int _destinations = 0;
};
