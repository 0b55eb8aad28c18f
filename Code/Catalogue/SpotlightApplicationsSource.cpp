#include "Code/Catalogue/SpotlightApplicationsSource.h"

#include "Code/Catalogue/ApplicationBundleWalker.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/FolderWatchTable.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/MountTable.h"
#include "Code/Loading/LumoraLoader.h"
#include "ZRFoundation/Bundle/ZRBundle.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

struct SpotlightApplicationsSource::WalkRequest {
    std::vector<std::string> scopes;
    /// Walk every scope and volume from scratch.
    bool everything = false;
    /// Items to look at again, with everything below them.
    std::vector<std::string> items;
    bool mountTableChanged = false;
    std::vector<std::string> previousMountRoots;
    std::vector<std::string> missingScopes;
    std::vector<std::string> ignoredPrefixes;
    std::shared_ptr<FolderWatchTable> watchTable;
    std::shared_ptr<std::atomic<bool>> runStopped;
    std::function<void(const std::string&)> folderVisitHook;
    /// Set for the first walk of a run: hands the applications found so far to the main thread
    /// while the walk goes on, so that a long first walk shows its progress.
    std::function<void(FoundApplications)> deliverBatch;
    FoundApplicationBatchSchedule::Delays batchDelays = FoundApplicationBatchSchedule::standardDelays;
};

struct SpotlightApplicationsSource::WalkResult {
    std::uint64_t generation = 0;
    bool everything = false;
    /// Every listed bundle at or below one of these is replaced by what the walk found.
    std::vector<std::string> replacedRoots;
    FoundApplications applications;
    std::vector<std::string> mountRoots;
    std::vector<std::string> missingScopes;
    std::string firstFolderTooDeep;
    /// The run stopped or the source went away during the walk; nothing is to be applied.
    bool abandoned = false;
};

namespace {

using WalkRequest = SpotlightApplicationsSource::WalkRequest;
using WalkResult = SpotlightApplicationsSource::WalkResult;
using FoundApplications = SpotlightApplicationsSource::FoundApplications;

struct UserEntry {
    std::string name;
    std::string homeFolder;
};

/// The real user's entry in the user database; the environment's HOME and USER are not consulted.
std::optional<UserEntry> realUserEntry() {
    long suggestedSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggestedSize > 0 ? static_cast<std::size_t>(suggestedSize) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < 1024 * 1024) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr) {
            return std::nullopt;
        }
        return UserEntry{found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
    }
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool isFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isStrictlyBelow(const std::string& path, const std::string& root) {
    return path != root && FolderWatchTable::isAtOrBelow(path, root);
}

