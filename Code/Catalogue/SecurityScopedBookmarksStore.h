#pragma once

#include "ZRFoundation/URL/ZRURL.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

class Preferences;

/// The files and folders the user chose to grant this program, remembered across runs under the
/// preference "SecurityScopedBookmarks" as a dictionary from each item's path to its bookmark data.
///
/// On Linux there is no sandbox and nothing to grant, so a bookmark is the item's path as bytes
/// (which keeps names that are not UTF-8 intact), and access is granted whenever the process may
/// read the item. The dictionary keeps the shape that sandboxed builds use, so one preferences file
/// serves both. Main thread only, except `resolveStoredBookmarks`: resolving a bookmark examines its
/// item, which may lie on a hung volume, so the window's store resolves them on the disk queue.
class SecurityScopedBookmarksStore {
public:
    /// Starts access to the item; false when that is refused.
    using AccessStarter = std::function<bool(const std::filesystem::path& path)>;
    /// Whether the process may read the item, by the POSIX permission check.
    static bool startAccessingByReadPermission(const std::filesystem::path& path);

    struct ResolvedBookmark {
        std::filesystem::path path;
        /// The item is gone; the bookmark can no longer serve.
        bool isStale = false;
    };
    /// Bookmark data for the item at `path`, or why there is none (the item cannot be examined).
    static std::variant<QByteArray, std::string> bookmarkData(const std::filesystem::path& path);
    /// The item that `data` names, or why it names none (not a byte array, not an absolute path).
    static std::variant<ResolvedBookmark, std::string> resolveBookmarkData(const QVariant& data);

    /// Takes the stored bookmarks without resolving them: nothing is granted until `load` or
    /// `adoptResolvedBookmarks`. `preferences` must outlive the store.
    explicit SecurityScopedBookmarksStore(Preferences& preferences,
                                          AccessStarter startAccessing = startAccessingByReadPermission);

    /// The items that `bookmarks` (a stored dictionary) grant: each usable one resolved and its
    /// access started, which lasts until `removeAll`. Examines every item; any thread.
    static std::vector<std::filesystem::path> resolveStoredBookmarks(const QVariantMap& bookmarks,
                                                                     const AccessStarter& startAccessing);
    /// The stored dictionary while it has not been resolved; empty afterwards.
    const QVariantMap& unresolvedBookmarks() const { return _unresolvedBookmarks; }
    const AccessStarter& accessStarter() const { return _startAccessing; }
    /// Grants the items that the stored bookmarks resolved to, unless every grant was removed
    /// meanwhile.
    void adoptResolvedBookmarks(const std::vector<std::filesystem::path>& paths);
    /// Resolves the stored bookmarks here and now.
    void load();

    QString userDefaultsKey() const;
    /// The items granted now: those loaded, then those added.
    const std::unordered_set<ZRURL>& allFileURLs() const { return _allFileURLs; }

    /// Grants the items and rewrites the stored dictionary from all granted items. An item whose
    /// bookmark cannot be made stays granted for this run but is not remembered.
    void add(const std::vector<ZRURL>& fileURLs);
    /// Gives up every grant and removes the stored dictionary.
    void removeAll();

private:
    void save();

    Preferences& _preferences;
    AccessStarter _startAccessing;
    std::unordered_set<ZRURL> _allFileURLs;
    /// Kept in what is saved until resolved, so that a grant added meanwhile loses none of them.
    QVariantMap _unresolvedBookmarks;
    bool _isResolved = false;
};
