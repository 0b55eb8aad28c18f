#pragma once

#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <variant>

/// Reading a declaration from bytes or an unverified file (the command line's `lint`, tests), and
/// the string table that an embedded declaration carries in its "Localizations".
namespace LumoraDeclarationFile {

/// The largest declaration file read.
inline constexpr std::uintmax_t maximumFileSize = 16 * 1024 * 1024;

struct ReadFailure {
    /// The reader's debug description (may be empty), "Plist is not a dictionary" or "JSON is
    /// not a dictionary" for another top-level value, or the file error.
    std::string description;
    /// The bytes were read but are no declaration: what a bundle's loader reports as a corrupt
    /// file. False when the file itself could not be read.
    bool contentIsCorrupt = true;

    /// The description as a corrupt file's debug message: none when the reader gave none.
    std::optional<std::string> debugMessage() const {
        return description.empty() ? std::nullopt : std::optional(description);
    }
};

/// JSON for a ".json" file name, any property-list form otherwise. The top level must be a
/// dictionary.
std::variant<ZRPropertyListDictionary, ReadFailure> readDeclaration(std::span<const std::uint8_t> bytes,
                                                                    bool isJSON);
std::variant<ZRPropertyListDictionary, ReadFailure> readDeclarationFile(const std::filesystem::path& path);

/// The table of "Localizations" (localization name → string table) for the user's languages:
/// the best of its names, "en" when none fits. None when the key is absent, is not such a
/// dictionary, or has no table under the chosen name.
std::optional<LumoraStringTable> stringTableFromLocalizations(const ZRPropertyListDictionary& declaration);

} // namespace LumoraDeclarationFile
