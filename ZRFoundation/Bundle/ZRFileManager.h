#pragma once

#include <filesystem>
#include <string>

namespace ZRFileManager {

/// The name a user sees for the item at `path`: its last path component, with the ".app" extension
/// of an application bundle hidden. Paths that do not exist get their last component as written.
std::string displayNameAtPath(const std::filesystem::path& path);

bool fileExistsAtPath(const std::filesystem::path& path);
bool isDirectoryAtPath(const std::filesystem::path& path);

/// The home folder recorded for the real user ID in the user database (not $HOME, which whoever
/// starts the program may set to anything); empty when the database has no entry.
std::filesystem::path homeDirectoryForCurrentUser();
/// The name recorded for the real user ID; empty when there is none.
std::string userNameForCurrentUser();

} // namespace ZRFileManager
