#include "Code/Catalogue/ApplicationsSourceController.h"

#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LocalizedStandardComparison.h"
#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"
#include "Code/Catalogue/OpenPanelPresenter.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/ReadPermissionFolderProposals.h"

#include <QEventLoop>
#include <QPointer>
#include <QSet>
#include <QThreadPool>
#include <algorithm>
#include <utility>

namespace {

/// The path without a trailing slash, so that a directory URL and a plain one compare equal.
std::string comparablePath(const std::filesystem::path& path) {
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.ends_with('/')) {
        text.pop_back();
    }
    return text;
}

/// Whether `path` is `folder` or lies inside it.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const std::string inner = comparablePath(path);
    std::string outer = comparablePath(folder);
    if (inner == outer) {
        return true;
    }
    if (!outer.ends_with('/')) {
        outer.push_back('/');
    }
    return inner.starts_with(outer);
}

} // namespace

ApplicationsSourceController::ApplicationsSourceController(Preferences& preferences, Sources sources,
                                                           QObject* parent)
    : QObject(parent)
    , _preferences(preferences)
    , _sources(std::move(sources))
    , _arrayController(new ApplicationsArrayController(this)) {
    // While the initial loading runs, progress is reported at most every 100 ms; each tick also
    // counts the pending loads afresh, so the running count can never hold the loading up.
    _progressTimer.setSingleShot(true);
    _progressTimer.setInterval(100);
    connect(&_progressTimer, &QTimer::timeout, this, [this] {
        _pendingLoadCount = countPendingLoads();
        if (std::exchange(_progressChanged, false)) {
            reportInitialLoadingProgress();
        }
        performInitialLoadingCheck();
    });
    if (_sources.previewApplicationsSource) {
        _sources.previewApplicationsSource->setWillLoadListHandler(
            [controller = QPointer(this),
             source = std::weak_ptr(_sources.previewApplicationsSource)](LoadProgress& progress) {
                const auto previewSource = source.lock();
                if (controller && previewSource) {
                    emit controller->willLoadListOfPreviewApplications(previewSource.get(), &progress);
                }
            });
    }
    auto store = std::make_shared<SecurityScopedBookmarksStore>(preferences, _sources.startAccessing);
    if (auto cache = _sources.archiveExtractionCache) {
        // Leftovers of earlier runs are cleared at start, on the disk queue.
        DiskOperationQueue::start([cache] { cache->prepare(); });
    }
    _manuallyAddedApplicationsSource =
        std::make_shared<ManuallyAddedApplicationsSource>(store, _sources.archiveExtractionCache);
    _manuallyAddedApplicationsSource->setArchiveHandler(
        [this](const ManuallyAddedApplicationsSource::ArchiveOutcome& outcome) { archiveOpened(outcome); });
    // The remembered items are examined on the disk queue: one on a hung volume must not keep
    // the window from showing.
    _manuallyAddedApplicationsSource->loadRememberedItems([controller = QPointer(this)] {
        if (controller) {
            emit controller->readPermissionsChanged();
            controller->merge();
            controller->performInitialLoadingCheck();
        }
    });

    _arrayController->setSortDescriptors({
        {[](const Application& left, const Application& right) { return left.compareIsLumoraLoaded(right); },
         false},
        {[](const Application& left, const Application& right) { return left.compareType(right); }, false},
        {[](const Application& left, const Application& right) {
             return localizedStandardCompare(left.displayName(), right.displayName());
         },
         true},
    });

    const auto preferencesChanged = [this] {
        applySourcePreferences();
        merge();
    };
    _observers = {
        connect(&preferences, &Preferences::changed, this,
                [preferencesChanged](const QString& key) {
                    using namespace PreferenceKeys;
                    if (spotlightApplicationsSourceEnabled.is(key) ||
                        manuallyAddedApplicationsSourceEnabled.is(key) ||
                        applicationsFolderApplicationsSourceEnabled.is(key) ||
                        previewApplicationsSourceEnabled.is(key)) {
                        preferencesChanged();
                    }
                }),
    };
    applySourcePreferences();
}

ApplicationsSourceController::~ApplicationsSourceController() {
    for (const auto& observer : _observers) {
        disconnect(observer);
    }
    stopUpdating();
    // The list must not outlive the set it shows.
    _arrayController->setContent(nullptr);
}

