#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"

#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Archives/CancellationToken.h"
#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/OpeningArchive.h"
#include "Code/Catalogue/SecurityScopedBookmarksStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThreadPool>
#include <filesystem>
#include <system_error>

namespace {

Q_LOGGING_CATEGORY(archivesLog, "lumora.archives")

bool isOpenedAsArchive(const std::filesystem::path& path, bool hasExtractionCache) {
    return hasExtractionCache && !InstalledApplication::canContainLumora(path, false) &&
           ApplicationFileTypes::isArchive(path);
}

/// The bundle URL of an item that can hold a declaration, judged by what it is now.
ZRURL bundleURLOf(const std::filesystem::path& path) {
    std::error_code error;
    return ZRURL::fileURL(path, std::filesystem::is_directory(path, error));
}

} // namespace

/// The remembered items, examined on the disk queue.
struct ManuallyAddedApplicationsSource::RememberedItems {
    std::vector<std::filesystem::path> granted;
    std::vector<std::shared_ptr<InstalledApplication>> applications;
    std::vector<std::filesystem::path> archives;
};

ManuallyAddedApplicationsSource::ManuallyAddedApplicationsSource(
    std::shared_ptr<SecurityScopedBookmarksStore> store,
    std::shared_ptr<ArchiveExtractionCache> archiveExtractionCache)
    : _securityScopedBookmarksStore(std::move(store))
    , _archiveExtractionCache(std::move(archiveExtractionCache))
    , _cancellation(std::make_shared<CancellationToken>())
    , _self(std::make_shared<ManuallyAddedApplicationsSource*>(this)) {}

ManuallyAddedApplicationsSource::~ManuallyAddedApplicationsSource() {
    _cancellation->cancel();
}

void ManuallyAddedApplicationsSource::add(const std::vector<ZRURL>& fileURLs) {
    _securityScopedBookmarksStore->add(fileURLs);
    for (const auto& url : fileURLs) {
        addApplication(url, true);
    }
}

void ManuallyAddedApplicationsSource::removeAll() {
    _securityScopedBookmarksStore->removeAll();
    _applications.clear();
    _openingArchives.clear();
    _openingArchiveRows.clear();
    ++_generation;
}

bool ManuallyAddedApplicationsSource::opensArchive(const std::filesystem::path& path) const {
    return isOpenedAsArchive(path, _archiveExtractionCache != nullptr);
}

void ManuallyAddedApplicationsSource::loadRememberedItems(std::function<void()> didLoad) {
    _isLoadingRememberedItems = true;
    _didLoadRememberedItems = std::move(didLoad);
    auto* const core = QCoreApplication::instance();
    DiskOperationQueue::start([bookmarks = _securityScopedBookmarksStore->unresolvedBookmarks(),
                               startAccessing = _securityScopedBookmarksStore->accessStarter(),
                               hasExtractionCache = _archiveExtractionCache != nullptr,
                               weakSelf = std::weak_ptr(_self), generation = _generation, core] {
        if (weakSelf.expired()) {
            return;
        }
        RememberedItems items;
        items.granted = SecurityScopedBookmarksStore::resolveStoredBookmarks(bookmarks, startAccessing);
        for (const auto& path : items.granted) {
            if (isOpenedAsArchive(path, hasExtractionCache)) {
                items.archives.push_back(path);
            } else if (InstalledApplication::canContainLumora(path, false)) {
                items.applications.push_back(InstalledApplication::makeForBundleURL(bundleURLOf(path)));
            }
        }
        QMetaObject::invokeMethod(
            core,
            [weakSelf, generation, items = std::move(items)]() mutable {
                if (const auto self = weakSelf.lock()) {
                    (*self)->rememberedItemsLoaded(std::move(items), generation);
                }
            },
            Qt::QueuedConnection);
    });
}

void ManuallyAddedApplicationsSource::rememberedItemsLoaded(RememberedItems items, std::uint64_t generation) {
    _isLoadingRememberedItems = false;
    // After `removeAll` the remembered items are forgotten, not granted again.
    if (generation == _generation) {
        _securityScopedBookmarksStore->adoptResolvedBookmarks(items.granted);
        for (auto& application : items.applications) {
            _applications.insert(std::move(application));
        }
        for (const auto& archive : items.archives) {
            openArchive(archive, false);
        }
    }
    if (const auto didLoad = std::move(_didLoadRememberedItems)) {
        didLoad();
    }
}

