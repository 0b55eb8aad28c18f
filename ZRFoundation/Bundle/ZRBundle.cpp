#include "ZRFoundation/Bundle/ZRBundle.h"

#include "ZRFoundation/Bundle/ZRFileManager.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t maximumPropertyListFileSize = 16 * 1024 * 1024;

std::optional<ZRPropertyList> readPropertyListFile(const fs::path& path) {
    const auto bytes = ZRMappedFile::readRegularFile(path, maximumPropertyListFileSize);
    if (!bytes) {
        return std::nullopt;
    }
    auto result = ZRPropertyListReader::readPropertyList(*bytes);
    return result.value;
}

fs::path executableDirectory() {
    std::error_code error;
    const auto executable = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : executable.parent_path();
}

fs::path mainBundleResourcePath() {
    if (const char* configured = std::getenv("LUMORA_RESOURCES_DIR");
        configured != nullptr && *configured != '\0') {
        return configured;
    }
    const auto prefix = executableDirectory().parent_path();
    const auto buildTree = prefix / "Resources";
    const auto installed = prefix / "share" / "lumora-viewer" / "Resources";
    for (const auto& candidate : {buildTree, installed}) {
        if (ZRFileManager::isDirectoryAtPath(candidate)) {
            return candidate;
        }
    }
    // Neither is there: name the one this layout should have, for the message that says so.
    return ZRFileManager::isDirectoryAtPath(prefix / "share") ? installed : buildTree;
}

/// "name.extension", or the name alone for an empty extension.
std::string resourceFileName(std::string_view name, std::string_view extension) {
    std::string fileName(name);
    if (!extension.empty()) {
        fileName.append(1, '.').append(extension);
    }
    return fileName;
}

} // namespace

ZRBundle::ZRBundle(fs::path bundlePath, fs::path resourcePath)
    : _bundlePath(std::move(bundlePath))
    , _resourcePath(std::move(resourcePath)) {}

ZRBundle::ZRBundle(fs::path bundlePath)
    : _bundlePath(std::move(bundlePath)) {
    for (const auto& candidate : {_bundlePath / "Contents" / "Resources", _bundlePath / "Resources"}) {
        if (ZRFileManager::isDirectoryAtPath(candidate)) {
            _resourcePath = candidate;
            break;
        }
    }
}

std::shared_ptr<ZRBundle> ZRBundle::bundleWithPath(const fs::path& path) {
    if (!ZRFileManager::isDirectoryAtPath(path)) {
        return nullptr;
    }
    return std::shared_ptr<ZRBundle>(new ZRBundle(path));
}

ZRBundle& ZRBundle::mainBundle() {
    static ZRBundle bundle(mainBundleResourcePath().parent_path(), mainBundleResourcePath());
    return bundle;
}

std::optional<std::string> ZRBundle::mainBundleResourcesProblem(std::string_view table) {
    ZRBundle& bundle = mainBundle();
    const auto& resources = bundle._resourcePath;
    if (resources && bundle.pathForResource(table, "strings", "en.lproj")) {
        return std::nullopt;
    }
    std::string problem = "the program's resources are missing or unreadable: looked in ";
    problem += (resources ? *resources : mainBundleResourcePath()).string();
    return problem;
}

fs::path ZRBundle::contentsPath() const {
    const auto contents = _bundlePath / "Contents";
    return ZRFileManager::isDirectoryAtPath(contents) ? contents : _bundlePath;
}

fs::path ZRBundle::infoPlistPath() const {
    const auto contents = _bundlePath / "Contents";
    if (ZRFileManager::isDirectoryAtPath(contents)) {
        return contents / "Info.plist";
    }
    const auto frameworkStyle = _bundlePath / "Resources" / "Info.plist";
    if (ZRFileManager::fileExistsAtPath(frameworkStyle)) {
        return frameworkStyle;
    }
    return _bundlePath / "Info.plist";
}

const ZRPropertyListDictionary& ZRBundle::infoDictionary() const {
    std::lock_guard lock(_mutex);
    if (!_infoDictionary) {
        const auto plist = readPropertyListFile(infoPlistPath());
        const auto* dictionary = plist ? plist->dictionaryValue() : nullptr;
        _infoDictionary = dictionary ? *dictionary : ZRPropertyListDictionary();
    }
    return *_infoDictionary;
}

ZRPropertyListDictionary ZRBundle::localizedInfoDictionary() const {
    ZRPropertyListDictionary merged = infoDictionary();
    for (const auto& localization : preferredLocalizations()) {
        const auto file = pathForResource("InfoPlist", "strings", {}, localization);
        if (!file) {
            continue;
        }
        std::lock_guard lock(_mutex);
        if (const auto* table = stringTable(*file)) {
            for (const auto& [key, value] : *table) {
                merged.set(key, ZRPropertyList::string(value));
            }
            break;
        }
    }
    return merged;
}