void ApplicationsSourceController::applySourcePreferences() {
    applySourcePreference(SourceKind::spotlight, _preferences.spotlightApplicationsSourceEnabled());
    applySourcePreference(SourceKind::manuallyAdded, _preferences.manuallyAddedApplicationsSourceEnabled());
    applySourcePreference(SourceKind::applicationsFolder,
                          _preferences.applicationsFolderApplicationsSourceEnabled());
    applySourcePreference(SourceKind::preview, _preferences.previewApplicationsSourceEnabled());
}

void ApplicationsSourceController::applySourcePreference(SourceKind kind, bool enabled) {
    const auto found = std::find_if(_applicationsSources.begin(), _applicationsSources.end(),
                                    [kind](const ActiveSource& active) { return active.kind == kind; });
    if (!enabled && found != _applicationsSources.end()) {
        const ActiveSource removed = *found;
        _applicationsSources.erase(found);
        if (removed.asyncSource != nullptr) {
            removed.asyncSource->stopUpdating();
        }
        return;
    }
    if (!enabled || found != _applicationsSources.end()) {
        return;
    }
    ActiveSource active{kind, nullptr, nullptr};
    switch (kind) {
    case SourceKind::spotlight:
        if (_sources.makeSpotlightApplicationsSource) {
            auto source = _sources.makeSpotlightApplicationsSource();
            active.asyncSource = source.get();
            active.source = std::move(source);
        }
        break;
    case SourceKind::manuallyAdded:
        active.source = _manuallyAddedApplicationsSource;
        break;
    case SourceKind::applicationsFolder:
        if (_sources.makeFolderApplicationsSource) {
            auto source = _sources.makeFolderApplicationsSource();
            active.asyncSource = source.get();
            active.source = std::move(source);
        }
        break;
    case SourceKind::preview:
        active.asyncSource = _sources.previewApplicationsSource.get();
        active.source = _sources.previewApplicationsSource;
        break;
    }
    if (!active.source) {
        // Nothing of this kind is offered here: enabling it contributes nothing.
        return;
    }
    _applicationsSources.push_back(std::move(active));
    startSource(_applicationsSources.back());
}

void ApplicationsSourceController::startSource(ActiveSource& active) {
    if (active.asyncSource == nullptr || active.isUpdating) {
        return;
    }
    active.isUpdating = true;
    active.asyncSource->startUpdating(
        [controller = QPointer(this)](AsyncApplicationsSource&, bool mayEndInitialLoading) {
            if (!controller) {
                return;
            }
            controller->merge();
            if (mayEndInitialLoading) {
                controller->performInitialLoadingCheck();
            } else {
                // A batch of a first walk still going: the count of applications found grows.
                controller->reportInitialLoadingProgress();
            }
        });
}

void ApplicationsSourceController::startUpdating() {
    bool hasAsyncSource = false;
    for (auto& active : _applicationsSources) {
        if (active.asyncSource != nullptr) {
            hasAsyncSource = true;
            startSource(active);
        }
    }
    if (!hasAsyncSource) {
        performInitialLoadingCheck();
    }
}

void ApplicationsSourceController::stopUpdating() {
    for (auto& active : _applicationsSources) {
        if (active.asyncSource != nullptr) {
            active.asyncSource->stopUpdating();
            active.isUpdating = false;
        }
    }
}

void ApplicationsSourceController::waitForInitialLoading() {
    if (_initialLoadingFinished) {
        return;
    }
    QEventLoop loop;
    connect(this, &ApplicationsSourceController::didFinishInitialLoading, &loop, &QEventLoop::quit);
    loop.exec();
}

