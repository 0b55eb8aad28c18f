#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

/// A bundle on disk: an application (`X.app/Contents/…`), a framework (`Resources/Info.plist`)
/// or a flat folder with `Resources/`. Reads its Info.plist and string tables on demand and keeps
/// them. Safe to use from several threads.
class ZRBundle {
public:
    /// None when `path` is not a directory.
    static std::shared_ptr<ZRBundle> bundleWithPath(const std::filesystem::path& path);

    /// This program's own resources: the folder named by LUMORA_RESOURCES_DIR, else the
    /// `Resources` folder beside the executable's folder (a build tree), else
    /// `share/lumora-viewer/Resources` beside it (an installed tree).
    static ZRBundle& mainBundle();
    /// None when this program's resources are there and hold the English string table `table`;
    /// otherwise a message naming the folder that was looked in.
    static std::optional<std::string> mainBundleResourcesProblem(std::string_view table);

    const std::filesystem::path& bundlePath() const { return _bundlePath; }
    /// `Contents` for an application bundle, the bundle folder otherwise.
    std::filesystem::path contentsPath() const;
    /// The folders of shared frameworks, private frameworks and built-in plug-ins
    /// (`SharedFrameworks`, `Frameworks`, `PlugIns` in the contents folder), whether or not they exist.
    std::filesystem::path sharedFrameworksPath() const { return contentsPath() / "SharedFrameworks"; }
    std::filesystem::path privateFrameworksPath() const { return contentsPath() / "Frameworks"; }
    std::filesystem::path builtInPlugInsPath() const { return contentsPath() / "PlugIns"; }
    /// `Contents/Resources` or `Resources`; none when the bundle has no such folder.
    std::optional<std::filesystem::path> resourcePath() const { return _resourcePath; }

    /// The Info.plist dictionary (empty when missing or unreadable).
    const ZRPropertyListDictionary& infoDictionary() const;
    /// The Info.plist path that `infoDictionary` reads, whether or not it exists.
    std::filesystem::path infoPlistPath() const;
    /// The Info.plist dictionary with the string values of the best `InfoPlist.strings` laid over it.
    ZRPropertyListDictionary localizedInfoDictionary() const;
    std::optional<std::string> bundleIdentifier() const;
    /// The main executable named by "CFBundleExecutable": in `Contents/MacOS` of an application
    /// bundle, in the bundle folder otherwise. None when the Info.plist names none.
    std::optional<std::filesystem::path> executablePath() const;
    /// "CFBundleDevelopmentRegion", "en" when absent.
    std::string developmentLocalization() const;

    /// The names of the `*.lproj` folders in the resources folder, sorted.
    std::vector<std::string> localizations() const;
    /// The localizations ordered by the user's languages, best first; the development
    /// localization when none of them is wanted but it exists.
    std::vector<std::string> preferredLocalizations() const;

    /// The first existing file named `name.extension` in the resources folder (or its
    /// `subdirectory`), then in the preferred localization folders, then the development one.
    std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view extension,
                                                         std::string_view subdirectory = {}) const;
    /// The same restricted to one localization folder.
    std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view extension,
                                                         std::string_view subdirectory,
                                                         std::string_view localization) const;

    /// The value for `key` in `table` (the `.strings` file of that name) of the best localization
    /// that has the key, or `defaultValue` when none has it.
    std::string localizedStringForKey(std::string_view key, std::string_view defaultValue,
                                      std::string_view table) const;

private:
    explicit ZRBundle(std::filesystem::path bundlePath);
    ZRBundle(std::filesystem::path bundlePath, std::filesystem::path resourcePath);
    const std::unordered_map<std::string, std::string>* stringTable(const std::filesystem::path& file) const;
    std::optional<std::filesystem::path> stringTableFile(std::string_view table,
                                                         std::string_view localization) const;

    std::filesystem::path _bundlePath;
    std::optional<std::filesystem::path> _resourcePath;
    mutable std::mutex _mutex;
    mutable std::optional<ZRPropertyListDictionary> _infoDictionary;
    mutable std::map<std::filesystem::path, std::optional<std::unordered_map<std::string, std::string>>>
        _stringTables;
    // Like the tables themselves, which localizations exist and where each table lives are read
    // once: texts are looked up for every line of a page, and the bundle does not change under us.
    mutable std::optional<std::vector<std::string>> _localizations;
    mutable std::map<std::pair<std::string, std::string>, std::optional<std::filesystem::path>, std::less<>>
        _stringTableFiles;
};
