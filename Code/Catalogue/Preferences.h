#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <optional>

/// The user's settings, with their defaults registered, one typed accessor and one change signal
/// per key. On Linux stored as an INI file in the user's configuration folder
/// ($XDG_CONFIG_HOME/org.lumoraviewer.LumoraViewer/LumoraViewer.ini). Values that cannot be read as
/// their key's type read as the default; the file is left as it is until the user changes a
/// setting, so a file written by a newer or older version survives merely being read.
class Preferences : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ShowPortsAndProtocols READ showPortsAndProtocols WRITE setShowPortsAndProtocols NOTIFY
                   showPortsAndProtocolsChanged)
    Q_PROPERTY(bool DeveloperModeEnabled READ developerModeEnabled WRITE setDeveloperModeEnabled NOTIFY
                   developerModeEnabledChanged)
    Q_PROPERTY(bool SpotlightApplicationsSourceEnabled READ spotlightApplicationsSourceEnabled WRITE
                   setSpotlightApplicationsSourceEnabled NOTIFY spotlightApplicationsSourceEnabledChanged)
    Q_PROPERTY(
        bool ManuallyAddedApplicationsSourceEnabled READ manuallyAddedApplicationsSourceEnabled WRITE
            setManuallyAddedApplicationsSourceEnabled NOTIFY manuallyAddedApplicationsSourceEnabledChanged)
    Q_PROPERTY(
        bool ApplicationsFolderApplicationsSourceEnabled READ applicationsFolderApplicationsSourceEnabled
            WRITE setApplicationsFolderApplicationsSourceEnabled NOTIFY
                applicationsFolderApplicationsSourceEnabledChanged)
    Q_PROPERTY(bool PreviewApplicationsSourceEnabled READ previewApplicationsSourceEnabled WRITE
                   setPreviewApplicationsSourceEnabled NOTIFY previewApplicationsSourceEnabledChanged)

public:
    static constexpr const char* showPortsAndProtocolsKey = "ShowPortsAndProtocols";
    static constexpr const char* developerModeEnabledKey = "DeveloperModeEnabled";
    static constexpr const char* spotlightApplicationsSourceEnabledKey = "SpotlightApplicationsSourceEnabled";
    static constexpr const char* manuallyAddedApplicationsSourceEnabledKey =
        "ManuallyAddedApplicationsSourceEnabled";
    static constexpr const char* applicationsFolderApplicationsSourceEnabledKey =
        "ApplicationsFolderApplicationsSourceEnabled";
    static constexpr const char* previewApplicationsSourceEnabledKey = "PreviewApplicationsSourceEnabled";
    static constexpr const char* securityScopedBookmarksKey = "SecurityScopedBookmarks";
    static constexpr const char* spotlightSearchScopesKey = "SpotlightSearchScopes";
    static constexpr const char* previewApplicationsListURLKey = "PreviewApplicationsListURL";

    /// The user's file: "org.lumoraviewer.LumoraViewer/LumoraViewer.ini" in the configuration folder.
    explicit Preferences(QObject* parent = nullptr);
    /// The given INI file.
    explicit Preferences(const QString& filePath, QObject* parent = nullptr);
    /// Nothing is read or written: every key starts at its default and changes last as long as the object.
    struct InMemory {};
    explicit Preferences(InMemory, QObject* parent = nullptr);
    ~Preferences() override;

    static QString defaultFilePath();
    /// Empty for the in-memory kind.
    const QString& filePath() const { return _filePath; }

    bool showPortsAndProtocols() const;
    void setShowPortsAndProtocols(bool enabled);
    bool developerModeEnabled() const;
    void setDeveloperModeEnabled(bool enabled);
    bool spotlightApplicationsSourceEnabled() const;
    void setSpotlightApplicationsSourceEnabled(bool enabled);
    bool manuallyAddedApplicationsSourceEnabled() const;
    void setManuallyAddedApplicationsSourceEnabled(bool enabled);
    bool applicationsFolderApplicationsSourceEnabled() const;
    void setApplicationsFolderApplicationsSourceEnabled(bool enabled);
    bool previewApplicationsSourceEnabled() const;
    void setPreviewApplicationsSourceEnabled(bool enabled);
    /// Every run starts without the preview applications: called when the program quits.
    void removePreviewApplicationsSourceEnabled();

    /// Bookmark data by the path of the bookmarked item. Entries are not checked here: a value
    /// that is not a byte array is the reader's to skip.
    QVariantMap securityScopedBookmarks() const;
    void setSecurityScopedBookmarks(const QVariantMap& bookmarks);
    void removeSecurityScopedBookmarks();
    /// The folders searched for applications; empty means the built-in places.
    QStringList spotlightSearchScopes() const;
    void setSpotlightSearchScopes(const QStringList& scopes);
    /// Where the featured applications are listed; empty when none are offered.
    QString previewApplicationsListURL() const;
    void setPreviewApplicationsListURL(const QString& url);

signals:
    void showPortsAndProtocolsChanged(bool enabled);
    void developerModeEnabledChanged(bool enabled);
    void spotlightApplicationsSourceEnabledChanged(bool enabled);
    void manuallyAddedApplicationsSourceEnabledChanged(bool enabled);
    void applicationsFolderApplicationsSourceEnabledChanged(bool enabled);
    void previewApplicationsSourceEnabledChanged(bool enabled);
    void securityScopedBookmarksChanged(const QVariantMap& bookmarks);
    void spotlightSearchScopesChanged(const QStringList& scopes);
    void previewApplicationsListURLChanged(const QString& url);

private:
    enum class Key : int;
    struct KeyInfo;
    static const KeyInfo& info(Key key);

    void readFile();
    QVariant value(Key key) const;
    /// Stores `newValue` (none removes the key) and reports the change when the effective value differs.
    void setValue(Key key, std::optional<QVariant> newValue);
    void emitChanged(Key key);
    void writeFile() const;

    QString _filePath;
    /// The values the user has set (or the file held, when valid); absent keys read as their default.
    QVariantMap _values;
};
