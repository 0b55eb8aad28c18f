#include "Code/Catalogue/StandardApplicationsSources.h"

#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/SpotlightApplicationsSource.h"
#include "LumoraVersion.h"

#include <QStandardPaths>

ApplicationsSourceController::Sources
standardApplicationsSources(const Preferences& preferences, const ApplicationsSourceLocations& locations) {
    std::vector<std::filesystem::path> scopes;
    if (locations.searchScopes) {
        scopes = *locations.searchScopes;
    } else if (const QStringList configured = preferences.spotlightSearchScopes(); !configured.isEmpty()) {
        for (const QString& scope : configured) {
            scopes.push_back(QtStrings::toPath(scope));
        }
    } else {
        scopes = SpotlightApplicationsSource::defaultSearchScopes();
    }
    const auto folders = locations.folders.value_or(
        std::vector<std::filesystem::path>{"/Applications/", "/System/Applications/"});

    ApplicationsSourceController::Sources sources;
    sources.makeSpotlightApplicationsSource = [scopes] { return SpotlightApplicationsSource::make(scopes); };
    sources.makeFolderApplicationsSource = [folders] {
        std::vector<ZRURL> folderURLs;
        for (const auto& folder : folders) {
            folderURLs.push_back(ZRURL::fileURL(folder, true));
        }
        return FolderApplicationsSource::make(std::move(folderURLs));
    };
    sources.archiveExtractionCache = std::make_shared<ArchiveExtractionCache>(
        QtStrings::toPath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)) /
        LumoraApplicationID / "archives");
    if (const QString listURL = preferences.previewApplicationsListURL(); !listURL.isEmpty()) {
        sources.previewApplicationsSource = PreviewApplicationsSource::make(QUrl(listURL));
    }
    return sources;
}