void ApplicationsSourceController::merge(const std::optional<ZRURL>& bundleURLToSelect) {
    Applications collected;
    for (const auto& active : _applicationsSources) {
        for (const auto& application : active.source->applications()) {
            collected.insert(application);
        }
    }
    // A featured application that is installed is listed once, as the installed one.
    QSet<QString> installedBundleIdentifiers;
    for (const auto& application : collected) {
        if (qobject_cast<InstalledApplication*>(application.get()) != nullptr) {
            if (QString identifier = application->bundleIdentifier(); !identifier.isEmpty()) {
                installedBundleIdentifiers.insert(std::move(identifier));
            }
        }
    }
    bool changed = false;
    for (auto entry = collected.begin(); entry != collected.end();) {
        const auto& application = *entry;
        if (qobject_cast<InstalledApplication*>(application.get()) == nullptr &&
            installedBundleIdentifiers.contains(application->bundleIdentifier())) {
            entry = collected.erase(entry);
        } else {
            ++entry;
        }
    }
    // Change the set in place, so that applications that stay keep their objects.
    for (auto entry = _applications.begin(); entry != _applications.end();) {
        if (!collected.contains(*entry)) {
            stopObserving(entry->get());
            entry = _applications.erase(entry);
            changed = true;
        } else {
            ++entry;
        }
    }
    for (const auto& application : collected) {
        if (_applications.insert(application).second) {
            observe(application);
            changed = true;
        }
    }
    if (changed) {
        emit applicationsChanged();
    }
    _arrayController->rearrangeObjects();
    if (bundleURLToSelect) {
        if (_initialLoadingFinished) {
            selectInstalledApplication(*bundleURLToSelect);
        } else {
            // The list is still empty; the application is selected when it shows.
            _bundleURLToSelectWhenListed = bundleURLToSelect;
        }
    }
}

void ApplicationsSourceController::selectInstalledApplication(const ZRURL& bundleURL) {
    const std::string wanted = comparablePath(bundleURL.path());
    const auto isWanted = [&](const std::shared_ptr<Application>& application) {
        const auto* installed = qobject_cast<InstalledApplication*>(application.get());
        return installed != nullptr && installed->bundleURL().isFileURL() &&
               comparablePath(installed->bundleURL().path()) == wanted;
    };
    const auto findArranged = [&]() -> std::shared_ptr<Application> {
        const auto& arranged = _arrayController->arrangedApplications();
        const auto found = std::find_if(arranged.begin(), arranged.end(), isWanted);
        return found == arranged.end() ? nullptr : *found;
    };
    auto found = findArranged();
    if (!found && !_arrayController->filterText().isEmpty() &&
        std::any_of(_applications.begin(), _applications.end(), isWanted)) {
        _arrayController->setFilterText({});
        found = findArranged();
    }
    _arrayController->setSelectedApplication(found);
}

int ApplicationsSourceController::countPendingLoads() const {
    int pending = 0;
    for (const auto& [application, connection] : _loadStateObservations) {
        const auto* installed = qobject_cast<const InstalledApplication*>(application);
        if (installed != nullptr &&
            installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::loadPending) {
            ++pending;
        }
    }
    return pending;
}

void ApplicationsSourceController::reportInitialLoadingProgress() {
    if (_initialLoadingFinished) {
        return;
    }
    if (_progressTimer.isActive()) {
        _progressChanged = true;
        return;
    }
    const int total = static_cast<int>(_loadStateObservations.size());
    emit initialLoadingProgressed(total - std::max(_pendingLoadCount, 0), total);
    _progressChanged = false;
    _progressTimer.start();
}

void ApplicationsSourceController::performInitialLoadingCheck() {
    if (_initialLoadingFinished) {
        return;
    }
    reportInitialLoadingProgress();
    if (_pendingLoadCount > 0) {
        return;
    }
    for (const auto& active : _applicationsSources) {
        if (active.asyncSource != nullptr && !active.asyncSource->isInitialUpdateFinished()) {
            return;
        }
        // Remembered items, and archives handed over at start (or remembered), are part of the
        // first list.
        if (active.source == _manuallyAddedApplicationsSource &&
            (_manuallyAddedApplicationsSource->isLoadingRememberedItems() ||
             !_manuallyAddedApplicationsSource->openingArchives().empty())) {
            return;
        }
    }
    for (const auto& application : _applications) {
        const auto* installed = qobject_cast<InstalledApplication*>(application.get());
        if (installed != nullptr &&
            installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::loadPending) {
            return;
        }
    }
    _initialLoadingFinished = true;
    _arrayController->setContent(&_applications);
    if (const auto bundleURL = std::exchange(_bundleURLToSelectWhenListed, std::nullopt)) {
        selectInstalledApplication(*bundleURL);
    }
    emit initialLoadingFinishedChanged(true);
    emit didFinishInitialLoading();
}

