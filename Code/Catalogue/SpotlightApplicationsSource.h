#pragma once

#include "Code/Catalogue/ApplicationsSource.h"
#include "Code/Catalogue/FoundApplicationBatchSchedule.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class FolderWatchTable;
class QSocketNotifier;
class QTimer;

/// The live query for application bundles. On Linux there is no system metadata index to ask, so
/// this source stands in for one: it walks the search scopes for real folders named *.app, then
/// keeps its set current by watching every folder it walked with inotify and the mount table
/// (/proc/self/mountinfo) for volumes that are mounted or unmounted below a scope. The class and
/// its preferences ("SpotlightApplicationsSourceEnabled", "SpotlightSearchScopes") keep the names
/// of the metadata-query source it plays the part of.
///
/// Walks never enter packages, hidden folders below a scope, symbolic links or other file systems
/// (each volume mounted below a scope is walked on its own), nor more than 64 levels below a scope.
/// A bundle is listed unless its path lies under one of the ignored prefixes (also taken relative
/// to every file-system root and every folder laid out as a volume of the bundles' home platform), or it is a
/// system application (below `System/` at such a root) without a document.
///
/// Walks run on the shared disk queue, one at a time per source, and changes are gathered for
/// half a second before the changed items alone are walked again. Walks hold the source weakly,
/// so it must be owned by a `std::shared_ptr` (hence `make`). Everything public is for the main
/// thread.
class SpotlightApplicationsSource : public AsyncApplicationsSource,
                                    public std::enable_shared_from_this<SpotlightApplicationsSource> {
    struct PrivateToken {};

public:
    /// Scopes that do not exist are skipped, and looked for again whenever the mount table changes
    /// (mounting the first volume creates /run/media/$USER).
    static std::shared_ptr<SpotlightApplicationsSource> make(std::vector<std::filesystem::path> searchScopes);
    /// The default scopes that exist now: the home folder of the real user ID from the user
    /// database, /Applications, /System/Applications, /Volumes, /media, /run/media/$USER (the user
    /// name from the same entry) and /mnt.
    static std::vector<std::filesystem::path> defaultSearchScopes();

    /// The prefixes of paths that are never listed, computed once per process: the file browser's
    /// built-in applications, the user's Library folder and "/private/".
    static std::vector<std::string> ignoredPathPrefixes();
    /// The same prefixes for the given home folder.
    static std::vector<std::string> ignoredPathPrefixesForHomeFolder(const std::string& homeFolder);
    /// Replaces the process-wide prefixes for tests, whose bundles cannot live under the real ones;
    /// none restores them.
    static void setIgnoredPathPrefixesForTesting(std::optional<std::vector<std::string>> prefixes);

    SpotlightApplicationsSource(PrivateToken, std::vector<std::filesystem::path> searchScopes);
    ~SpotlightApplicationsSource() override;
    SpotlightApplicationsSource(const SpotlightApplicationsSource&) = delete;
    SpotlightApplicationsSource& operator=(const SpotlightApplicationsSource&) = delete;

    const std::vector<std::filesystem::path>& searchScopes() const { return _searchScopes; }
    const Applications& applications() const override { return _applications; }
    bool isInitialUpdateFinished() const override { return _isInitialUpdateFinished; }
    /// Starts the initial walk and the watching; while running, only replaces the handler. While
    /// the first walk goes on, the applications it has found are added in batches, each reported
    /// with false; its complete result is reported with true, and every later change with false.
    void startUpdating(UpdateHandler updateHandler) override;
    /// Clears the handler and stops walking and watching; a walk under way is discarded. Starting
    /// again walks everything again.
    void stopUpdating() override;

    /// Tuning, before `startUpdating`: how long changes are gathered before they are walked, how
    /// often folders that could not be watched are walked again, and a limit on the inotify
    /// watches below the kernel's.
    void setCoalescingDelay(std::chrono::milliseconds delay) { _coalescingDelay = delay; }
    void setUnwatchedFolderRescanInterval(std::chrono::milliseconds interval) {
        _unwatchedRescanInterval = interval;
    }
    void setMaximumWatchCount(std::size_t count) { _maximumWatchCount = count; }
    /// How soon the first walk of a run hands over the applications found so far, and how often
    /// after; none hands over only its complete result.
    void setFirstWalkBatchDelays(std::optional<FoundApplicationBatchSchedule::Delays> delays) {
        _firstWalkBatchDelays = delays;
    }
    /// Called on the walking thread with each folder about to be read; tests change the tree
    /// under a walk with it.
    void setFolderVisitHookForTesting(std::function<void(const std::string& folder)> hook) {
        _folderVisitHook = std::move(hook);
    }
    /// How many walks have finished and been applied, whether or not they changed the set.
    std::uint64_t completedWalkCount() const { return _completedWalkCount; }

    struct WalkRequest;
    struct WalkResult;
    using FoundApplications = std::vector<std::pair<std::string, std::shared_ptr<Application>>>;

private:
    void startWalkIfIdle();
    void scheduleWalk();
    void applyWalkBatch(std::uint64_t generation, FoundApplications batch);
    void applyWalkResult(WalkResult result);
    void readFolderChanges();

    std::vector<std::filesystem::path> _searchScopes;
    Applications _applications;
    bool _isInitialUpdateFinished = false;
    UpdateHandler _updateHandler;

    bool _isRunning = false;
    /// Tells the walks of one run from those of a run that was stopped.
    std::uint64_t _generation = 0;
    bool _isWalking = false;
    bool _hasDeliveredFirstResult = false;
    std::uint64_t _completedWalkCount = 0;
    bool _loggedDepthLimit = false;

    /// The listed bundles by path, sorted so that the bundles below a folder are a range.
    std::map<std::string, std::shared_ptr<Application>> _applicationsByPath;
    /// Roots of volumes mounted below a scope, and the scopes that did not exist, as the last walk
    /// found them.
    std::vector<std::string> _mountRoots;
    std::vector<std::string> _missingScopes;
    /// Set when the run stops, so that a walk under way gives up.
    std::shared_ptr<std::atomic<bool>> _runStopped;
    std::set<std::string> _pendingItems;
    bool _pendingEverything = false;
    bool _pendingMountChange = false;

    std::shared_ptr<FolderWatchTable> _watchTable;
    std::unique_ptr<QSocketNotifier> _folderNotifier;
    int _mountTableFile = -1;
    std::unique_ptr<QSocketNotifier> _mountNotifier;
    std::unique_ptr<QTimer> _coalescingTimer;
    std::unique_ptr<QTimer> _unwatchedRescanTimer;

    std::chrono::milliseconds _coalescingDelay{500};
    std::chrono::milliseconds _unwatchedRescanInterval{60000};
    std::size_t _maximumWatchCount = static_cast<std::size_t>(-1);
    std::optional<FoundApplicationBatchSchedule::Delays> _firstWalkBatchDelays =
        FoundApplicationBatchSchedule::standardDelays;
    std::function<void(const std::string&)> _folderVisitHook;
};
