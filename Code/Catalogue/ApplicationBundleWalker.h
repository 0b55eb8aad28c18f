#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

/// Finds application bundles below a folder with as few system calls as the kernel allows: one
/// `openat`, one or two `getdents64` and one close per folder, and no call at all per file, since
/// the directory entries say which names are folders. Plain C++ without Qt.
///
/// The walk does not enter packages (folders with a bundle extension) or hidden folders, does not
/// follow symbolic links, and does not cross into the folders it is told are other file systems'
/// mount points. A folder that cannot be opened or vanishes while it is read is skipped. Paths are
/// bytes and are passed on exactly as the kernel gives them.
class ApplicationBundleWalker {
public:
    /// How many folder levels below its scope the walk enters.
    static constexpr int maximumDepth = 64;

    /// Called on the walking thread with each folder just before its entries are read, so that a
    /// watch placed there misses no later change. Returning false abandons the whole walk.
    using FolderVisitor = std::function<bool(const std::string& folderPath)>;

    struct Result {
        /// Real folders named *.app, in the order met.
        std::vector<std::string> bundlePaths;
        /// Whether some folder was not entered because it lay too deep, and the first such one.
        bool reachedMaximumDepth = false;
        std::string firstFolderTooDeep;
        std::size_t foldersRead = 0;
        /// The visitor abandoned the walk; the other fields are incomplete.
        bool abandoned = false;
    };

    struct Options {
        /// Folders not to enter: the mount points of other file systems below the walked tree.
        std::unordered_set<std::string> excludedFolders;
        FolderVisitor visitor;
    };

    explicit ApplicationBundleWalker(Options options);

    /// Walks the folder `root` itself, which lies `depth` levels below its scope (0 for a scope).
    /// A root is entered even when it is a link or its name is hidden.
    void walkRoot(const std::string& root, int depth, Result& result);
    /// Looks at the item `path`, which lies `depth` levels below its scope, as the walk of its
    /// parent folder would: a bundle is a result, a folder to enter is walked, anything else is
    /// passed over.
    void walkItem(const std::string& path, int depth, Result& result);

    /// Whether a folder of this name is a package, which the walk never enters. Extensions are
    /// compared without regard to case, as type identifiers are.
    static bool isPackageName(std::string_view name);
    static bool hasApplicationExtension(std::string_view name);

private:
    enum class EntryKind { other, bundle, folderToEnter };
    static EntryKind kindOfFolderNamed(std::string_view name);
    void walkOpenFolder(int folder, std::string& path, int depth, Result& result);

    Options _options;
    std::vector<char> _entriesBuffer;
    /// Names of the subfolders of the folder at each depth, NUL-separated; kept between folders
    /// so that a walk allocates once per level rather than once per folder.
    std::vector<std::string> _subfolderNames;
};