void ApplicationsSourceController::lumoraLoadStateDidChange(const LumoraLoadStateChange& change) {
    const bool wasPending = change.oldValue.stateCase() == LumoraLoadState::Case::loadPending;
    const bool isPending = change.newValue.stateCase() == LumoraLoadState::Case::loadPending;
    _pendingLoadCount += static_cast<int>(isPending) - static_cast<int>(wasPending);
    // Moving into or out of `loaded` moves the row between the groups of the sort.
    if (change.oldValue.stateCase() == LumoraLoadState::Case::loaded ||
        change.newValue.stateCase() == LumoraLoadState::Case::loaded) {
        _arrayController->rearrangeObjects();
    }
    performInitialLoadingCheck();
}

void ApplicationsSourceController::observe(const std::shared_ptr<Application>& application) {
    if (auto* installed = qobject_cast<InstalledApplication*>(application.get())) {
        if (installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::loadPending) {
            ++_pendingLoadCount;
        }
        _loadStateObservations[installed] =
            connect(installed, &InstalledApplication::lumoraLoadStateChanged, this,
                    [this](const LumoraLoadStateChange& change) { lumoraLoadStateDidChange(change); });
    }
}

void ApplicationsSourceController::stopObserving(const Application* application) {
    if (const auto found = _loadStateObservations.find(application); found != _loadStateObservations.end()) {
        if (const auto* installed = qobject_cast<const InstalledApplication*>(application);
            installed != nullptr &&
            installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::loadPending) {
            --_pendingLoadCount;
        }
        disconnect(found->second);
        _loadStateObservations.erase(found);
    }
}

std::vector<std::shared_ptr<InstalledApplication>>
ApplicationsSourceController::allApplicationsWithNoReadPermissions() const {
    std::vector<std::shared_ptr<InstalledApplication>> applications;
    for (const auto& application : _applications) {
        if (auto* installed = qobject_cast<InstalledApplication*>(application.get());
            installed != nullptr &&
            installed->lumoraLoadState().stateCase() == LumoraLoadState::Case::noReadPermission) {
            applications.push_back(std::static_pointer_cast<InstalledApplication>(application));
        }
    }
    return applications;
}

std::vector<std::filesystem::path>
ApplicationsSourceController::proposedDirectoryURLsToGrantReadPermission() const {
    std::vector<std::string> bundlePaths;
    for (const auto& application : allApplicationsWithNoReadPermissions()) {
        if (application->bundleURL().isFileURL()) {
            bundlePaths.push_back(application->bundleURL().path().string());
        }
    }
    std::vector<std::filesystem::path> folders;
    for (auto& folder : ReadPermissionFolderProposals::proposedFolders(bundlePaths)) {
        folders.emplace_back(std::move(folder));
    }
    return folders;
}

bool ApplicationsSourceController::canResetReadPermissions() const {
    return !_manuallyAddedApplicationsSource->securityScopedBookmarksStore().allFileURLs().empty();
}

void ApplicationsSourceController::showOpenPanelAtParentDirectoryOf(const InstalledApplication* application) {
    if (application == nullptr || !application->bundleURL().isFileURL()) {
        showOpenPanelAt(std::nullopt);
        return;
    }
    std::filesystem::path bundlePath(comparablePath(application->bundleURL().path()));
    showOpenPanelAt(bundlePath.parent_path());
}