/// The components of `path` below `root`, which it must lie at or below.
std::vector<std::string_view> componentsBelow(const std::string& path, const std::string& root) {
    std::string_view rest(path);
    rest.remove_prefix(root == "/" ? 1 : root.size());
    std::vector<std::string_view> components;
    while (!rest.empty()) {
        if (rest.front() == '/') {
            rest.remove_prefix(1);
            continue;
        }
        const auto slash = rest.find('/');
        components.push_back(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    return components;
}

/// The innermost scope holding `path`; none when no scope does.
const std::string* scopeHolding(const std::string& path, const std::vector<std::string>& scopes) {
    const std::string* holder = nullptr;
    for (const auto& scope : scopes) {
        if (FolderWatchTable::isAtOrBelow(path, scope) &&
            (holder == nullptr || scope.size() > holder->size())) {
            holder = &scope;
        }
    }
    return holder;
}

/// Whether the walk of `scope` would reach `path`'s folder: no component is hidden or a package.
bool isReachableBelow(const std::string& path, const std::string& scope) {
    const auto components = componentsBelow(path, scope);
    return static_cast<int>(components.size()) <= ApplicationBundleWalker::maximumDepth &&
           std::none_of(components.begin(), components.end(), [](std::string_view component) {
               return component.front() == '.' || ApplicationBundleWalker::isPackageName(component);
           });
}

struct MountLayout {
    /// The roots of every real file system, for the listing rules.
    std::unordered_set<std::string> fileSystemRoots;
    /// Volumes below a scope, each walked on its own; sorted.
    std::vector<std::string> mountRoots;
    /// Every mount point below a scope, which the walks of the folders above do not enter.
    std::unordered_set<std::string> mountPointsBelowScopes;
};

MountLayout mountLayout(const std::vector<std::string>& scopes) {
    MountLayout layout;
    layout.fileSystemRoots.insert("/");
    for (const auto& entry : MountTable::readCurrent()) {
        const bool isPseudo = MountTable::isPseudoFileSystem(entry.fileSystemType);
        if (!isPseudo) {
            layout.fileSystemRoots.insert(entry.mountPoint);
        }
        const auto* scope = scopeHolding(entry.mountPoint, scopes);
        if (scope == nullptr || *scope == entry.mountPoint) {
            continue;
        }
        layout.mountPointsBelowScopes.insert(entry.mountPoint);
        if (!isPseudo && isReachableBelow(entry.mountPoint, *scope)) {
            layout.mountRoots.push_back(entry.mountPoint);
        }
    }
    std::sort(layout.mountRoots.begin(), layout.mountRoots.end());
    layout.mountRoots.erase(std::unique(layout.mountRoots.begin(), layout.mountRoots.end()),
                            layout.mountRoots.end());
    return layout;
}

/// Which bundles are listed: none under an ignored prefix, whether taken as it is or relative to
/// the root of a file system or of a folder laid out as a volume of the bundles' home platform (with
/// `System/Library` and `Users`), and no system application (below such a root's `System/`) without a
/// document.
class ListingRules {
public:
    ListingRules(std::vector<std::string> ignoredPrefixes,
                 const std::unordered_set<std::string>& fileSystemRoots)
        : _ignoredPrefixes(std::move(ignoredPrefixes))
        , _fileSystemRoots(fileSystemRoots) {}

    bool isListed(const std::string& bundlePath) {
        for (const auto& prefix : _ignoredPrefixes) {
            if (bundlePath.starts_with(prefix)) {
                return false;
            }
        }
        bool isSystemApplication = false;
        // Each folder above the bundle, nearest first, may be the root of a volume.
        for (auto slash = bundlePath.rfind('/'); slash != std::string::npos;
             slash = slash == 0 ? std::string::npos : bundlePath.rfind('/', slash - 1)) {
            const std::string volume = slash == 0 ? std::string("/") : bundlePath.substr(0, slash);
            if (!isVolumeRoot(volume)) {
                continue;
            }
            const std::string_view relative = std::string_view(bundlePath).substr(slash + 1);
            if (isIgnoredOnVolume(relative)) {
                return false;
            }
            isSystemApplication = isSystemApplication || relative.starts_with("System/");
        }
        if (!isFolder(bundlePath)) {
            return false;
        }
        return !isSystemApplication || hasDocument(bundlePath);
    }

private:
    static bool isIgnoredOnVolume(std::string_view relative) {
        if (relative.starts_with("System/Library/CoreServices/Finder.app/Contents/Applications/") ||
            relative.starts_with("private/")) {
            return true;
        }
        if (!relative.starts_with("Users/")) {
            return false;
        }
        const auto rest = relative.substr(6);
        const auto slash = rest.find('/');
        return slash != std::string_view::npos && slash > 0 && rest.substr(slash + 1).starts_with("Library/");
    }

    static bool hasDocument(const std::string& bundlePath) {
        const auto bundle = ZRBundle::bundleWithPath(bundlePath);
        return bundle && (bundle->pathForResource(LumoraLoader::lumoraResourceName, "plist") ||
                          bundle->pathForResource(LumoraLoader::lumoraResourceName, "json"));
    }

    bool isVolumeRoot(const std::string& folder) {
        if (_fileSystemRoots.contains(folder)) {
            return true;
        }
        const auto known = _volumeRoots.find(folder);
        if (known != _volumeRoots.end()) {
            return known->second;
        }
        const std::string base = folder == "/" ? std::string() : folder;
        const bool isVolume = isFolder(base + "/System/Library") && isFolder(base + "/Users");
        _volumeRoots.emplace(folder, isVolume);
        return isVolume;
    }

    std::vector<std::string> _ignoredPrefixes;
    const std::unordered_set<std::string>& _fileSystemRoots;
    std::unordered_map<std::string, bool> _volumeRoots;
};

/// The topmost of `paths`: none lies at or below another.
std::vector<std::string> topmost(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    std::vector<std::string> result;
    for (auto& path : paths) {
        // Sorted, a path's ancestors come before it, though not always right before it.
        if (std::none_of(result.begin(), result.end(), [&](const std::string& root) {
                return FolderWatchTable::isAtOrBelow(path, root);
            })) {
            result.push_back(std::move(path));
        }
    }
    return result;
}

/// What a request asks to walk again.
std::vector<std::string> itemsToReplace(const WalkRequest& request, const MountLayout& layout) {
    if (request.everything) {
        return topmost(request.scopes);
    }
    std::vector<std::string> items = request.items;
    if (request.mountTableChanged) {
        // Volumes that came or went, and scopes that a mount may have created.
        std::set_symmetric_difference(request.previousMountRoots.begin(), request.previousMountRoots.end(),
                                      layout.mountRoots.begin(), layout.mountRoots.end(),
                                      std::back_inserter(items));
        items.insert(items.end(), request.missingScopes.begin(), request.missingScopes.end());
    }
    std::erase_if(items,
                  [&](const std::string& item) { return scopeHolding(item, request.scopes) == nullptr; });
    return topmost(std::move(items));
}

WalkResult performWalk(const WalkRequest& request, const std::weak_ptr<SpotlightApplicationsSource>& source) {
    const MountLayout layout = mountLayout(request.scopes);
    WalkResult result;
    result.everything = request.everything;
    result.mountRoots = layout.mountRoots;
    for (const auto& scope : request.scopes) {
        if (!isFolder(scope)) {
            result.missingScopes.push_back(scope);
        }
    }
    result.replacedRoots = itemsToReplace(request, layout);

    ListingRules rules(request.ignoredPrefixes, layout.fileSystemRoots);
    ApplicationBundleWalker::Result walked;
    // Bundles are made into applications as the walk finds them, and handed over in batches when
    // the request asks for them.
    std::size_t madeCount = 0;
    std::size_t deliveredCount = 0;
    FoundApplicationBatchSchedule schedule(request.batchDelays);
    const auto makeFoundApplications = [&] {
        for (; madeCount < walked.bundlePaths.size(); ++madeCount) {
            auto& bundlePath = walked.bundlePaths[madeCount];
            if (rules.isListed(bundlePath)) {
                auto application = InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundlePath, true));
                result.applications.emplace_back(std::move(bundlePath), std::move(application));
            }
            if (request.deliverBatch && deliveredCount < result.applications.size() && schedule.isDue()) {
                request.deliverBatch(FoundApplications(result.applications.begin() +
                                                           static_cast<std::ptrdiff_t>(deliveredCount),
                                                       result.applications.end()));
                deliveredCount = result.applications.size();
            }
        }
    };

    std::unordered_set<std::string> foldersMet;
    ApplicationBundleWalker::Options options;
    options.excludedFolders = layout.mountPointsBelowScopes;
    options.visitor = [&](const std::string& folder) {
        if (request.runStopped->load() || source.expired()) {
            return false;
        }
        request.watchTable->watch(folder);
        foldersMet.insert(folder);
        makeFoundApplications();
        if (request.folderVisitHook) {
            request.folderVisitHook(folder);
        }
        return true;
    };
    ApplicationBundleWalker walker(std::move(options));
    const auto walk = [&](const std::string& path) {
        const std::string& scope = *scopeHolding(path, request.scopes);
        const int depth = static_cast<int>(componentsBelow(path, scope).size());
        const bool isRoot =
            path == scope || std::binary_search(layout.mountRoots.begin(), layout.mountRoots.end(), path);
        if (isRoot) {
            walker.walkRoot(path, depth, walked);
        } else {
            walker.walkItem(path, depth, walked);
        }
    };
    for (const auto& root : result.replacedRoots) {
        walk(root);
        // The volumes below are other file systems, which the walk above did not enter, and a
        // scope below may lie where that walk does not go (in a hidden folder, say).
        for (const auto& mountRoot : layout.mountRoots) {
            if (isStrictlyBelow(mountRoot, root)) {
                walk(mountRoot);
            }
        }
        for (const auto& scope : request.scopes) {
            if (isStrictlyBelow(scope, root) && !isReachableBelow(scope, root)) {
                walk(scope);
            }
        }
    }
    if (walked.abandoned) {
        result.abandoned = true;
        return result;
    }
    for (const auto& root : result.replacedRoots) {
        request.watchTable->forgetFoldersNotMet(root, foldersMet);
    }
    result.firstFolderTooDeep = walked.firstFolderTooDeep;
    makeFoundApplications();
    return result;
}

