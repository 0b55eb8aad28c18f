#pragma once

#include "Code/Catalogue/ApplicationsSource.h"
#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Catalogue/SecurityScopedBookmarksStore.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class ApplicationsArrayController;
class ArchiveExtractionCache;
class InstalledApplication;
class OpenPanelPresenter;
class Preferences;
struct LumoraLoadStateChange;

/// Runs the application sources the preferences enable, merges what they find into the one set the
/// list shows, keeps the list sorted as documents load, tells when the initial loading is over, and
/// carries out granting and revoking read access. On Linux the live query is the inotify-watching
/// walker `SpotlightApplicationsSource`, and granting read access means remembering the chosen
/// paths and loading again what lies in them once the process may read it. Main thread only.
class ApplicationsSourceController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool initialLoadingFinished READ initialLoadingFinished NOTIFY initialLoadingFinishedChanged)
    Q_PROPERTY(bool hasApplications READ hasApplications NOTIFY applicationsChanged)

public:
    using Applications = ApplicationsSource::Applications;
    static constexpr const char* initialLoadingFinishedNotification =
        "ApplicationsSourceControllerInitialLoadingFinishedNotification";

    /// How the controller makes its sources. The live query and the folder source are made anew
    /// each time their preference turns them on.
    struct Sources {
        std::function<std::shared_ptr<AsyncApplicationsSource>()> makeSpotlightApplicationsSource;
        std::function<std::shared_ptr<AsyncApplicationsSource>()> makeFolderApplicationsSource;
        /// The featured applications; none when no list is offered, and enabling them then adds nothing.
        std::shared_ptr<PreviewApplicationsSource> previewApplicationsSource;
        /// How granted items are opened for reading.
        SecurityScopedBookmarksStore::AccessStarter startAccessing =
            SecurityScopedBookmarksStore::startAccessingByReadPermission;
        /// Where archives handed over are extracted; none: archives are refused like any item
        /// that is no application.
        std::shared_ptr<ArchiveExtractionCache> archiveExtractionCache;
    };

    /// Applies the four source preferences at once, so sources start working before `startUpdating`.
    /// `preferences` must outlive the controller.
    ApplicationsSourceController(Preferences& preferences, Sources sources, QObject* parent = nullptr);
    ~ApplicationsSourceController() override;

    ApplicationsArrayController& arrayController() const { return *_arrayController; }
    const Applications& applications() const { return _applications; }
    bool hasApplications() const { return !_applications.empty(); }
    bool initialLoadingFinished() const { return _initialLoadingFinished; }
    bool isPreviewApplicationsSourceOffered() const { return _sources.previewApplicationsSource != nullptr; }

    /// Starts every active source that is not running; with none to wait for, the initial loading
    /// ends at once.
    void startUpdating();
    void stopUpdating();
    /// For programs without a window: runs the event loop until the initial loading has finished.
    void waitForInitialLoading();

    std::vector<std::shared_ptr<InstalledApplication>> allApplicationsWithNoReadPermissions() const;
    /// The folders to offer for granting, each ending in "/", shallowest first.
    std::vector<std::filesystem::path> proposedDirectoryURLsToGrantReadPermission() const;
    /// Whether any item has been granted.
    bool canResetReadPermissions() const;

    /// Where the open panel is shown; none shows nothing. Not owned.
    void setOpenPanelPresenter(OpenPanelPresenter* presenter) { _openPanelPresenter = presenter; }
    /// The panel for granting the folder that holds the application, or for adding applications
    /// when there is none.
    void showOpenPanelAtParentDirectoryOf(const InstalledApplication* application);
    /// The panel for granting folders, starting in `folder`; for adding applications without one.
    void showOpenPanelAt(const std::optional<std::filesystem::path>& folder);
    /// Whether the item at `path` can be handed over: an application, or an archive when archives
    /// are opened.
    bool canAdd(const std::filesystem::path& path) const;
    /// Grants and adds the items, selecting the first when `select` is set (for an archive: its
    /// first application, once it is open), and loads again the applications inside them that
    /// could not be read.
    void addWithSecurityScopedFileURLs(const std::vector<ZRURL>& fileURLs, bool select);
    /// Revokes every grant and loads again the applications that were inside granted items.
    void removeAllSecurityScopedFileURLs();
    /// Loads the featured list again (nothing happens while a load runs or when none is offered).
    void reloadPreviewApplications();

    /// None when no list is offered.
    PreviewApplicationsSource* previewApplicationsSource() const {
        return _sources.previewApplicationsSource.get();
    }

    ManuallyAddedApplicationsSource& manuallyAddedApplicationsSource() const {
        return *_manuallyAddedApplicationsSource;
    }

