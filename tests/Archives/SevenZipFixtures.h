#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// Archives made at test time with 7-Zip's own program, from small trees written here.
namespace SevenZipFixtures {

/// The 7-Zip program in PATH, if installed.
std::optional<std::filesystem::path> program();

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
