#include "ZRFoundation/Bundle/ZRFileManager.h"

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

} // namespace ZRFileManager
