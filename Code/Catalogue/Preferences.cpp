#include "Code/Catalogue/Preferences.h"

#include "LumoraVersion.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaType>
#include <QSettings>
#include <QStandardPaths>
#include <array>

enum class Preferences::Key : int {
    showPortsAndProtocols,
    developerModeEnabled,
    spotlightApplicationsSourceEnabled,
    manuallyAddedApplicationsSourceEnabled,
    applicationsFolderApplicationsSourceEnabled,
    previewApplicationsSourceEnabled,
    securityScopedBookmarks,
    spotlightSearchScopes,
    previewApplicationsListURL,
};

namespace {

/// INI files keep booleans as words.
std::optional<QVariant> booleanValue(const QVariant& stored) {
    if (stored.typeId() == QMetaType::Bool) {
        return stored;
    }
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            return QVariant(text == QLatin1String("true"));
        }
    }
    return std::nullopt;
}

/// Entries are checked one by one by whoever resolves them, so that one damaged entry does not
/// cost the user every other folder they granted.
std::optional<QVariant> bookmarksValue(const QVariant& stored) {
    return stored.typeId() == QMetaType::QVariantMap ? std::optional(stored) : std::nullopt;
}

/// INI files write a list of one string as that string, and an empty list as an invalid value.
std::optional<QVariant> pathListValue(const QVariant& stored) {
    if (!stored.isValid()) {
        return QVariant(QStringList());
    }
    if (stored.typeId() == QMetaType::QString) {
        return QVariant(QStringList{stored.toString()});
    }
    if (stored.typeId() == QMetaType::QStringList) {
        return stored;
    }
    if (stored.typeId() == QMetaType::QVariantList) {
        QStringList paths;
        for (const QVariant& path : stored.toList()) {
            if (path.typeId() != QMetaType::QString) {
                return std::nullopt;
            }
            paths.append(path.toString());
        }
        return QVariant(paths);
    }
    return std::nullopt;
}

std::optional<QVariant> stringValue(const QVariant& stored) {
    return stored.typeId() == QMetaType::QString ? std::optional(stored) : std::nullopt;
}

void logProblem(const QString& message) {
    qWarning("%s", qUtf8Printable(message));
}

} // namespace

struct Preferences::KeyInfo {
    Key key;
    const char* name;
    QVariant defaultValue;
    /// The value as its proper type, or none when the stored value is of another type.
    std::optional<QVariant> (*normalized)(const QVariant& stored);
};

const Preferences::KeyInfo& Preferences::info(Key key) {
    static const std::array<KeyInfo, 9> keys{{
        {Key::showPortsAndProtocols, showPortsAndProtocolsKey, QVariant(false), booleanValue},
        {Key::developerModeEnabled, developerModeEnabledKey, QVariant(false), booleanValue},
        {Key::spotlightApplicationsSourceEnabled, spotlightApplicationsSourceEnabledKey, QVariant(true),
         booleanValue},
        {Key::manuallyAddedApplicationsSourceEnabled, manuallyAddedApplicationsSourceEnabledKey,
         QVariant(true), booleanValue},
        {Key::applicationsFolderApplicationsSourceEnabled, applicationsFolderApplicationsSourceEnabledKey,
         QVariant(true), booleanValue},
        {Key::previewApplicationsSourceEnabled, previewApplicationsSourceEnabledKey, QVariant(false),
         booleanValue},
        {Key::securityScopedBookmarks, securityScopedBookmarksKey, QVariant(QVariantMap()), bookmarksValue},
        {Key::spotlightSearchScopes, spotlightSearchScopesKey, QVariant(QStringList()), pathListValue},
        {Key::previewApplicationsListURL, previewApplicationsListURLKey, QVariant(QString()), stringValue},
    }};
    return keys[static_cast<std::size_t>(key)];
}

Preferences::Preferences(QObject* parent)
    : Preferences(defaultFilePath(), parent) {}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent)
    , _filePath(filePath) {
    readFile();
}

Preferences::Preferences(InMemory, QObject* parent)
    : QObject(parent) {}

Preferences::~Preferences() = default;

QString Preferences::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(LumoraApplicationID) + QStringLiteral("/LumoraViewer.ini");
}

void Preferences::readFile() {
    const QFileInfo file(_filePath);
    if (!file.exists()) {
        return;
    }
    if (!file.isReadable()) {
        logProblem(QStringLiteral("Error reading preferences %1: the file cannot be read; using the defaults")
                       .arg(_filePath));
        return;
    }
    const QSettings settings(_filePath, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        logProblem(QStringLiteral("Error reading preferences %1: the file is not a settings file; using the "
                                  "defaults")
                       .arg(_filePath));
        return;
    }
    for (int index = 0; index <= static_cast<int>(Key::previewApplicationsListURL); ++index) {
        const auto& key = info(static_cast<Key>(index));
        const QString name = QString::fromLatin1(key.name);
        if (!settings.contains(name)) {
            continue;
        }
        if (const auto normalized = key.normalized(settings.value(name))) {
            _values.insert(name, *normalized);
        } else {
            logProblem(
                QStringLiteral("Error reading preferences %1: \"%2\" has a value of the wrong type; using "
                               "the default")
                    .arg(_filePath, name));
        }
    }
}

