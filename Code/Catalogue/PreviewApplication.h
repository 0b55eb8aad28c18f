#pragma once

#include "Code/Catalogue/Application.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

/// An entry of the downloaded list of featured applications. It stands for a document the user can
/// read, so it always counts as loaded. Its icon arrives later: the first time anyone asks for it,
/// the record calls its load-image handler, which downloads the image and stores its bytes here.
/// Lives on the main thread.
class PreviewApplication : public Application {
    Q_OBJECT
    Q_PROPERTY(QByteArray iconData READ iconData WRITE setIconData NOTIFY iconChanged)

public:
    using LoadImageHandler = std::function<void(PreviewApplication& application)>;

    /// One application object of the list, as the server sent it.
    struct JSONRepresentation {
        /// Language code to text.
        QMap<QString, QString> name;
        QString developerName;
        QMap<QString, QString> applicationDescription;
        std::optional<QString> icon;
        /// Absolute.
        QUrl url;
        QString bundleIdentifier;
    };
    /// The whole list.
    struct JSONList {
        std::vector<JSONRepresentation> applications;
        /// Entries past the most that the decoder was asked to take; they were not looked at.
        qsizetype ignoredApplicationCount = 0;
    };
    /// The list or why it could not be decoded.
    using DecodedList = std::variant<JSONList, QString>;

    /// The most entries a list contributes; a longer list is cut there.
    static constexpr qsizetype maximumListedApplications = 1000;

    /// Decodes a list: a JSON object whose "applications" holds application objects. A missing
    /// key, a value of the wrong type or a "url" that is no absolute URL fails the whole list;
    /// unknown keys are ignored, and so is a null "icon". Only the first `maximumApplications`
    /// entries are decoded. Safe from any thread; needs no event loop.
    [[nodiscard]] static DecodedList decodeList(const QByteArray& data,
                                                qsizetype maximumApplications = maximumListedApplications);

    /// The record for one entry in the given language: name and description in that language, else
    /// in English; none when either has neither. The icon name is the entry's "icon", or the bundle
    /// identifier followed by ".png" when that is absent or empty.
    static std::shared_ptr<PreviewApplication> make(const JSONRepresentation& representation,
                                                    const QString& languageCode,
                                                    LoadImageHandler loadImageHandler);

    /// Shared like every application, so it takes no parent.
    PreviewApplication(const QString& bundleIdentifier, const QString& displayName,
                       const QString& developerName, const QString& applicationDescription,
                       const QString& iconName, const QUrl& url, LoadImageHandler loadImageHandler);
    /// A record with nothing but its identity, whose icon never loads.
    PreviewApplication(const QString& bundleIdentifier, const QString& displayName);

    const QString& applicationDescription() const { return _applicationDescription; }
    const QString& developerName() const { return _developerName; }
    const QString& iconName() const { return _iconName; }
    const QUrl& url() const { return _url; }

    /// The icon image's bytes, empty while the placeholder is to be shown. The first read starts
    /// the download, like `startLoadingImage`.
    QByteArray iconData();
    /// Replaces the icon; empty bytes bring the placeholder back.
    void setIconData(const QByteArray& iconData);
    /// Starts the icon download, once in the record's life; later calls do nothing.
    void startLoadingImage();
    bool didStartLoadingImage() const { return _didStartLoadingImage; }

    QString bundleIdentifier() const override { return identifier(); }
    bool isLumoraLoaded() const override { return true; }
    QString searchString() const override { return displayName(); }
    /// Never a file: the icon is downloaded (`iconData`).
    QString iconFilePath() const override { return {}; }

signals:
    void iconChanged();

private:
    QString _applicationDescription;
    QString _developerName;
    QString _iconName;
    QUrl _url;
    LoadImageHandler _loadImageHandler;
    bool _didStartLoadingImage = false;
    QByteArray _iconData;
};
