#pragma once

#include "Code/Catalogue/ApplicationsSource.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <memory>
#include <vector>

/// The application bundles below fixed folders, found by walking them once per `startUpdating`.
/// There is no watching: the set changes only when a walk finishes. On Linux the usual folders,
/// /Applications and /System/Applications, exist only where someone made them or mounted a disk
/// laid out so; elsewhere this source finds nothing.
///
/// Walks run on the shared disk queue and hold the source weakly, so the source must be owned by a
/// `std::shared_ptr` (hence `make`); a walk that finishes after the source has gone does nothing.
class FolderApplicationsSource : public AsyncApplicationsSource,
                                 public std::enable_shared_from_this<FolderApplicationsSource> {
    struct PrivateToken {};

public:
    static std::shared_ptr<FolderApplicationsSource> make(std::vector<ZRURL> folderFileURLs);
    FolderApplicationsSource(PrivateToken, std::vector<ZRURL> folderFileURLs);

    /// The application bundles below `folderFileURLs`, in any thread. A bundle is a real folder whose
    /// type is an application bundle; nothing inside a bundle (or any other package) is visited, and
    /// symbolic links are neither listed nor followed, which also keeps a link loop from trapping
    /// the walk. Folders that are missing or unreadable contribute nothing.
    static Applications applicationsInFolders(const std::vector<ZRURL>& folderFileURLs);

    const std::vector<ZRURL>& folderFileURLs() const { return _folderFileURLs; }
    const Applications& applications() const override { return _applications; }
    bool isInitialUpdateFinished() const override { return _isInitialUpdateFinished; }
    /// Every call starts a new walk, whose result replaces the set and is reported with true.
    void startUpdating(UpdateHandler updateHandler) override;
    /// A walk under way still completes and replaces the set, but reports to no one.
    void stopUpdating() override;

private:
    void applyScanResult(Applications applications);

    std::vector<ZRURL> _folderFileURLs;
    Applications _applications;
    bool _isInitialUpdateFinished = false;
    UpdateHandler _updateHandler;
};
