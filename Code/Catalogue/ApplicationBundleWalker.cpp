#include "Code/Catalogue/ApplicationBundleWalker.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t entriesBufferSize = 64 * 1024;
constexpr int folderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    return name.size() > suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char wanted, char actual) {
                          return wanted == std::tolower(static_cast<unsigned char>(actual));
                      });
}

/// The layout of a getdents64 record; the kernel's header is not meant for user programs.
struct KernelDirectoryEntry {
    ino64_t inode;
    off64_t offset;
    unsigned short length;
    unsigned char type;
    char name[1];
};

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor)
        : _descriptor(descriptor) {}
    ~FileDescriptor() {
        if (_descriptor >= 0) {
            ::close(_descriptor);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return _descriptor; }

private:
    int _descriptor;
};

bool isDirectoryEntry(int folder, const char* name, unsigned char type) {
    if (type != DT_UNKNOWN) {
        return type == DT_DIR;
    }
    // Some file systems leave the type out of directory entries.
    struct stat status {};
    return ::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

std::pair<std::string, std::string> splitLastComponent(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

ApplicationBundleWalker::ApplicationBundleWalker(Options options)
    : _options(std::move(options))
    , _entriesBuffer(entriesBufferSize)
    // One level more than the walk ever enters, so that the levels never move in memory.
    , _subfolderNames(static_cast<std::size_t>(maximumDepth) + 2) {}

bool ApplicationBundleWalker::hasApplicationExtension(std::string_view name) {
    return endsWithIgnoringCase(name, ".app");
}

bool ApplicationBundleWalker::isPackageName(std::string_view name) {
    constexpr std::array<std::string_view, 7> packageExtensions{".app", ".framework", ".bundle", ".plugin",
                                                                ".xpc", ".appex",     ".kext"};
    return std::any_of(packageExtensions.begin(), packageExtensions.end(),
                       [name](std::string_view extension) { return endsWithIgnoringCase(name, extension); });
}

ApplicationBundleWalker::EntryKind ApplicationBundleWalker::kindOfFolderNamed(std::string_view name) {
    if (name.empty() || name.front() == '.') {
        return EntryKind::other;
    }
    if (hasApplicationExtension(name)) {
        return EntryKind::bundle;
    }
    return isPackageName(name) ? EntryKind::other : EntryKind::folderToEnter;
}

void ApplicationBundleWalker::walkRoot(const std::string& root, int depth, Result& result) {
    if (depth > maximumDepth) {
        if (!result.reachedMaximumDepth) {
            result.reachedMaximumDepth = true;
            result.firstFolderTooDeep = root;
        }
        return;
    }
    const FileDescriptor folder(::open(root.c_str(), folderOpenFlags));
    if (folder.get() < 0) {
        return;
    }
    std::string path = root;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    walkOpenFolder(folder.get(), path, depth, result);
}

void ApplicationBundleWalker::walkItem(const std::string& itemPath, int depth, Result& result) {
    auto [parentPath, name] = splitLastComponent(itemPath);
    if (kindOfFolderNamed(name) == EntryKind::other) {
        return;
    }
    const FileDescriptor parent(::open(parentPath.c_str(), folderOpenFlags));
    if (parent.get() < 0 || !isDirectoryEntry(parent.get(), name.c_str(), DT_UNKNOWN)) {
        return;
    }
    std::string path = parentPath == "/" ? "/" + name : parentPath + "/" + name;
    if (kindOfFolderNamed(name) == EntryKind::bundle) {
        result.bundlePaths.push_back(std::move(path));
        return;
    }
    if (depth > maximumDepth) {
        if (!result.reachedMaximumDepth) {
            result.reachedMaximumDepth = true;
            result.firstFolderTooDeep = path;
        }
        return;
    }
    if (_options.excludedFolders.contains(path)) {
        return;
    }
    const FileDescriptor folder(::openat(parent.get(), name.c_str(), folderOpenFlags | O_NOFOLLOW));
    if (folder.get() >= 0) {
        walkOpenFolder(folder.get(), path, depth, result);
    }
}

void ApplicationBundleWalker::walkOpenFolder(int folder, std::string& path, int depth, Result& result) {
    if (result.abandoned || (_options.visitor && !_options.visitor(path))) {
        result.abandoned = true;
        return;
    }
    ++result.foldersRead;
    // The names of this level's subfolders are collected before any is entered, since entering
    // one reuses the entries buffer.
    std::string& subfolders = _subfolderNames.at(static_cast<std::size_t>(depth));
    subfolders.clear();
    for (;;) {
        const auto count = ::getdents64(folder, _entriesBuffer.data(), _entriesBuffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // The end, or an error such as the folder having been removed: what was read counts.
            break;
        }
        for (std::size_t offset = 0;
             offset + offsetof(KernelDirectoryEntry, name) < static_cast<std::size_t>(count);) {
            const auto* entry = reinterpret_cast<const KernelDirectoryEntry*>(_entriesBuffer.data() + offset);
            if (entry->length == 0 || offset + entry->length > static_cast<std::size_t>(count)) {
                break;
            }
            offset += entry->length;
            const std::size_t nameLength =
                ::strnlen(entry->name, entry->length - offsetof(KernelDirectoryEntry, name));
            const std::string_view name(entry->name, nameLength);
            if (entry->type != DT_DIR && entry->type != DT_UNKNOWN) {
                continue;
            }
            const EntryKind kind = kindOfFolderNamed(name);
            if (kind == EntryKind::other || !isDirectoryEntry(folder, entry->name, entry->type)) {
                continue;
            }
            if (kind == EntryKind::bundle) {
                std::string bundle = path;
                if (bundle.size() > 1) {
                    bundle.push_back('/');
                }
                result.bundlePaths.push_back(bundle.append(name));
            } else {
                subfolders.append(name).push_back('\0');
            }
        }
    }
    const std::size_t pathLength = path.size();
    for (std::size_t start = 0; start < subfolders.size();) {
        const std::size_t end = subfolders.find('\0', start);
        const std::string name = subfolders.substr(start, end - start);
        start = end + 1;
        if (pathLength > 1) {
            path.push_back('/');
        }
        path.append(name);
        if (depth + 1 > maximumDepth) {
            if (!result.reachedMaximumDepth) {
                result.reachedMaximumDepth = true;
                result.firstFolderTooDeep = path;
            }
        } else if (!_options.excludedFolders.contains(path)) {
            const FileDescriptor subfolder(::openat(folder, name.c_str(), folderOpenFlags | O_NOFOLLOW));
            if (subfolder.get() >= 0) {
                walkOpenFolder(subfolder.get(), path, depth + 1, result);
            }
        }
        path.resize(pathLength);
    }
}
