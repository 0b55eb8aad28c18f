#include "ZRFoundation/Bundle/ZRFileManager.h"

#include <cerrno>
#include <utility>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace ZRFileManager {

std::string displayNameAtPath(const std::filesystem::path& path) {
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    std::string name = std::filesystem::path(text).filename().string();
    if (name.empty()) {
        return text;
    }
    constexpr std::string_view applicationExtension = ".app";
    if (name.size() > applicationExtension.size() && name.ends_with(applicationExtension) &&
        isDirectoryAtPath(text)) {
        name.erase(name.size() - applicationExtension.size());
    }
    return name;
}

bool fileExistsAtPath(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool isDirectoryAtPath(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

namespace {

/// The user database's entry for the real user ID, as (home folder, name).
std::pair<std::string, std::string> currentUserEntry() {
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == ERANGE &&
           buffer.size() < (1U << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (result == nullptr) {
        return {};
    }
    return {result->pw_dir ? result->pw_dir : "", result->pw_name ? result->pw_name : ""};
}

} // namespace

std::filesystem::path homeDirectoryForCurrentUser() {
    return currentUserEntry().first;
}

std::string userNameForCurrentUser() {
    return currentUserEntry().second;
}

} // namespace ZRFileManager
