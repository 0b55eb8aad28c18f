#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

/// Programs signed by real signing tools, from npm packages that scripts/fetch-real-signatures.sh
/// unpacks. The tests never download anything: without the packages they skip.
namespace RealSignatures {

/// $LUMORA_REAL_SIGNATURES, else ${XDG_CACHE_HOME:-/tmp}/lumora-real-signatures, as the script.
inline std::filesystem::path folder() {
    if (const char* chosen = std::getenv("LUMORA_REAL_SIGNATURES"); chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    return (cache != nullptr && *cache != '\0' ? std::filesystem::path(cache)
                                               : std::filesystem::path("/tmp")) /
           "lumora-real-signatures";
}

/// The unpacked "package" folder of a package ("name@version"), when it has been fetched.
inline std::optional<std::filesystem::path> package(const std::string& packageAndVersion) {
    std::string name = packageAndVersion;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '/' || c == '@'; }, '-');
    const auto unpacked = folder() / name / "package";
    if (!std::filesystem::is_directory(unpacked)) {
        return std::nullopt;
    }
    return unpacked;
}

} // namespace RealSignatures
