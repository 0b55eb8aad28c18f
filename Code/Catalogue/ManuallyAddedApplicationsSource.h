#pragma once

#include "Code/Archives/SevenZip.h"
#include "Code/Catalogue/ApplicationsSource.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class ArchiveExtractionCache;
class CancellationToken;
class InstalledApplication;
class SecurityScopedBookmarksStore;

/// The applications the user chose by hand, in the file dialog or by dropping them on the list.
/// Choosing an item also grants it through the bookmarks store (on Linux: remembers its path), so a
/// chosen folder lets the applications below it load without itself adding any. A chosen archive
/// (a disk image, a zip or tar archive, an installer package) is opened on the disk queue into the
/// extraction cache, and the outermost application bundles inside are added once it is open; it
/// is remembered like any chosen item, so it is opened again at the next start. Main thread only.
class ManuallyAddedApplicationsSource : public ApplicationsSource {
public:
    /// What became of an archive opened in the background.
    struct ArchiveOutcome {
        std::filesystem::path archive;
        /// The applications added from it, in order of their paths inside it.
        std::vector<std::shared_ptr<InstalledApplication>> applications;
        SevenZip::Failure failure = SevenZip::Failure::none;
        /// An English sentence about the failure; empty on success.
        std::string message;
        /// The archive was handed over just now (not reopened from the remembered items).
        bool isNew = false;

        bool holdsNoApplication() const { return failure == SevenZip::Failure::none && applications.empty(); }
    };
    using ArchiveHandler = std::function<void(const ArchiveOutcome&)>;

    /// Starts empty: `loadRememberedItems` adds the applications among the store's items. Without
    /// an extraction cache, archives are passed over like any item that is no application.
    explicit ManuallyAddedApplicationsSource(
        std::shared_ptr<SecurityScopedBookmarksStore> store,
        std::shared_ptr<ArchiveExtractionCache> archiveExtractionCache = nullptr);
    ~ManuallyAddedApplicationsSource() override;
    ManuallyAddedApplicationsSource(const ManuallyAddedApplicationsSource&) = delete;
    ManuallyAddedApplicationsSource& operator=(const ManuallyAddedApplicationsSource&) = delete;

    const Applications& applications() const override { return _applications; }
    SecurityScopedBookmarksStore& securityScopedBookmarksStore() const {
        return *_securityScopedBookmarksStore;
    }

    /// Told on the main thread when an archive has been opened (or could not be), after its
    /// applications were added.
    void setArchiveHandler(ArchiveHandler handler) { _archiveHandler = std::move(handler); }
    /// Whether `path` would be opened as an archive.
    bool opensArchive(const std::filesystem::path& path) const;

    /// Resolves the store's remembered items on the disk queue, then grants them, adds the
    /// applications among them and opens the archives; `didLoad` is told on the main thread
    /// afterwards (also when every grant was removed meanwhile). Nothing here waits on a disk, so a
    /// remembered item on a hung volume holds up only the initial loading.
    void loadRememberedItems(std::function<void()> didLoad);
    /// Until the remembered items are in.
    bool isLoadingRememberedItems() const { return _isLoadingRememberedItems; }
    /// The archives being opened; each has a row (`OpeningArchive`) among the applications
    /// meanwhile.
    const std::set<std::filesystem::path>& openingArchives() const { return _openingArchives; }

    /// Grants and remembers the items, then adds those that are applications and opens those
    /// that are archives.
    void add(const std::vector<ZRURL>& fileURLs);
    /// Forgets every grant and every application; archives being opened are forgotten too.
    void removeAll();

private:
    struct RememberedItems;
    void addApplication(const ZRURL& fileURL, bool isNew);
    void rememberedItemsLoaded(RememberedItems items, std::uint64_t generation);
    void openArchive(const std::filesystem::path& archive, bool isNew);
    void archiveOpened(ArchiveOutcome outcome, std::uint64_t generation);
    void archiveProgressed(const std::filesystem::path& archive, int percent, std::uint64_t generation);

    Applications _applications;
    std::shared_ptr<SecurityScopedBookmarksStore> _securityScopedBookmarksStore;
    std::shared_ptr<ArchiveExtractionCache> _archiveExtractionCache;
    ArchiveHandler _archiveHandler;
    std::set<std::filesystem::path> _openingArchives;
    /// The rows standing for them.
    std::map<std::filesystem::path, std::shared_ptr<Application>> _openingArchiveRows;
    /// Counts `removeAll` calls, so that an opening begun before one is dropped when it ends.
    std::uint64_t _generation = 0;
    bool _isLoadingRememberedItems = false;
    std::function<void()> _didLoadRememberedItems;
    /// Cancelled when the source goes: an extraction under way then stops.
    std::shared_ptr<CancellationToken> _cancellation;
    /// What queued completions hold weakly to find the source, which is not shared itself.
    std::shared_ptr<ManuallyAddedApplicationsSource*> _self;
};