std::mutex& ignoredPrefixesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<std::vector<std::string>>& ignoredPrefixesForTesting() {
    static std::optional<std::vector<std::string>> prefixes;
    return prefixes;
}

} // namespace

std::shared_ptr<SpotlightApplicationsSource>
SpotlightApplicationsSource::make(std::vector<std::filesystem::path> searchScopes) {
    return std::make_shared<SpotlightApplicationsSource>(PrivateToken{}, std::move(searchScopes));
}

SpotlightApplicationsSource::SpotlightApplicationsSource(PrivateToken,
                                                         std::vector<std::filesystem::path> searchScopes)
    : _searchScopes(std::move(searchScopes)) {}

SpotlightApplicationsSource::~SpotlightApplicationsSource() {
    stopUpdating();
}

std::vector<std::filesystem::path> SpotlightApplicationsSource::defaultSearchScopes() {
    const auto user = realUserEntry();
    std::vector<std::filesystem::path> candidates;
    if (user && !user->homeFolder.empty()) {
        candidates.emplace_back(user->homeFolder);
    }
    candidates.insert(candidates.end(), {"/Applications", "/System/Applications", "/Volumes", "/media"});
    if (user && !user->name.empty() && user->name.find('/') == std::string::npos) {
        candidates.emplace_back(std::filesystem::path("/run/media") / user->name);
    }
    candidates.emplace_back("/mnt");
    std::erase_if(candidates, [](const std::filesystem::path& scope) { return !isFolder(scope.native()); });
    return candidates;
}

