#pragma once

#include <cstddef>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

/// The folders watched with one inotify instance, by path. Walks on any thread add folders while
/// the main thread reads the events; everything but `readChanges` may be called from any thread.
///
/// When the kernel runs out of watches (or the table reaches its own maximum), the folders that
/// could not be watched are remembered, to be looked at again from time to time; the first such
/// folder is logged, once. Without inotify at all (the kernel's limit of instances reached), every
/// folder is remembered so.
class FolderWatchTable {
public:
    FolderWatchTable();
    ~FolderWatchTable();
    FolderWatchTable(const FolderWatchTable&) = delete;
    FolderWatchTable& operator=(const FolderWatchTable&) = delete;

    /// The inotify descriptor, readable when events are waiting; -1 when inotify is unavailable.
    int fileDescriptor() const { return _inotify; }

    /// A lower limit than the kernel's, so that running out can be tested.
    void setMaximumWatchCount(std::size_t count);

    /// Watches the folder for items created, removed, renamed or changing permissions in it.
    void watch(const std::string& folder);
    /// Stops watching the folders at or below `root` that a walk of it no longer met, and forgets
    /// that those folders could not be watched.
    void forgetFoldersNotMet(const std::string& root, const std::unordered_set<std::string>& foldersMet);
    /// The folders that could not be watched, at their topmost: none lies below another. The table
    /// forgets them; a walk that meets them again tries again.
    std::vector<std::string> takeUnwatchedFolders();
    std::size_t watchCount() const;

    struct Changes {
        /// Items whose appearance, disappearance or permissions changed: folders only, since
        /// nothing else can be or hold an application bundle.
        std::vector<std::string> itemPaths;
        /// The kernel dropped events: anything may have changed.
        bool overflowed = false;
    };
    /// Reads the events waiting, without blocking.
    Changes readChanges();

    /// Whether `path` is `root` or lies below it.
    static bool isAtOrBelow(const std::string& path, const std::string& root);

private:
    void forgetWatch(int watch);
    void rememberUnwatched(const std::string& folder);

    int _inotify = -1;
    mutable std::mutex _mutex;
    std::size_t _maximumWatchCount = std::numeric_limits<std::size_t>::max();
    std::unordered_map<int, std::string> _folderByWatch;
    /// Sorted, so that the folders below one are a range.
    std::map<std::string, int> _watchByFolder;
    std::set<std::string> _unwatchedFolders;
    bool _loggedRunningOut = false;
};
