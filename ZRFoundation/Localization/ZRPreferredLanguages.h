#pragma once

#include <optional>
#include <string>
#include <vector>

/// The user's language preferences and the choice of localizations they imply.
namespace ZRPreferredLanguages {

/// The user's languages, best first, as BCP 47 tags ("de-DE", "en"): from LANGUAGE (a colon
/// separated list), then the first of LC_ALL, LC_MESSAGES and LANG that names a language. "en"
/// when none is usable. Read from the environment on every call unless overridden.
std::vector<std::string> preferredLanguages();

/// Replaces the environment's answer (tests, and programs that take a language option); none
/// restores it.
void overridePreferredLanguages(std::optional<std::vector<std::string>> languages);

/// "de_DE.UTF-8@euro" → "de-DE"; none for "C", "POSIX" and empty values.
std::optional<std::string> languageTagFromLocaleName(std::string_view localeName);

/// The available localizations ordered by the preferences, best first: for each preferred
/// language its exact localization, then its language without region ("de" for "de-DE"), then
/// the old English names ("German"). Localizations no preference asks for are left out.
std::vector<std::string> preferredLocalizationsFromArray(const std::vector<std::string>& localizations,
                                                         const std::vector<std::string>& preferences);
std::vector<std::string> preferredLocalizationsFromArray(const std::vector<std::string>& localizations);

} // namespace ZRPreferredLanguages
