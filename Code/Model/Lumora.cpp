#include "Code/Model/Lumora.h"

#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/Localization/ZRLocalization.h"

Lumora::Lumora(std::shared_ptr<const Source> primarySource,
               std::vector<std::shared_ptr<const Source>> additionalSources)
    : _primarySource(std::move(primarySource))
    , _additionalSources(std::move(additionalSources)) {}

std::vector<std::shared_ptr<const Lumora::Source>> Lumora::sources() const {
    std::vector<std::shared_ptr<const Source>> all;
    all.reserve(_additionalSources.size() + 1);
    all.push_back(_primarySource);
    all.insert(all.end(), _additionalSources.begin(), _additionalSources.end());
    return all;
}

std::string Lumora::localizeString(std::string_view key) {
    return ZRLocalization::lookupLocalizedString(key, localizationTable);
}
