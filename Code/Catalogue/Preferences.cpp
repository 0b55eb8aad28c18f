#include "Code/Catalogue/Preferences.h"

#include "LumoraVersion.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaType>
#include <QSettings>
#include <QStandardPaths>
#include <type_traits>

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

std::optional<QVariant> mapValue(const QVariant& stored) {
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

std::optional<QVariant> bytesValue(const QVariant& stored) {
    return stored.typeId() == QMetaType::QByteArray ? std::optional(stored) : std::nullopt;
}

/// How a stored value of each key type is read.
template <typename T>
constexpr auto normalizerOf() {
    if constexpr (std::is_same_v<T, bool>) {
        return booleanValue;
    } else if constexpr (std::is_same_v<T, QVariantMap>) {
        return mapValue;
    } else if constexpr (std::is_same_v<T, QStringList>) {
        return pathListValue;
    } else if constexpr (std::is_same_v<T, QString>) {
        return stringValue;
    } else {
        static_assert(std::is_same_v<T, QByteArray>, "a preference of a type without a reader");
        return bytesValue;
    }
}

void logProblem(const QString& message) {
    qWarning("%s", qUtf8Printable(message));
}

} // namespace

struct Preferences::KeyInfo {
    QString name;
    PreferenceStorage storage;
    QVariant defaultValue;
    /// The value as its proper type, or none when the stored value is of another type.
    std::optional<QVariant> (*normalized)(const QVariant& stored);

    template <typename T>
    KeyInfo(const PreferenceKey<T>& key) // NOLINT: a table of keys reads best without conversions
        : name(QString::fromLatin1(key.name))
        , storage(key.storage)
        , defaultValue(QVariant::fromValue(key.defaultValue))
        , normalized(normalizerOf<T>()) {}
};

const std::vector<Preferences::KeyInfo>& Preferences::keys() {
    static const std::vector<KeyInfo> table{
        PreferenceKeys::showPortsAndProtocols,
        PreferenceKeys::developerModeEnabled,
        PreferenceKeys::spotlightApplicationsSourceEnabled,
        PreferenceKeys::manuallyAddedApplicationsSourceEnabled,
        PreferenceKeys::applicationsFolderApplicationsSourceEnabled,
        PreferenceKeys::previewApplicationsSourceEnabled,
        PreferenceKeys::securityScopedBookmarks,
        PreferenceKeys::spotlightSearchScopes,
        PreferenceKeys::previewApplicationsListURL,
        PreferenceKeys::windowGeometry,
        PreferenceKeys::windowSplitter,
        PreferenceKeys::selectedApplication,
    };
    return table;
}

const Preferences::KeyInfo* Preferences::info(const QString& name) {
    for (const auto& key : keys()) {
        if (key.name == name) {
            return &key;
        }
    }
    return nullptr;
}

Preferences::Preferences(QObject* parent)
    : Preferences(defaultFilePath(), parent) {}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent)
    , _filePath(filePath)
    , _localFilePath(QFileInfo(filePath).dir().filePath(QStringLiteral("WindowState.ini"))) {
    readFile(_filePath, PreferenceStorage::roaming);
    readFile(_localFilePath, PreferenceStorage::local);
}

Preferences::Preferences(InMemory, QObject* parent)
    : QObject(parent) {}

Preferences::~Preferences() = default;

QString Preferences::defaultFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') +
           QLatin1String(LumoraApplicationID) + QStringLiteral("/LumoraViewer.ini");
}

void Preferences::readFile(const QString& filePath, PreferenceStorage storage) {
    const QFileInfo file(filePath);
    if (!file.exists()) {
        return;
    }
    if (!file.isReadable()) {
        logProblem(QStringLiteral("Error reading preferences %1: the file cannot be read; using the defaults")
                       .arg(filePath));
        return;
    }
    const QSettings settings(filePath, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        logProblem(QStringLiteral("Error reading preferences %1: the file is not a settings file; using the "
                                  "defaults")
                       .arg(filePath));
        return;
    }
    for (const auto& key : keys()) {
        if (key.storage != storage || !settings.contains(key.name)) {
            continue;
        }
        if (const auto normalized = key.normalized(settings.value(key.name))) {
            _values.insert(key.name, *normalized);
        } else {
            logProblem(
                QStringLiteral("Error reading preferences %1: \"%2\" has a value of the wrong type; using "
                               "the default")
                    .arg(filePath, key.name));
        }
    }
}

void Preferences::writeFile(PreferenceStorage storage) {
    const QString& filePath = storage == PreferenceStorage::roaming ? _filePath : _localFilePath;
    if (filePath.isEmpty()) {
        return;
    }
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    QSettings settings(filePath, QSettings::IniFormat);
    // A file we could not understand is replaced; keys we do not know are otherwise kept for
    // whichever version of the program wrote them.
    if (settings.status() != QSettings::NoError) {
        settings.clear();
    }
    for (const auto& key : keys()) {
        if (key.storage != storage) {
            continue;
        }
        if (_values.contains(key.name)) {
            settings.setValue(key.name, _values.value(key.name));
        } else {
            settings.remove(key.name);
        }
    }
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        logProblem(QStringLiteral("Error writing preferences %1").arg(filePath));
        emit writeFailed(filePath);
    }
}

QVariant Preferences::storedValue(const char* name, const QVariant& defaultValue) const {
    return _values.value(QString::fromLatin1(name), defaultValue);
}

void Preferences::store(const char* key, std::optional<QVariant> newValue) {
    const QString name = QString::fromLatin1(key);
    const KeyInfo* keyInfo = info(name);
    Q_ASSERT(keyInfo != nullptr);
    const bool hadValue = _values.contains(name);
    const QVariant oldValue = _values.value(name, keyInfo->defaultValue);
    if (newValue) {
        if (hadValue && oldValue == *newValue) {
            return;
        }
        _values.insert(name, *newValue);
    } else {
        if (!hadValue) {
            return;
        }
        _values.remove(name);
    }
    writeFile(keyInfo->storage);
    if (_values.value(name, keyInfo->defaultValue) != oldValue) {
        emit changed(name);
    }
}
