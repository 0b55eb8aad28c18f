#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"

#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/SecurityScopedBookmarksStore.h"

#include <filesystem>
#include <system_error>

ManuallyAddedApplicationsSource::ManuallyAddedApplicationsSource(
    std::shared_ptr<SecurityScopedBookmarksStore> store)
    : _securityScopedBookmarksStore(std::move(store)) {}

void ManuallyAddedApplicationsSource::add(const std::vector<ZRURL>& fileURLs) {
    _securityScopedBookmarksStore->add(fileURLs);
    addApplications(fileURLs);
}

void ManuallyAddedApplicationsSource::removeAll() {
    _securityScopedBookmarksStore->removeAll();
    _applications.clear();
}

void ManuallyAddedApplicationsSource::addApplication(const ZRURL& fileURL) {
    if (!fileURL.isFileURL() || !InstalledApplication::canContainLumora(fileURL.path(), false)) {
        return;
    }
    std::error_code error;
    const bool isDirectory = std::filesystem::is_directory(fileURL.path(), error);
    _applications.insert(InstalledApplication::makeForBundleURL(ZRURL::fileURL(fileURL.path(), isDirectory)));
}
