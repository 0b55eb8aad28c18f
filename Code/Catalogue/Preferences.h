#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <optional>
#include <vector>

/// Where a preference is kept: the user's settings follow them ("LumoraViewer.ini"); the window's
/// own state stays with this machine ("WindowState.ini" beside it).
enum class PreferenceStorage { roaming, local };

/// One preference: its key in the file, its type, its default and where it is kept.
template <typename T>
struct PreferenceKey {
    const char* name;
    T defaultValue;
    PreferenceStorage storage;

    /// Whether `key`, as the change signal carries it, is this one.
    bool is(const QString& key) const { return key == QLatin1String(name); }
};

/// Every preference, declared once.
namespace PreferenceKeys {
inline const PreferenceKey<bool> showPortsAndProtocols{"ShowPortsAndProtocols", false,
                                                       PreferenceStorage::roaming};
inline const PreferenceKey<bool> developerModeEnabled{"DeveloperModeEnabled", false,
                                                      PreferenceStorage::roaming};
inline const PreferenceKey<bool> spotlightApplicationsSourceEnabled{"SpotlightApplicationsSourceEnabled",
                                                                    true, PreferenceStorage::roaming};
inline const PreferenceKey<bool> manuallyAddedApplicationsSourceEnabled{
    "ManuallyAddedApplicationsSourceEnabled", true, PreferenceStorage::roaming};
inline const PreferenceKey<bool> applicationsFolderApplicationsSourceEnabled{
    "ApplicationsFolderApplicationsSourceEnabled", true, PreferenceStorage::roaming};
inline const PreferenceKey<bool> previewApplicationsSourceEnabled{"PreviewApplicationsSourceEnabled", false,
                                                                  PreferenceStorage::roaming};
/// Bookmark data by the path of the bookmarked item. Entries are not checked here: a value that
/// is not a byte array is the reader's to skip, so that one damaged entry does not cost the user
/// every other folder they granted.
inline const PreferenceKey<QVariantMap> securityScopedBookmarks{
    "SecurityScopedBookmarks", {}, PreferenceStorage::roaming};
/// The folders searched for applications; empty means the built-in places.
inline const PreferenceKey<QStringList> spotlightSearchScopes{
    "SpotlightSearchScopes", {}, PreferenceStorage::roaming};
/// Where the featured applications are listed; empty when none are offered.
inline const PreferenceKey<QString> previewApplicationsListURL{
    "PreviewApplicationsListURL", {}, PreferenceStorage::roaming};
inline const PreferenceKey<QByteArray> windowGeometry{"MainWindow/geometry", {}, PreferenceStorage::local};
inline const PreferenceKey<QByteArray> windowSplitter{"MainWindow/splitter", {}, PreferenceStorage::local};
/// The identifier of the application selected last.
inline const PreferenceKey<QString> selectedApplication{
    "MainWindow/selectedApplication", {}, PreferenceStorage::local};
} // namespace PreferenceKeys

/// The user's settings: typed access through the keys above, and one change signal carrying the
/// key. On Linux stored as INI files in $XDG_CONFIG_HOME/org.lumoraviewer.LumoraViewer/. Values that cannot
/// be read as their key's type read as the default; a file is left as it is until a setting it holds changes,
/// so a file written by a newer or older version survives merely being read.
class Preferences : public QObject {
    Q_OBJECT

public:
    /// The user's files: "org.lumoraviewer.LumoraViewer/LumoraViewer.ini" in the configuration
    /// folder, and "WindowState.ini" beside it.
    explicit Preferences(QObject* parent = nullptr);
    /// The given INI file, and "WindowState.ini" beside it.
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    /// Nothing is read or written: every key starts at its default and changes last as long as the object.
    struct InMemory {};
    explicit Preferences(InMemory, QObject* parent = nullptr);
    ~Preferences() override;

    static QString defaultFilePath();
    /// Empty for the in-memory kind.
    const QString& filePath() const { return _filePath; }
    const QString& localFilePath() const { return _localFilePath; }