std::optional<std::string> ZRBundle::bundleIdentifier() const {
    const auto* value = infoDictionary().find("CFBundleIdentifier");
    const auto* text = value ? value->stringValue() : nullptr;
    return text ? std::optional(*text) : std::nullopt;
}

std::optional<fs::path> ZRBundle::executablePath() const {
    const auto* value = infoDictionary().find("CFBundleExecutable");
    const auto* name = value ? value->stringValue() : nullptr;
    if (name == nullptr || name->empty() || name->find('/') != std::string::npos || *name == "." ||
        *name == "..") {
        return std::nullopt;
    }
    const auto contents = _bundlePath / "Contents";
    if (ZRFileManager::isDirectoryAtPath(contents)) {
        return contents / "MacOS" / *name;
    }
    return _bundlePath / *name;
}

std::string ZRBundle::developmentLocalization() const {
    const auto* value = infoDictionary().find("CFBundleDevelopmentRegion");
    const auto* text = value ? value->stringValue() : nullptr;
    return text && !text->empty() ? *text : "en";
}

std::vector<std::string> ZRBundle::localizations() const {
    {
        std::lock_guard lock(_mutex);
        if (_localizations) {
            return *_localizations;
        }
    }
    std::vector<std::string> names;
    if (!_resourcePath) {
        return names;
    }
    std::error_code error;
    for (fs::directory_iterator entry(*_resourcePath, error), end; !error && entry != end;
         entry.increment(error)) {
        const auto name = entry->path().filename().string();
        if (name.size() > 6 && name.ends_with(".lproj") && entry->is_directory(error)) {
            names.push_back(name.substr(0, name.size() - 6));
        }
    }
    std::sort(names.begin(), names.end());
    std::lock_guard lock(_mutex);
    _localizations = names;
    return names;
}

std::vector<std::string> ZRBundle::preferredLocalizations() const {
    const auto available = localizations();
    auto preferred = ZRPreferredLanguages::preferredLocalizationsFromArray(available);
    if (preferred.empty()) {
        const auto development = developmentLocalization();
        if (std::find(available.begin(), available.end(), development) != available.end()) {
            preferred.push_back(development);
        }
    }
    return preferred;
}

std::optional<fs::path> ZRBundle::pathForResource(std::string_view name, std::string_view extension,
                                                  std::string_view subdirectory) const {
    if (!_resourcePath) {
        return std::nullopt;
    }
    const std::string fileName = resourceFileName(name, extension);
    const auto unlocalized = *_resourcePath / subdirectory / fileName;
    if (ZRFileManager::fileExistsAtPath(unlocalized)) {
        return unlocalized;
    }
    auto order = preferredLocalizations();
    order.push_back(developmentLocalization());
    for (const auto& localization : order) {
        if (auto found = pathForResource(name, extension, subdirectory, localization)) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> ZRBundle::pathForResource(std::string_view name, std::string_view extension,
                                                  std::string_view subdirectory,
                                                  std::string_view localization) const {
    if (!_resourcePath) {
        return std::nullopt;
    }
    const std::string fileName = resourceFileName(name, extension);
    const auto candidate = *_resourcePath / subdirectory / (std::string(localization) + ".lproj") / fileName;
    if (ZRFileManager::fileExistsAtPath(candidate)) {
        return candidate;
    }
    return std::nullopt;
}

std::optional<fs::path> ZRBundle::stringTableFile(std::string_view table,
                                                  std::string_view localization) const {
    const std::pair<std::string, std::string> key{table, localization};
    {
        std::lock_guard lock(_mutex);
        if (const auto found = _stringTableFiles.find(key); found != _stringTableFiles.end()) {
            return found->second;
        }
    }
    auto file = pathForResource(table, "strings", {}, localization);
    std::lock_guard lock(_mutex);
    _stringTableFiles.emplace(key, file);
    return file;
}

const std::unordered_map<std::string, std::string>* ZRBundle::stringTable(const fs::path& file) const {
    auto [entry, inserted] = _stringTables.try_emplace(file);
    if (inserted) {
        const auto plist = readPropertyListFile(file);
        if (const auto* dictionary = plist ? plist->dictionaryValue() : nullptr) {
            std::unordered_map<std::string, std::string> table;
            for (const auto& [key, value] : *dictionary) {
                if (const auto* text = value.stringValue()) {
                    table.emplace(key, *text);
                }
            }
            entry->second = std::move(table);
        }
    }
    return entry->second ? &*entry->second : nullptr;
}

std::string ZRBundle::localizedStringForKey(std::string_view key, std::string_view defaultValue,
                                            std::string_view table) const {
    auto order = preferredLocalizations();
    order.push_back(developmentLocalization());
    for (const auto& localization : order) {
        const auto file = stringTableFile(table, localization);
        if (!file) {
            continue;
        }
        std::lock_guard lock(_mutex);
        if (const auto* strings = stringTable(*file)) {
            if (const auto found = strings->find(std::string(key)); found != strings->end()) {
                return found->second;
            }
        }
    }
    return std::string(defaultValue);
}
