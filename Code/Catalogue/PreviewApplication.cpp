#include "Code/Catalogue/PreviewApplication.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <utility>

namespace {

/// Why one application object cannot be decoded; empty when it can.
using FieldError = QString;

QString missing(const QString& key) {
    return QStringLiteral("\"%1\" is missing").arg(key);
}

QString wrongType(const QString& key, const char* expected) {
    return QStringLiteral("\"%1\" is not %2").arg(key, QLatin1String(expected));
}

FieldError decodeString(const QJsonObject& object, const QString& key, QString& string) {
    const auto value = object.value(key);
    if (value.isUndefined()) {
        return missing(key);
    }
    if (!value.isString()) {
        return wrongType(key, "a string");
    }
    string = value.toString();
    return {};
}

FieldError decodeTexts(const QJsonObject& object, const QString& key, QMap<QString, QString>& texts) {
    const auto value = object.value(key);
    if (value.isUndefined()) {
        return missing(key);
    }
    if (!value.isObject()) {
        return wrongType(key, "an object of texts");
    }
    const auto languages = value.toObject();
    for (auto language = languages.begin(); language != languages.end(); ++language) {
        if (!language.value().isString()) {
            return wrongType(key + QLatin1Char('.') + language.key(), "a string");
        }
        texts.insert(language.key(), language.value().toString());
    }
    return {};
}

FieldError decodeApplication(const QJsonValue& value, PreviewApplication::JSONRepresentation& application) {
    if (!value.isObject()) {
        return QStringLiteral("it is not an object");
    }
    const auto object = value.toObject();
    QString url;
    for (const auto& error :
         {decodeTexts(object, QStringLiteral("name"), application.name),
          decodeString(object, QStringLiteral("developerName"), application.developerName),
          decodeTexts(object, QStringLiteral("applicationDescription"), application.applicationDescription),
          decodeString(object, QStringLiteral("url"), url),
          decodeString(object, QStringLiteral("bundleIdentifier"), application.bundleIdentifier)}) {
        if (!error.isEmpty()) {
            return error;
        }
    }
    application.url = QUrl(url, QUrl::StrictMode);
    if (!application.url.isValid() || application.url.isRelative()) {
        return QStringLiteral("\"url\" is not an absolute URL");
    }
    const auto icon = object.value(QStringLiteral("icon"));
    if (icon.isString()) {
        application.icon = icon.toString();
    } else if (!icon.isUndefined() && !icon.isNull()) {
        return wrongType(QStringLiteral("icon"), "a string");
    }
    return {};
}

QString listError(const QString& reason) {
    return QStringLiteral("The featured applications list cannot be read: ") + reason + QLatin1Char('.');
}

/// The text for `language`, else the English one; none when neither exists.
std::optional<QString> localized(const QMap<QString, QString>& texts, const QString& language) {
    for (const auto& key : {language, QStringLiteral("en")}) {
        if (const auto text = texts.constFind(key); text != texts.cend()) {
            return *text;
        }
    }
    return std::nullopt;
}

} // namespace

PreviewApplication::DecodedList PreviewApplication::decodeList(const QByteArray& data,
                                                               qsizetype maximumApplications) {
    QJsonParseError parseError{};
    const auto document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return listError(
            QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    }
    if (!document.isObject()) {
        return listError(QStringLiteral("it is not a JSON object"));
    }
    const auto applications = document.object().value(QStringLiteral("applications"));
    if (applications.isUndefined()) {
        return listError(missing(QStringLiteral("applications")));
    }
    if (!applications.isArray()) {
        return listError(wrongType(QStringLiteral("applications"), "an array"));
    }
    const auto entries = applications.toArray();
    JSONList list;
    const qsizetype count = std::min(entries.size(), std::max<qsizetype>(maximumApplications, 0));
    list.applications.reserve(static_cast<std::size_t>(count));
    for (qsizetype index = 0; index < count; ++index) {
        JSONRepresentation application;
        if (const auto error = decodeApplication(entries.at(index), application); !error.isEmpty()) {
            return listError(QStringLiteral("application %1: %2").arg(index).arg(error));
        }
        list.applications.push_back(std::move(application));
    }
    list.ignoredApplicationCount = entries.size() - count;
    return list;
}

std::shared_ptr<PreviewApplication> PreviewApplication::make(const JSONRepresentation& representation,
                                                             const QString& languageCode,
                                                             LoadImageHandler loadImageHandler) {
    const auto displayName = localized(representation.name, languageCode);
    const auto description = localized(representation.applicationDescription, languageCode);
    if (!displayName || !description) {
        return nullptr;
    }
    const QString iconName = representation.icon && !representation.icon->isEmpty()
                                 ? *representation.icon
                                 : representation.bundleIdentifier + QStringLiteral(".png");
    return std::make_shared<PreviewApplication>(representation.bundleIdentifier, *displayName,
                                                representation.developerName, *description, iconName,
                                                representation.url, std::move(loadImageHandler));
}

PreviewApplication::PreviewApplication(const QString& bundleIdentifier, const QString& displayName,
                                       const QString& developerName, const QString& applicationDescription,
                                       const QString& iconName, const QUrl& url,
                                       LoadImageHandler loadImageHandler)
    : Application(bundleIdentifier, displayName)
    , _applicationDescription(applicationDescription)
    , _developerName(developerName)
    , _iconName(iconName)
    , _url(url)
    , _loadImageHandler(std::move(loadImageHandler)) {}

PreviewApplication::PreviewApplication(const QString& bundleIdentifier, const QString& displayName)
    : PreviewApplication(bundleIdentifier, displayName, {}, {}, bundleIdentifier + QStringLiteral(".png"), {},
                         nullptr) {}

QByteArray PreviewApplication::iconData() {
    startLoadingImage();
    return _iconData;
}

void PreviewApplication::setIconData(const QByteArray& iconData) {
    if (iconData == _iconData) {
        return;
    }
    _iconData = iconData;
    emit iconChanged();
}

void PreviewApplication::startLoadingImage() {
    if (_didStartLoadingImage) {
        return;
    }
    _didStartLoadingImage = true;
    if (_loadImageHandler) {
        _loadImageHandler(*this);
    }
}
