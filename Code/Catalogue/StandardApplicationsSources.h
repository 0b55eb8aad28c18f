#pragma once

#include "Code/Catalogue/ApplicationsSourceController.h"

#include <filesystem>
#include <optional>
#include <vector>

class Preferences;

/// Where the sources look, when a run replaces the usual places.
struct ApplicationsSourceLocations {
    /// The live query's search scopes; none: the "SpotlightSearchScopes" setting, else the built-in ones.
    std::optional<std::vector<std::filesystem::path>> searchScopes;
    /// The folder source's folders; none: /Applications/ and /System/Applications/.
    std::optional<std::vector<std::filesystem::path>> folders;
};

/// The sources the viewer runs: the live query, the application folders, and the featured list
/// when "PreviewApplicationsListURL" names one.
ApplicationsSourceController::Sources
standardApplicationsSources(const Preferences& preferences,
                            const ApplicationsSourceLocations& locations = {});