std::vector<std::string>
SpotlightApplicationsSource::ignoredPathPrefixesForHomeFolder(const std::string& homeFolder) {
    std::vector<std::string> prefixes{"/System/Library/CoreServices/Finder.app/Contents/Applications/"};
    if (!homeFolder.empty()) {
        prefixes.push_back(withoutTrailingSlashes(homeFolder) + (homeFolder == "/" ? "" : "/") + "Library/");
    }
    prefixes.emplace_back("/private/");
    return prefixes;
}

std::vector<std::string> SpotlightApplicationsSource::ignoredPathPrefixes() {
    static const std::vector<std::string> prefixes = [] {
        const auto user = realUserEntry();
        return ignoredPathPrefixesForHomeFolder(user ? user->homeFolder : std::string());
    }();
    std::lock_guard lock(ignoredPrefixesMutex());
    return ignoredPrefixesForTesting().value_or(prefixes);
}

void SpotlightApplicationsSource::setIgnoredPathPrefixesForTesting(
    std::optional<std::vector<std::string>> prefixes) {
    std::lock_guard lock(ignoredPrefixesMutex());
    ignoredPrefixesForTesting() = std::move(prefixes);
}

void SpotlightApplicationsSource::startUpdating(UpdateHandler updateHandler) {
    _updateHandler = std::move(updateHandler);
    if (_isRunning) {
        return;
    }
    _isRunning = true;
    _hasDeliveredFirstResult = false;
    _runStopped = std::make_shared<std::atomic<bool>>(false);
    _watchTable = std::make_shared<FolderWatchTable>();
    _watchTable->setMaximumWatchCount(_maximumWatchCount);
    if (_watchTable->fileDescriptor() >= 0) {
        _folderNotifier =
            std::make_unique<QSocketNotifier>(_watchTable->fileDescriptor(), QSocketNotifier::Read);
        QObject::connect(_folderNotifier.get(), &QSocketNotifier::activated, _folderNotifier.get(),
                         [this] { readFolderChanges(); });
    }
    // The kernel marks the mount table with an exceptional condition whenever a mount comes or goes.
    _mountTableFile = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (_mountTableFile >= 0) {
        _mountNotifier = std::make_unique<QSocketNotifier>(_mountTableFile, QSocketNotifier::Exception);
        QObject::connect(_mountNotifier.get(), &QSocketNotifier::activated, _mountNotifier.get(), [this] {
            _pendingMountChange = true;
            scheduleWalk();
        });
    }
    _coalescingTimer = std::make_unique<QTimer>();
    _coalescingTimer->setSingleShot(true);
    _coalescingTimer->setInterval(_coalescingDelay);
    QObject::connect(_coalescingTimer.get(), &QTimer::timeout, _coalescingTimer.get(),
                     [this] { startWalkIfIdle(); });
    _unwatchedRescanTimer = std::make_unique<QTimer>();
    _unwatchedRescanTimer->setInterval(_unwatchedRescanInterval);
    QObject::connect(_unwatchedRescanTimer.get(), &QTimer::timeout, _unwatchedRescanTimer.get(), [this] {
        for (auto& folder : _watchTable->takeUnwatchedFolders()) {
            _pendingItems.insert(std::move(folder));
        }
        startWalkIfIdle();
    });
    _unwatchedRescanTimer->start();
    _pendingEverything = true;
    startWalkIfIdle();
}

