#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>

namespace ZRPreferredLanguages {

namespace {

std::mutex overrideMutex;
std::optional<std::vector<std::string>> overriddenLanguages;

// Localization folders of older bundles use English language names.
constexpr std::array<std::pair<std::string_view, std::string_view>, 12> legacyNames{{
    {"en", "English"},
    {"de", "German"},
    {"fr", "French"},
    {"it", "Italian"},
    {"es", "Spanish"},
    {"ja", "Japanese"},
    {"nl", "Dutch"},
    {"sv", "Swedish"},
    {"da", "Danish"},
    {"pt", "Portuguese"},
    {"ko", "Korean"},
    {"zh", "Chinese"},
}};

std::string normalizedTag(std::string_view tag) {
    std::string result(tag);
    std::replace(result.begin(), result.end(), '_', '-');
    return result;
}

std::string languageOf(std::string_view tag) {
    return std::string(tag.substr(0, tag.find_first_of("-_")));
}

void appendOnce(std::vector<std::string>& list, const std::string& value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) {
        list.push_back(value);
    }
}

} // namespace

std::optional<std::string> languageTagFromLocaleName(std::string_view localeName) {
    const auto end = localeName.find_first_of(".@");
    std::string_view name = localeName.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") {
        return std::nullopt;
    }
    const bool valid = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
    if (!valid) {
        return std::nullopt;
    }
    return normalizedTag(name);
}

std::vector<std::string> preferredLanguages() {
    {
        std::lock_guard lock(overrideMutex);
        if (overriddenLanguages) {
            return *overriddenLanguages;
        }
    }
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list != nullptr) {
        std::string_view remaining = list;
        while (!remaining.empty()) {
            const auto end = remaining.find(':');
            if (const auto tag = languageTagFromLocaleName(remaining.substr(0, end))) {
                appendOnce(languages, *tag);
            }
            remaining = end == std::string_view::npos ? std::string_view() : remaining.substr(end + 1);
        }
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        if (const auto tag = languageTagFromLocaleName(value)) {
            appendOnce(languages, *tag);
        }
        break;
    }
    if (languages.empty()) {
        languages.emplace_back("en");
    }
    return languages;
}

void overridePreferredLanguages(std::optional<std::vector<std::string>> languages) {
    std::lock_guard lock(overrideMutex);
    overriddenLanguages = std::move(languages);
}

std::vector<std::string> preferredLocalizationsFromArray(const std::vector<std::string>& localizations,
                                                         const std::vector<std::string>& preferences) {
    std::vector<std::string> ordered;
    const auto offer = [&](std::string_view wanted) {
        for (const auto& localization : localizations) {
            if (normalizedTag(localization) == wanted) {
                appendOnce(ordered, localization);
            }
        }
    };
    for (const auto& preference : preferences) {
        const std::string tag = normalizedTag(preference);
        const std::string language = languageOf(tag);
        offer(tag);
        offer(language);
        for (const auto& [code, name] : legacyNames) {
            if (code == language) {
                offer(name);
            }
        }
    }
    return ordered;
}

std::vector<std::string> preferredLocalizationsFromArray(const std::vector<std::string>& localizations) {
    return preferredLocalizationsFromArray(localizations, preferredLanguages());
}

} // namespace ZRPreferredLanguages
