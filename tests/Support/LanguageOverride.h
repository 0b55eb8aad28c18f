#pragma once

#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <string>
#include <vector>

/// Fixes the user's preferred languages for as long as it lives, since texts and name
/// comparisons follow them.
class LanguageOverride {
public:
    explicit LanguageOverride(std::vector<std::string> languages) {
        ZRPreferredLanguages::overridePreferredLanguages(std::move(languages));
    }
    ~LanguageOverride() { ZRPreferredLanguages::overridePreferredLanguages(std::nullopt); }
    LanguageOverride(const LanguageOverride&) = delete;
    LanguageOverride& operator=(const LanguageOverride&) = delete;
};
