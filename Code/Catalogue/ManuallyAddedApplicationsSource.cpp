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

} // namespace

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
    return _archiveExtractionCache && !InstalledApplication::canContainLumora(path, false) &&
           ApplicationFileTypes::isArchive(path);
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
    std::error_code error;
    const bool isDirectory = std::filesystem::is_directory(fileURL.path(), error);
    _applications.insert(InstalledApplication::makeForBundleURL(ZRURL::fileURL(fileURL.path(), isDirectory)));
}

void ManuallyAddedApplicationsSource::openArchive(const std::filesystem::path& archive, bool isNew) {
    if (!_openingArchives.insert(archive).second) {
        return;
    }
    auto row = std::make_shared<OpeningArchive>(archive);
    _applications.insert(row);
    _openingArchiveRows.emplace(archive, std::move(row));
    auto* const core = QCoreApplication::instance();
    DiskOperationQueue::shared().start([cache = _archiveExtractionCache, cancellation = _cancellation,
                                        weakSelf = std::weak_ptr(_self), generation = _generation, archive,
                                        isNew, core] {
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
