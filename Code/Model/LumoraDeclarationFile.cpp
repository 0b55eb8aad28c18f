#include "Code/Model/LumoraDeclarationFile.h"

#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <iterator>

namespace LumoraDeclarationFile {

std::variant<ZRPropertyListDictionary, ReadFailure> readDeclaration(std::span<const std::uint8_t> bytes,
                                                                    bool isJSON) {
    const auto result =
        isJSON ? ZRPropertyListReader::readJSON(bytes) : ZRPropertyListReader::readPropertyList(bytes);
    if (!result) {
        return ReadFailure{result.errorDescription};
    }
    const auto* dictionary = result.value->dictionaryValue();
    if (dictionary == nullptr) {
        return ReadFailure{isJSON ? "JSON is not a dictionary" : "Plist is not a dictionary"};
    }
    return *dictionary;
}

std::variant<ZRPropertyListDictionary, ReadFailure> readDeclarationFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto bytes =
        ZRMappedFile::readRegularFile(path, maximumFileSize, ZRMappedFile::Links::follow, error);
    if (error == std::errc::file_too_large) {
        return ReadFailure{path.string() + ": file larger than " + std::to_string(maximumFileSize) + " bytes",
                           false};
    }
    if (!bytes) {
        return ReadFailure{path.string() + ": " + error.message(), false};
    }
    return readDeclaration(*bytes, path.extension() == ".json");
}

std::optional<LumoraStringTable> stringTableFromLocalizations(const ZRPropertyListDictionary& declaration) {
    const auto* value = declaration.find("Localizations");
    const auto* localizations = value ? value->dictionaryValue() : nullptr;
    if (localizations == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& [name, table] : *localizations) {
        const auto* entries = table.dictionaryValue();
        if (entries == nullptr) {
            return std::nullopt;
        }
        for (const auto& [key, translation] : *entries) {
            if (!translation.isString()) {
                return std::nullopt;
            }
        }
        names.push_back(name);
    }
    const auto preferred = ZRPreferredLanguages::preferredLocalizationsFromArray(names);
    const std::string chosen = preferred.empty() ? "en" : preferred.front();
    const auto* table = localizations->find(chosen);
    if (table == nullptr) {
        return std::nullopt;
    }
    LumoraStringTable strings;
    for (const auto& [key, translation] : *table->dictionaryValue()) {
        strings.emplace(key, *translation.stringValue());
    }
    return strings;
}

} // namespace LumoraDeclarationFile