void Preferences::writeFile() const {
    if (_filePath.isEmpty()) {
        return;
    }
    QDir().mkpath(QFileInfo(_filePath).absolutePath());
    QSettings settings(_filePath, QSettings::IniFormat);
    // A file we could not understand is replaced; keys we do not know are otherwise kept for
    // whichever version of the program wrote them.
    if (settings.status() != QSettings::NoError) {
        settings.clear();
    }
    for (int index = 0; index <= static_cast<int>(Key::previewApplicationsListURL); ++index) {
        const QString name = QString::fromLatin1(info(static_cast<Key>(index)).name);
        if (_values.contains(name)) {
            settings.setValue(name, _values.value(name));
        } else {
            settings.remove(name);
        }
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        logProblem(QStringLiteral("Error writing preferences %1").arg(_filePath));
    }
}

QVariant Preferences::value(Key key) const {
    const auto& keyInfo = info(key);
    return _values.value(QString::fromLatin1(keyInfo.name), keyInfo.defaultValue);
}

void Preferences::setValue(Key key, std::optional<QVariant> newValue) {
    const QString name = QString::fromLatin1(info(key).name);
    const QVariant oldValue = value(key);
    if (newValue) {
        if (_values.value(name) == *newValue && _values.contains(name)) {
            return;
        }
        _values.insert(name, *newValue);
    } else {
        if (!_values.contains(name)) {
            return;
        }
        _values.remove(name);
    }
    writeFile();
    if (value(key) != oldValue) {
        emitChanged(key);
    }
}

void Preferences::emitChanged(Key key) {
    switch (key) {
    case Key::showPortsAndProtocols:
        emit showPortsAndProtocolsChanged(showPortsAndProtocols());
        break;
    case Key::developerModeEnabled:
        emit developerModeEnabledChanged(developerModeEnabled());
        break;
    case Key::spotlightApplicationsSourceEnabled:
        emit spotlightApplicationsSourceEnabledChanged(spotlightApplicationsSourceEnabled());
        break;
    case Key::manuallyAddedApplicationsSourceEnabled:
        emit manuallyAddedApplicationsSourceEnabledChanged(manuallyAddedApplicationsSourceEnabled());
        break;
    case Key::applicationsFolderApplicationsSourceEnabled:
        emit applicationsFolderApplicationsSourceEnabledChanged(
            applicationsFolderApplicationsSourceEnabled());
        break;
    case Key::previewApplicationsSourceEnabled:
        emit previewApplicationsSourceEnabledChanged(previewApplicationsSourceEnabled());
        break;
    case Key::securityScopedBookmarks:
        emit securityScopedBookmarksChanged(securityScopedBookmarks());
        break;
    case Key::spotlightSearchScopes:
        emit spotlightSearchScopesChanged(spotlightSearchScopes());
        break;
    case Key::previewApplicationsListURL:
        emit previewApplicationsListURLChanged(previewApplicationsListURL());
        break;
    }
}

bool Preferences::showPortsAndProtocols() const {
    return value(Key::showPortsAndProtocols).toBool();
}
void Preferences::setShowPortsAndProtocols(bool enabled) {
    setValue(Key::showPortsAndProtocols, enabled);
}

bool Preferences::developerModeEnabled() const {
    return value(Key::developerModeEnabled).toBool();
}
void Preferences::setDeveloperModeEnabled(bool enabled) {
    setValue(Key::developerModeEnabled, enabled);
}

bool Preferences::spotlightApplicationsSourceEnabled() const {
    return value(Key::spotlightApplicationsSourceEnabled).toBool();
}
void Preferences::setSpotlightApplicationsSourceEnabled(bool enabled) {
    setValue(Key::spotlightApplicationsSourceEnabled, enabled);
}

bool Preferences::manuallyAddedApplicationsSourceEnabled() const {
    return value(Key::manuallyAddedApplicationsSourceEnabled).toBool();
}
void Preferences::setManuallyAddedApplicationsSourceEnabled(bool enabled) {
    setValue(Key::manuallyAddedApplicationsSourceEnabled, enabled);
}

bool Preferences::applicationsFolderApplicationsSourceEnabled() const {
    return value(Key::applicationsFolderApplicationsSourceEnabled).toBool();
}
void Preferences::setApplicationsFolderApplicationsSourceEnabled(bool enabled) {
    setValue(Key::applicationsFolderApplicationsSourceEnabled, enabled);
}

bool Preferences::previewApplicationsSourceEnabled() const {
    return value(Key::previewApplicationsSourceEnabled).toBool();
}
void Preferences::setPreviewApplicationsSourceEnabled(bool enabled) {
    setValue(Key::previewApplicationsSourceEnabled, enabled);
}
void Preferences::removePreviewApplicationsSourceEnabled() {
    setValue(Key::previewApplicationsSourceEnabled, std::nullopt);
}

QVariantMap Preferences::securityScopedBookmarks() const {
    return value(Key::securityScopedBookmarks).toMap();
}
void Preferences::setSecurityScopedBookmarks(const QVariantMap& bookmarks) {
    setValue(Key::securityScopedBookmarks, QVariant(bookmarks));
}
void Preferences::removeSecurityScopedBookmarks() {
    setValue(Key::securityScopedBookmarks, std::nullopt);
}

QStringList Preferences::spotlightSearchScopes() const {
    return value(Key::spotlightSearchScopes).toStringList();
}
void Preferences::setSpotlightSearchScopes(const QStringList& scopes) {
    setValue(Key::spotlightSearchScopes, QVariant(scopes));
}

QString Preferences::previewApplicationsListURL() const {
    return value(Key::previewApplicationsListURL).toString();
}
void Preferences::setPreviewApplicationsListURL(const QString& url) {
    setValue(Key::previewApplicationsListURL, QVariant(url));
}