void ApplicationsSourceController::showOpenPanelAt(const std::optional<std::filesystem::path>& folder) {
    if (_openPanelPresenter == nullptr) {
        return;
    }
    OpenPanelPresenter::Request request;
    request.stringsTable = QStringLiteral("MainWindow");
    if (folder) {
        request.choosesFiles = false;
        request.choosesDirectories = true;
        request.directory = *folder;
        request.messageKey = QStringLiteral("openPanelMessage_grantReadingPermission");
        request.promptKey = QStringLiteral("openPanelPrompt_grantReadingPermission");
    } else {
        request.choosesFiles = true;
        request.choosesDirectories = false;
        request.allowedFileTypes = InstalledApplication::lumoraContainerFileTypes();
        request.directory = "/Applications";
        request.messageKey = QStringLiteral("openPanelMessage_openApplication");
        request.promptKey = QStringLiteral("openPanelPrompt_openApplication");
    }
    const bool grantsFolder = folder.has_value();
    _openPanelPresenter->showOpenPanel(request, [controller = QPointer(this), grantsFolder](
                                                    const std::vector<std::filesystem::path>& chosenPaths) {
        if (!controller || chosenPaths.empty()) {
            return;
        }
        // Adding applications adds applications: a folder that is none is not quietly kept
        // as a read grant (only granting does that).
        std::vector<ZRURL> fileURLs;
        for (const auto& path : chosenPaths) {
            if (grantsFolder || controller->canAdd(path)) {
                fileURLs.push_back(ZRURL::fileURL(path, false));
            }
        }
        if (fileURLs.empty()) {
            emit controller->chosenItemsRefused();
            return;
        }
        const bool select = controller->canAdd(fileURLs.front().path());
        controller->addWithSecurityScopedFileURLs(fileURLs, select);
    });
}

bool ApplicationsSourceController::canAdd(const std::filesystem::path& path) const {
    return InstalledApplication::canContainLumora(path, false) ||
           _manuallyAddedApplicationsSource->opensArchive(path);
}

void ApplicationsSourceController::addWithSecurityScopedFileURLs(const std::vector<ZRURL>& fileURLs,
                                                                 bool select) {
    const bool selectsArchive = select && !fileURLs.empty() && fileURLs.front().isFileURL() &&
                                _manuallyAddedApplicationsSource->opensArchive(fileURLs.front().path());
    _archiveToSelect = selectsArchive ? std::optional(fileURLs.front().path()) : std::nullopt;
    _manuallyAddedApplicationsSource->add(fileURLs);
    emit readPermissionsChanged();
    merge(select && !selectsArchive && !fileURLs.empty() ? std::optional<ZRURL>(fileURLs.front())
                                                         : std::nullopt);
    for (const auto& application : allApplicationsWithNoReadPermissions()) {
        const bool isGranted = std::any_of(fileURLs.begin(), fileURLs.end(), [&](const ZRURL& url) {
            return url.isFileURL() && isInside(application->bundleURL().path(), url.path());
        });
        if (isGranted) {
            application->readLumoraInBackground();
        }
    }
}

void ApplicationsSourceController::archiveOpened(
    const ManuallyAddedApplicationsSource::ArchiveOutcome& outcome) {
    const bool selects = _archiveToSelect == outcome.archive;
    if (selects) {
        _archiveToSelect.reset();
    }
    const bool added = outcome.failure == SevenZip::Failure::none && !outcome.applications.empty();
    // The archive's row goes either way; its applications take its place.
    merge(added && selects ? std::optional(outcome.applications.front()->bundleURL()) : std::nullopt);
    if (!added && outcome.isNew && outcome.failure != SevenZip::Failure::cancelled) {
        emit archiveRefused(QtStrings::fromPath(outcome.archive),
                            QString::fromLatin1(outcome.holdsNoApplication()
                                                    ? "noApplication"
                                                    : SevenZip::failureName(outcome.failure)),
                            QString::fromStdString(outcome.message));
    }
    performInitialLoadingCheck();
}

void ApplicationsSourceController::removeAllSecurityScopedFileURLs() {
    const auto revoked = _manuallyAddedApplicationsSource->securityScopedBookmarksStore().allFileURLs();
    _manuallyAddedApplicationsSource->removeAll();
    emit readPermissionsChanged();
    merge();
    for (const auto& application : _applications) {
        auto* installed = qobject_cast<InstalledApplication*>(application.get());
        if (installed == nullptr || !installed->bundleURL().isFileURL()) {
            continue;
        }
        const bool wasGranted = std::any_of(revoked.begin(), revoked.end(), [&](const ZRURL& url) {
            return url.isFileURL() && isInside(installed->bundleURL().path(), url.path());
        });
        if (wasGranted) {
            installed->readLumoraInBackground();
        }
    }
}

void ApplicationsSourceController::reloadPreviewApplications() {
    if (_sources.previewApplicationsSource) {
        _sources.previewApplicationsSource->loadList();
    }
}
