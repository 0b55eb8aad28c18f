#pragma once

#include "ZRFoundation/URL/ZRURL.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
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
/// serves both. Main thread only.
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

    /// Loads the stored bookmarks and starts access to each usable one; access lasts until
    /// `removeAll`. `preferences` must outlive the store.
    explicit SecurityScopedBookmarksStore(Preferences& preferences,
                                          AccessStarter startAccessing = startAccessingByReadPermission);

    QString userDefaultsKey() const;
    /// The items granted now: those loaded, then those added.
    const std::unordered_set<ZRURL>& allFileURLs() const { return _allFileURLs; }

    /// Grants the items and rewrites the stored dictionary from all granted items. An item whose
    /// bookmark cannot be made stays granted for this run but is not remembered.
    void add(const std::vector<ZRURL>& fileURLs);
    /// Gives up every grant and removes the stored dictionary.
    void removeAll();

private:
    void load();
    void save();

    Preferences& _preferences;
    AccessStarter _startAccessing;
    std::unordered_set<ZRURL> _allFileURLs;
};