void ManuallyAddedApplicationsSource::addApplication(const ZRURL& fileURL, bool isNew) {
    if (!fileURL.isFileURL()) {
        return;
    }
    if (opensArchive(fileURL.path())) {
        openArchive(fileURL.path(), isNew);
        return;
    }
    if (!InstalledApplication::canContainLumora(fileURL.path(), false)) {
        return;
    }
    _applications.insert(InstalledApplication::makeForBundleURL(bundleURLOf(fileURL.path())));
}

void ManuallyAddedApplicationsSource::openArchive(const std::filesystem::path& archive, bool isNew) {
    if (!_openingArchives.insert(archive).second) {
        return;
    }
    auto row = std::make_shared<OpeningArchive>(archive);
    _applications.insert(row);
    _openingArchiveRows.emplace(archive, std::move(row));
    auto* const core = QCoreApplication::instance();
    DiskOperationQueue::start([cache = _archiveExtractionCache, cancellation = _cancellation,
                               weakSelf = std::weak_ptr(_self), generation = _generation, archive, isNew,
                               core] {
        if (cancellation->isCancelled() || weakSelf.expired()) {
            return;
        }
        const SevenZip sevenZip;
        // Progress reaches the row at most every 100 ms.
        QElapsedTimer sinceReport;
        const auto progress = [&](int percent) {
            if (core == nullptr || (sinceReport.isValid() && sinceReport.elapsed() < 100 && percent < 100)) {
                return;
            }
            sinceReport.start();
            QMetaObject::invokeMethod(
                core,
                [weakSelf, archive, percent, generation] {
                    if (const auto self = weakSelf.lock()) {
                        (*self)->archiveProgressed(archive, percent, generation);
                    }
                },
                Qt::QueuedConnection);
        };
        auto opened = cache->open(sevenZip, archive, {}, cancellation.get(), progress);
        for (const auto& unopened : opened.contents.unopenedArchives) {
            qCInfo(archivesLog).noquote()
                << QString::fromStdString(archive.string()) << ": the archive"
                << QString::fromStdString(unopened) << "lies inside an archive inside it and is not opened";
        }
        ArchiveOutcome outcome;
        outcome.archive = archive;
        outcome.failure = opened.contents.failure;
        outcome.message = std::move(opened.contents.message);
        outcome.isNew = isNew;
        std::vector<InstalledApplication::ArchiveOrigin> origins;
        for (const auto& application : opened.contents.applications) {
            // Made here, off the main thread, since making one reads its bundle.
            outcome.applications.push_back(
                InstalledApplication::makeForBundleURL(ZRURL::fileURL(application.bundle, true)));
            origins.push_back({archive, application.pathInArchive});
        }
        if (core == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            core,
            [weakSelf, generation, outcome = std::move(outcome), origins = std::move(origins)]() mutable {
                for (std::size_t index = 0; index < outcome.applications.size(); ++index) {
                    outcome.applications[index]->setArchiveOrigin(std::move(origins[index]));
                }
                if (const auto self = weakSelf.lock()) {
                    (*self)->archiveOpened(std::move(outcome), generation);
                }
            },
            Qt::QueuedConnection);
    });
}

void ManuallyAddedApplicationsSource::archiveProgressed(const std::filesystem::path& archive, int percent,
                                                        std::uint64_t generation) {
    if (generation != _generation) {
        return;
    }
    if (const auto row = _openingArchiveRows.find(archive); row != _openingArchiveRows.end()) {
        static_cast<OpeningArchive&>(*row->second).setProgress(percent);
    }
}

void ManuallyAddedApplicationsSource::archiveOpened(ArchiveOutcome outcome, std::uint64_t generation) {
    if (generation != _generation) {
        return;
    }
    _openingArchives.erase(outcome.archive);
    if (const auto row = _openingArchiveRows.find(outcome.archive); row != _openingArchiveRows.end()) {
        _applications.erase(row->second);
        _openingArchiveRows.erase(row);
    }
    if (outcome.failure != SevenZip::Failure::none) {
        qCInfo(archivesLog).noquote() << QString::fromStdString(outcome.archive.string())
                                      << "could not be opened:" << QString::fromStdString(outcome.message);
    }
    for (const auto& application : outcome.applications) {
        _applications.insert(application);
    }
    if (_archiveHandler) {
        _archiveHandler(outcome);
    }
}