    template <typename T>
    T value(const PreferenceKey<T>& key) const {
        return qvariant_cast<T>(storedValue(key.name, QVariant::fromValue(key.defaultValue)));
    }
    template <typename T>
    void setValue(const PreferenceKey<T>& key, const T& value) {
        store(key.name, QVariant::fromValue(value));
    }
    /// The key reads as its default again.
    template <typename T>
    void remove(const PreferenceKey<T>& key) {
        store(key.name, std::nullopt);
    }
    /// Calls `handler` with the new value whenever `key` changes, while `context` lives.
    template <typename T, typename Handler>
    QMetaObject::Connection observe(const PreferenceKey<T>& key, const QObject* context, Handler handler) {
        return connect(this, &Preferences::changed, context, [this, &key, handler](const QString& name) {
            if (key.is(name)) {
                handler(value(key));
            }
        });
    }

    // The typed accessors the interface binds to.
    bool showPortsAndProtocols() const { return value(PreferenceKeys::showPortsAndProtocols); }
    void setShowPortsAndProtocols(bool enabled) { setValue(PreferenceKeys::showPortsAndProtocols, enabled); }
    bool developerModeEnabled() const { return value(PreferenceKeys::developerModeEnabled); }
    void setDeveloperModeEnabled(bool enabled) { setValue(PreferenceKeys::developerModeEnabled, enabled); }
    bool spotlightApplicationsSourceEnabled() const {
        return value(PreferenceKeys::spotlightApplicationsSourceEnabled);
    }
    void setSpotlightApplicationsSourceEnabled(bool enabled) {
        setValue(PreferenceKeys::spotlightApplicationsSourceEnabled, enabled);
    }
    bool manuallyAddedApplicationsSourceEnabled() const {
        return value(PreferenceKeys::manuallyAddedApplicationsSourceEnabled);
    }
    void setManuallyAddedApplicationsSourceEnabled(bool enabled) {
        setValue(PreferenceKeys::manuallyAddedApplicationsSourceEnabled, enabled);
    }
    bool applicationsFolderApplicationsSourceEnabled() const {
        return value(PreferenceKeys::applicationsFolderApplicationsSourceEnabled);
    }
    void setApplicationsFolderApplicationsSourceEnabled(bool enabled) {
        setValue(PreferenceKeys::applicationsFolderApplicationsSourceEnabled, enabled);
    }
    bool previewApplicationsSourceEnabled() const {
        return value(PreferenceKeys::previewApplicationsSourceEnabled);
    }
    void setPreviewApplicationsSourceEnabled(bool enabled) {
        setValue(PreferenceKeys::previewApplicationsSourceEnabled, enabled);
    }
    /// Every run starts without the preview applications: called when the program quits.
    void removePreviewApplicationsSourceEnabled() {
        remove(PreferenceKeys::previewApplicationsSourceEnabled);
    }
    QVariantMap securityScopedBookmarks() const { return value(PreferenceKeys::securityScopedBookmarks); }
    void setSecurityScopedBookmarks(const QVariantMap& bookmarks) {
        setValue(PreferenceKeys::securityScopedBookmarks, bookmarks);
    }
    void removeSecurityScopedBookmarks() { remove(PreferenceKeys::securityScopedBookmarks); }
    QStringList spotlightSearchScopes() const { return value(PreferenceKeys::spotlightSearchScopes); }
    void setSpotlightSearchScopes(const QStringList& scopes) {
        setValue(PreferenceKeys::spotlightSearchScopes, scopes);
    }
    QString previewApplicationsListURL() const { return value(PreferenceKeys::previewApplicationsListURL); }
    void setPreviewApplicationsListURL(const QString& url) {
        setValue(PreferenceKeys::previewApplicationsListURL, url);
    }

signals:
    /// The effective value of the key named `key` changed.
    void changed(const QString& key);
    /// A settings file could not be written; the change holds until the program ends.
    void writeFailed(const QString& filePath);

private:
    struct KeyInfo;
    static const std::vector<KeyInfo>& keys();
    static const KeyInfo* info(const QString& name);

    void readFile(const QString& filePath, PreferenceStorage storage);
    void writeFile(PreferenceStorage storage);
    QVariant storedValue(const char* name, const QVariant& defaultValue) const;
    /// Stores `newValue` (none removes the key) and reports the change when the effective value differs.
    void store(const char* name, std::optional<QVariant> newValue);

    QString _filePath;
    QString _localFilePath;
    /// The values the user has set (or the files held, when valid); absent keys read as their default.
    QVariantMap _values;
};
