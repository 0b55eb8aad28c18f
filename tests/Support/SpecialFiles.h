#pragma once

#include <filesystem>
#include <string>
#include <vector>

/// Things that are not regular files, planted where a bundle's file belongs: none of them may
/// block or stream forever when read.
namespace SpecialFiles {

enum class Kind { fifo, characterDevice, directory, linkToDevZero };

std::string name(Kind kind);

/// Every kind this process can make (a character device needs root).
std::vector<Kind> availableKinds();

/// Replaces whatever is at `path` with a `kind`; false when that failed.
bool replaceWith(const std::filesystem::path& path, Kind kind);

} // namespace SpecialFiles
