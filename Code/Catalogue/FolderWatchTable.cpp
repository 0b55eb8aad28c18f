#include "Code/Catalogue/FolderWatchTable.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW |
                                        IN_EXCL_UNLINK;

const std::string& pathOf(const std::pair<const std::string, int>& entry) {
    return entry.first;
}
const std::string& pathOf(const std::string& entry) {
    return entry;
}

/// Calls `action` with an iterator to each folder of the sorted container at or below `root`;
/// `action` may erase that entry.
template <typename Container, typename Action>
void forEachAtOrBelow(Container& folders, const std::string& root, Action action) {
    for (auto entry = folders.lower_bound(root); entry != folders.end();) {
        const std::string& path = pathOf(*entry);
        if (!path.starts_with(root)) {
            break;
        }
        // Names that extend the root's last component ("Apps 2" after "Apps") sort among the
        // folders below it, so each is checked.
        const auto next = std::next(entry);
        if (FolderWatchTable::isAtOrBelow(path, root)) {
            action(entry);
        }
        entry = next;
    }
}

} // namespace

FolderWatchTable::FolderWatchTable()
    : _inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (_inotify < 0) {
        qWarning("Application search: cannot watch folders for changes: %s", std::strerror(errno));
    }
}

FolderWatchTable::~FolderWatchTable() {
    if (_inotify >= 0) {
        ::close(_inotify);
    }
}

bool FolderWatchTable::isAtOrBelow(const std::string& path, const std::string& root) {
    if (root == "/") {
        return path.starts_with('/');
    }
    return path.starts_with(root) && (path.size() == root.size() || path[root.size()] == '/');
}

void FolderWatchTable::setMaximumWatchCount(std::size_t count) {
    std::lock_guard lock(_mutex);
    _maximumWatchCount = count;
}

void FolderWatchTable::watch(const std::string& folder) {
    std::lock_guard lock(_mutex);
    if (_inotify < 0) {
        // Without inotify every folder is looked at periodically.
        _unwatchedFolders.insert(folder);
        return;
    }
    const auto known = _watchByFolder.find(folder);
    if (known == _watchByFolder.end() && _watchByFolder.size() >= _maximumWatchCount) {
        rememberUnwatched(folder);
        return;
    }
    // Asked again even for a folder already watched: a volume mounted there since shows a
    // different folder under the same path, which needs a watch of its own. For the same folder
    // the kernel hands back the same watch.
    const int watch = ::inotify_add_watch(_inotify, folder.c_str(), watchedEvents);
    if (watch < 0) {
        // A folder that has gone or cannot be read is simply not watched; its parent's watch
        // reports when it comes back.
        if (errno == ENOSPC) {
            rememberUnwatched(folder);
        }
        return;
    }
    if (known != _watchByFolder.end() && known->second != watch) {
        ::inotify_rm_watch(_inotify, known->second);
        forgetWatch(known->second);
    }
    // The same folder seen under a second path (a bind mount) has the same watch; the latest
    // path wins, and either path's events lead to a look at that folder.
    if (const auto previous = _folderByWatch.find(watch);
        previous != _folderByWatch.end() && previous->second != folder) {
        _watchByFolder.erase(previous->second);
    }
    _folderByWatch[watch] = folder;
    _watchByFolder[folder] = watch;
}

void FolderWatchTable::rememberUnwatched(const std::string& folder) {
    _unwatchedFolders.insert(folder);
    if (!_loggedRunningOut) {
        _loggedRunningOut = true;
        qWarning("Application search: out of inotify watches at %s; unwatched folders are looked at "
                 "periodically instead",
                 folder.c_str());
    }
}

void FolderWatchTable::forgetWatch(int watch) {
    const auto folder = _folderByWatch.find(watch);
    if (folder == _folderByWatch.end()) {
        return;
    }
    if (const auto entry = _watchByFolder.find(folder->second);
        entry != _watchByFolder.end() && entry->second == watch) {
        _watchByFolder.erase(entry);
    }
    _folderByWatch.erase(folder);
}

void FolderWatchTable::forgetFoldersNotMet(const std::string& root,
                                           const std::unordered_set<std::string>& foldersMet) {
    std::lock_guard lock(_mutex);
    std::vector<int> stale;
    forEachAtOrBelow(_watchByFolder, root, [&](auto entry) {
        if (!foldersMet.contains(entry->first)) {
            stale.push_back(entry->second);
        }
    });
    for (const int watch : stale) {
        // The kernel answers with an ignore event, which finds the watch gone.
        ::inotify_rm_watch(_inotify, watch);
        forgetWatch(watch);
    }
    forEachAtOrBelow(_unwatchedFolders, root, [&](auto entry) {
        if (!foldersMet.contains(*entry)) {
            _unwatchedFolders.erase(entry);
        }
    });
}

std::vector<std::string> FolderWatchTable::takeUnwatchedFolders() {
    std::lock_guard lock(_mutex);
    std::vector<std::string> topmost;
    for (const auto& folder : _unwatchedFolders) {
        if (topmost.empty() || !isAtOrBelow(folder, topmost.back())) {
            topmost.push_back(folder);
        }
    }
    _unwatchedFolders.clear();
    return topmost;
}

std::size_t FolderWatchTable::watchCount() const {
    std::lock_guard lock(_mutex);
    return _watchByFolder.size();
}

FolderWatchTable::Changes FolderWatchTable::readChanges() {
    Changes changes;
    if (_inotify < 0) {
        return changes;
    }
    alignas(inotify_event) std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const auto count = ::read(_inotify, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        std::lock_guard lock(_mutex);
        const auto size = static_cast<std::size_t>(count);
        for (std::size_t offset = 0; offset + sizeof(inotify_event) <= size;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            const char* const name = buffer.data() + offset + sizeof event;
            if (event.len > size - offset - sizeof event) {
                break;
            }
            offset += sizeof event + event.len;
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                changes.overflowed = true;
                continue;
            }
            const auto folder = _folderByWatch.find(event.wd);
            if (folder == _folderByWatch.end()) {
                continue;
            }
            if ((event.mask & IN_IGNORED) != 0) {
                forgetWatch(event.wd);
                continue;
            }
            if (event.len > 0 && (event.mask & IN_ISDIR) != 0) {
                const std::string_view itemName(name, ::strnlen(name, event.len));
                std::string item = folder->second;
                if (item != "/") {
                    item.push_back('/');
                }
                changes.itemPaths.push_back(item.append(itemName));
            } else if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
                // Reported by the parent too when it is watched; a scope has no watched parent.
                changes.itemPaths.push_back(folder->second);
            }
        }
    }
    return changes;
}
