#include "Code/Catalogue/FolderApplicationsSource.h"

#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

/// Folders that the desktop of the bundles' home platform shows as single files. Whatever lies
/// inside them belongs to them, so a walk never enters one.
bool isPackage(const std::filesystem::path& folder) {
    constexpr std::array<std::string_view, 9> packageExtensions{
        ".app", ".appex", ".bundle", ".framework", ".kext", ".plugin", ".prefpane", ".xpc", ".qlgenerator"};
    std::string extension = folder.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return std::find(packageExtensions.begin(), packageExtensions.end(), extension) !=
           packageExtensions.end();
}

/// Adds the bundles below `root` to `applications`. An explicit stack of folders rather than a
/// recursive iterator: an error in one folder then skips only that folder, not the rest of the walk.
void collectApplications(const std::filesystem::path& root,
                         FolderApplicationsSource::Applications& applications) {
    std::vector<std::filesystem::path> folders{root};
    while (!folders.empty()) {
        const std::filesystem::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        std::filesystem::directory_iterator entries(folder, error);
        for (const std::filesystem::directory_iterator end; !error && entries != end;
             entries.increment(error)) {
            const auto& entry = *entries;
            std::error_code statusError;
            // Not following links: a link is its own kind of item, neither a bundle nor a folder to
            // enter. Only folders can be application bundles; a regular file named *.app is not one.
            const auto status = entry.symlink_status(statusError);
            if (statusError || !std::filesystem::is_directory(status)) {
                continue;
            }
            if (InstalledApplication::canContainLumora(entry.path(), true)) {
                applications.insert(
                    InstalledApplication::makeForBundleURL(ZRURL::fileURL(entry.path(), true)));
            } else if (!isPackage(entry.path())) {
                folders.push_back(entry.path());
            }
        }
    }
}

} // namespace

std::shared_ptr<FolderApplicationsSource> FolderApplicationsSource::make(std::vector<ZRURL> folderFileURLs) {
    return std::make_shared<FolderApplicationsSource>(PrivateToken{}, std::move(folderFileURLs));
}

FolderApplicationsSource::FolderApplicationsSource(PrivateToken, std::vector<ZRURL> folderFileURLs)
    : _folderFileURLs(std::move(folderFileURLs)) {}

FolderApplicationsSource::Applications
FolderApplicationsSource::applicationsInFolders(const std::vector<ZRURL>& folderFileURLs) {
    Applications applications;
    for (const auto& folder : folderFileURLs) {
        if (folder.isFileURL()) {
            collectApplications(folder.path(), applications);
        }
    }
    return applications;
}

void FolderApplicationsSource::startUpdating(UpdateHandler updateHandler) {
    _updateHandler = std::move(updateHandler);
    // The walk takes its own copy of the folders and never locks the source, so that the last
    // reference to the source is always dropped on the main thread.
    DiskOperationQueue::start([weakSource = weak_from_this(), folders = _folderFileURLs] {
        if (weakSource.expired()) {
            return;
        }
        auto applications = applicationsInFolders(folders);
        auto* const core = QCoreApplication::instance();
        if (core == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            core,
            [weakSource, applications = std::move(applications)]() mutable {
                if (const auto source = weakSource.lock()) {
                    source->applyScanResult(std::move(applications));
                }
            },
            Qt::QueuedConnection);
    });
}

void FolderApplicationsSource::stopUpdating() {
    _updateHandler = nullptr;
}

void FolderApplicationsSource::applyScanResult(Applications applications) {
    _applications = std::move(applications);
    _isInitialUpdateFinished = true;
    // A copy, since the handler may stop or restart the source.
    if (const auto handler = _updateHandler) {
        handler(*this, true);
    }
}