signals:
    /// After the merged set changed.
    void applicationsChanged();
    void initialLoadingFinishedChanged(bool finished);
    /// Sent once, when the initial loading has finished and the list shows the applications.
    void didFinishInitialLoading();
    /// Items were granted or every grant was revoked.
    void readPermissionsChanged();
    /// Nothing chosen in the open panel could be added (the window beeps).
    void chosenItemsRefused();
    /// An archive handed over just now could not be opened, or holds no application.
    /// `failureName` is `SevenZip::failureName` of the failure, or "noApplication"; `detail` an
    /// English sentence, or empty.
    void archiveRefused(const QString& archivePath, const QString& failureName, const QString& detail);
    /// While the initial loading runs: how many of the applications found so far have been read.
    /// At most every 100 ms.
    void initialLoadingProgressed(int loaded, int total);
    /// The featured list starts loading (the window shows the loading sheet). Both objects live
    /// at least until `progress` reports the end; connect directly, on the same thread.
    void willLoadListOfPreviewApplications(PreviewApplicationsSource* source, LoadProgress* progress);

private:
    enum class SourceKind { spotlight, manuallyAdded, applicationsFolder, preview };
    struct ActiveSource {
        SourceKind kind;
        std::shared_ptr<ApplicationsSource> source;
        /// The same source when its content arrives later, else none.
        AsyncApplicationsSource* asyncSource;
        bool isUpdating = false;
    };

    void applySourcePreferences();
    void applySourcePreference(SourceKind kind, bool enabled);
    void startSource(ActiveSource& active);
    void merge(const std::optional<ZRURL>& bundleURLToSelect = std::nullopt);
    void selectInstalledApplication(const ZRURL& bundleURL);
    void performInitialLoadingCheck();
    void reportInitialLoadingProgress();
    int countPendingLoads() const;
    void lumoraLoadStateDidChange(const LumoraLoadStateChange& change);
    void observe(const std::shared_ptr<Application>& application);
    void stopObserving(const Application* application);

    Preferences& _preferences;
    Sources _sources;
    ApplicationsArrayController* _arrayController;
    Applications _applications;
    std::vector<ActiveSource> _applicationsSources;
    std::shared_ptr<ManuallyAddedApplicationsSource> _manuallyAddedApplicationsSource;
    std::vector<QMetaObject::Connection> _observers;
    std::unordered_map<const Application*, QMetaObject::Connection> _loadStateObservations;
    OpenPanelPresenter* _openPanelPresenter = nullptr;
    bool _initialLoadingFinished = false;
    /// Installed applications observed whose load is pending: the initial loading cannot be over
    /// before this is 0, so the full check runs only then.
    int _pendingLoadCount = 0;
    QTimer _progressTimer;
    bool _progressChanged = false;
    /// Asked to be selected before the list showed anything.
    std::optional<ZRURL> _bundleURLToSelectWhenListed;
    /// An archive handed over to be selected: its first application is selected once it is open.
    std::optional<std::filesystem::path> _archiveToSelect;

    void archiveOpened(const ManuallyAddedApplicationsSource::ArchiveOutcome& outcome);
};