void SpotlightApplicationsSource::stopUpdating() {
    _updateHandler = nullptr;
    if (!_isRunning) {
        return;
    }
    _isRunning = false;
    ++_generation;
    _isWalking = false;
    _runStopped->store(true);
    _folderNotifier.reset();
    _mountNotifier.reset();
    if (_mountTableFile >= 0) {
        ::close(_mountTableFile);
        _mountTableFile = -1;
    }
    _coalescingTimer.reset();
    _unwatchedRescanTimer.reset();
    // A walk under way may still hold the table; the descriptor closes when it lets go.
    _watchTable.reset();
    _pendingItems.clear();
    _pendingEverything = false;
    _pendingMountChange = false;
}

void SpotlightApplicationsSource::readFolderChanges() {
    auto changes = _watchTable->readChanges();
    _pendingEverything = _pendingEverything || changes.overflowed;
    for (auto& item : changes.itemPaths) {
        _pendingItems.insert(std::move(item));
    }
    if (changes.overflowed || !changes.itemPaths.empty()) {
        scheduleWalk();
    }
}

void SpotlightApplicationsSource::scheduleWalk() {
    if (_coalescingTimer && !_coalescingTimer->isActive()) {
        _coalescingTimer->start();
    }
}

void SpotlightApplicationsSource::startWalkIfIdle() {
    if (!_isRunning || _isWalking || (!_pendingEverything && !_pendingMountChange && _pendingItems.empty())) {
        return;
    }
    WalkRequest request;
    for (const auto& scope : _searchScopes) {
        // Events name absolute paths; a relative scope is taken from the working folder.
        std::error_code error;
        const auto absolute = std::filesystem::absolute(scope, error);
        request.scopes.push_back(
            withoutTrailingSlashes((error ? scope : absolute).lexically_normal().native()));
    }
    request.everything = _pendingEverything;
    request.items.assign(_pendingItems.begin(), _pendingItems.end());
    request.mountTableChanged = _pendingMountChange;
    request.previousMountRoots = _mountRoots;
    request.missingScopes = _missingScopes;
    request.ignoredPrefixes = ignoredPathPrefixes();
    request.watchTable = _watchTable;
    request.runStopped = _runStopped;
    request.folderVisitHook = _folderVisitHook;
    if (!_hasDeliveredFirstResult && _firstWalkBatchDelays) {
        request.batchDelays = *_firstWalkBatchDelays;
        request.deliverBatch = [weakSource = weak_from_this(),
                                generation = _generation](FoundApplications batch) {
            if (auto* const core = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    core,
                    [weakSource, generation, batch = std::move(batch)]() mutable {
                        if (const auto source = weakSource.lock()) {
                            source->applyWalkBatch(generation, std::move(batch));
                        }
                    },
                    Qt::QueuedConnection);
            }
        };
    }
    _pendingEverything = false;
    _pendingMountChange = false;
    _pendingItems.clear();
    _isWalking = true;

    DiskOperationQueue::start(
        [weakSource = weak_from_this(), request = std::move(request), generation = _generation] {
            if (weakSource.expired()) {
                return;
            }
            // The walk never locks the source, so that its last reference is dropped on the main thread.
            auto result = performWalk(request, weakSource);
            result.generation = generation;
            auto* const core = QCoreApplication::instance();
            if (core == nullptr || result.abandoned || request.runStopped->load()) {
                return;
            }
            QMetaObject::invokeMethod(
                core,
                [weakSource, result = std::move(result)]() mutable {
                    if (const auto source = weakSource.lock()) {
                        source->applyWalkResult(std::move(result));
                    }
                },
                Qt::QueuedConnection);
        });
}

