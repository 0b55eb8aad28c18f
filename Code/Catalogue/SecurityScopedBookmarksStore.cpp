#include "Code/Catalogue/SecurityScopedBookmarksStore.h"

#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"

#include <QVariantMap>
#include <iostream>
#include <string_view>
#include <system_error>
#include <utility>

#include <unistd.h>

namespace {

void log(const std::string& line) {
    std::cerr << line << '\n';
}

std::string pathText(const std::filesystem::path& path) {
    return path.native();
}

/// Items are granted by path; the same folder given once with and once without its trailing slash
/// is one grant.
ZRURL canonicalFileURL(const std::filesystem::path& path) {
    std::error_code error;
    return ZRURL::fileURL(path, std::filesystem::is_directory(path, error));
}

} // namespace

bool SecurityScopedBookmarksStore::startAccessingByReadPermission(const std::filesystem::path& path) {
    return ::access(path.c_str(), R_OK) == 0;
}

std::variant<QByteArray, std::string>
SecurityScopedBookmarksStore::bookmarkData(const std::filesystem::path& path) {
    if (!path.is_absolute()) {
        return std::string("The path is not absolute.");
    }
    std::error_code error;
    (void)std::filesystem::symlink_status(path, error);
    if (error) {
        return error.message();
    }
    const auto& bytes = path.native();
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::variant<SecurityScopedBookmarksStore::ResolvedBookmark, std::string>
SecurityScopedBookmarksStore::resolveBookmarkData(const QVariant& data) {
    if (data.typeId() != QMetaType::QByteArray) {
        return std::string("The bookmark data is not a byte string.");
    }
    const QByteArray bytes = data.toByteArray();
    if (bytes.isEmpty() || bytes.front() != '/' || bytes.contains('\0')) {
        return std::string("The bookmark data is not an absolute path.");
    }
    ResolvedBookmark bookmark{std::filesystem::path(std::string(bytes.constData(), bytes.size()))};
    std::error_code error;
    (void)std::filesystem::symlink_status(bookmark.path, error);
    // Only an item that is known to be gone makes the bookmark stale; one that merely cannot be
    // examined now is left to the access check.
    bookmark.isStale = error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
    return bookmark;
}

SecurityScopedBookmarksStore::SecurityScopedBookmarksStore(Preferences& preferences,
                                                           AccessStarter startAccessing)
    : _preferences(preferences)
    , _startAccessing(std::move(startAccessing))
    , _unresolvedBookmarks(preferences.securityScopedBookmarks()) {}

QString SecurityScopedBookmarksStore::userDefaultsKey() const {
    return QString::fromLatin1(PreferenceKeys::securityScopedBookmarks.name);
}

void SecurityScopedBookmarksStore::add(const std::vector<ZRURL>& fileURLs) {
    for (const auto& url : fileURLs) {
        if (url.isFileURL()) {
            _allFileURLs.insert(canonicalFileURL(url.path()));
        }
    }
    save();
}

void SecurityScopedBookmarksStore::removeAll() {
    // Giving up access has no counterpart here: read permission is the file system's.
    _allFileURLs.clear();
    _unresolvedBookmarks.clear();
    _isResolved = true;
    _preferences.removeSecurityScopedBookmarks();
}

std::vector<std::filesystem::path>
SecurityScopedBookmarksStore::resolveStoredBookmarks(const QVariantMap& bookmarks,
                                                     const AccessStarter& startAccessing) {
    std::vector<std::filesystem::path> granted;
    for (auto entry = bookmarks.constBegin(); entry != bookmarks.constEnd(); ++entry) {
        const std::string path = QtStrings::toStdString(entry.key());
        const auto resolution = resolveBookmarkData(entry.value());
        if (const auto* failure = std::get_if<std::string>(&resolution)) {
            log("Error resolving bookmark for " + path + ": " + *failure);
            continue;
        }
        const auto& bookmark = std::get<ResolvedBookmark>(resolution);
        if (bookmark.isStale) {
            log("Ignoring stale bookmark for " + path);
            continue;
        }
        if (!startAccessing(bookmark.path)) {
            log("Failed to access stored bookmark for " + path);
            continue;
        }
        granted.push_back(bookmark.path);
    }
    return granted;
}

void SecurityScopedBookmarksStore::adoptResolvedBookmarks(const std::vector<std::filesystem::path>& paths) {
    if (std::exchange(_isResolved, true)) {
        return;
    }
    _unresolvedBookmarks.clear();
    for (const auto& path : paths) {
        _allFileURLs.insert(canonicalFileURL(path));
    }
}

void SecurityScopedBookmarksStore::load() {
    adoptResolvedBookmarks(resolveStoredBookmarks(_unresolvedBookmarks, _startAccessing));
}

void SecurityScopedBookmarksStore::save() {
    QVariantMap bookmarks = _unresolvedBookmarks;
    for (const auto& url : _allFileURLs) {
        auto data = bookmarkData(url.path());
        if (const auto* failure = std::get_if<std::string>(&data)) {
            log("Error creating bookmark for path: " + pathText(url.path()) + ": " + *failure);
            continue;
        }
        bookmarks.insert(QtStrings::fromPath(url.path()), std::get<QByteArray>(std::move(data)));
    }
    _preferences.setSecurityScopedBookmarks(bookmarks);
}
