#pragma once

#include <filesystem>
#include <string>

namespace ZRFileManager {

/// The name a user sees for the item at `path`: its last path component, with the ".app" extension
/// of an application bundle hidden. Paths that do not exist get their last component as written.
std::string displayNameAtPath(const std::filesystem::path& path);

bool fileExistsAtPath(const std::filesystem::path& path);
bool isDirectoryAtPath(const std::filesystem::path& path);

} // namespace ZRFileManager