void SpotlightApplicationsSource::applyWalkBatch(std::uint64_t generation, FoundApplications batch) {
    // Batches only add; the walk's complete result settles the set.
    if (!_isRunning || generation != _generation || _hasDeliveredFirstResult) {
        return;
    }
    bool changed = false;
    for (auto& [path, application] : batch) {
        if (_applicationsByPath.emplace(std::move(path), application).second) {
            _applications.insert(std::move(application));
            changed = true;
        }
    }
    if (const auto handler = _updateHandler; changed && handler) {
        handler(*this, false);
    }
}

void SpotlightApplicationsSource::applyWalkResult(WalkResult result) {
    if (!_isRunning || result.generation != _generation) {
        return;
    }
    _isWalking = false;
    ++_completedWalkCount;

    std::set<std::string> removed;
    if (result.everything) {
        for (const auto& entry : _applicationsByPath) {
            removed.insert(entry.first);
        }
        _applicationsByPath.clear();
    } else {
        for (const auto& root : result.replacedRoots) {
            for (auto entry = _applicationsByPath.lower_bound(root);
                 entry != _applicationsByPath.end() && entry->first.starts_with(root);) {
                if (FolderWatchTable::isAtOrBelow(entry->first, root)) {
                    removed.insert(entry->first);
                    entry = _applicationsByPath.erase(entry);
                } else {
                    ++entry;
                }
            }
        }
    }
    bool changed = false;
    for (auto& [path, application] : result.applications) {
        if (_applicationsByPath.emplace(path, std::move(application)).second && removed.erase(path) == 0) {
            changed = true;
        }
    }
    changed = changed || !removed.empty();
    _mountRoots = std::move(result.mountRoots);
    _missingScopes = std::move(result.missingScopes);
    if (!result.firstFolderTooDeep.empty() && !_loggedDepthLimit) {
        _loggedDepthLimit = true;
        qWarning("Application search: not descending below %s, %d folder levels below its search scope",
                 result.firstFolderTooDeep.c_str(), ApplicationBundleWalker::maximumDepth);
    }
    if (changed) {
        _applications.clear();
        for (const auto& entry : _applicationsByPath) {
            _applications.insert(entry.second);
        }
    }

    // Changes that arrived during the walk and whose delay has passed are walked now.
    if (!_coalescingTimer->isActive()) {
        startWalkIfIdle();
    }

    bool completesInitialUpdate = false;
    if (!_hasDeliveredFirstResult) {
        _hasDeliveredFirstResult = true;
        completesInitialUpdate = !_isInitialUpdateFinished;
        _isInitialUpdateFinished = true;
    } else if (!changed) {
        return;
    }
    // A copy, since the handler may stop or restart the source.
    if (const auto handler = _updateHandler) {
        handler(*this, completesInitialUpdate);
    }
}
