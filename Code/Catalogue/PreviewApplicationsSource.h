#pragma once

#include "Code/Catalogue/ApplicationsSource.h"
#include "Code/Catalogue/Synchronized.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>

class LoadProgress;
class PreviewApplication;
class QNetworkAccessManager;
class QNetworkReply;

/// The featured applications: a JSON list downloaded over HTTPS, whose entries become
/// `PreviewApplication` records with icons downloaded from the folder "app-icons" beside the list.
/// Every finished load, good or bad, replaces the set and is reported with true; a failed load
/// leaves the set empty and says why in `loadListError`.
///
/// Downloads go through Qt's network access manager. Only HTTPS is spoken, also after redirects.
/// Each request ends after a fixed time, and a list or icon larger than its limit is dropped as
/// soon as the limit is passed.
///
/// Lives on the main thread and is owned by a `std::shared_ptr` (hence `make`, and no parent):
/// downloads hold it weakly and do nothing once it has gone.
class PreviewApplicationsSource : public QObject,
                                  public AsyncApplicationsSource,
                                  public std::enable_shared_from_this<PreviewApplicationsSource> {
    Q_OBJECT
    Q_PROPERTY(bool loadingList READ isLoadingList NOTIFY loadingListChanged)
    struct PrivateToken {};

public:
    struct Options {
        /// Trusted for this source's requests, besides the system's authorities.
        QList<QSslCertificate> extraCertificateAuthorities;
        /// The longest a request may take, from start to last byte.
        int requestTimeoutMilliseconds = 30000;
        qint64 maximumListSize = 8 * 1024 * 1024;
        qint64 maximumIconSize = 1024 * 1024;
        /// The language whose names and descriptions are shown; empty for the system locale's.
        QString languageCode;
    };

    /// The number of records whose icons are downloaded as soon as the list has loaded; the
    /// others wait until their icons are first asked for.
    static constexpr int iconsLoadedAtOnce = 20;

    /// No network activity until `startUpdating` or `loadList`.
    static std::shared_ptr<PreviewApplicationsSource> make(QUrl listURL, Options options);
    /// With the default options. (Not a default argument: the options' own defaults are not known
    /// to the compiler before the class is complete.)
    static std::shared_ptr<PreviewApplicationsSource> make(QUrl listURL);
    PreviewApplicationsSource(PrivateToken, QUrl listURL, Options options);
    ~PreviewApplicationsSource() override;

    const QUrl& listURL() const { return _listURL; }
    /// The icon's address: the folder "app-icons" beside the list, with `iconName` as the file in
    /// it. Empty for a name that could leave that folder (one holding '/', '\\' or "..", or ".")
    /// and for an empty one.
    static QUrl iconURL(const QUrl& listURL, const QString& iconName);
    /// The system locale's language code, "en" when it has none (the C locale).
    static QString systemLanguageCode();

    const Applications& applications() const override { return _applications; }
    bool isInitialUpdateFinished() const override { return _isInitialUpdateFinished; }
    /// Stores the handler and loads the list.
    void startUpdating(UpdateHandler updateHandler) override;
    /// Drops the handler, cancels the list load and every icon download under way, and clears
    /// `loadListError`. The set stays as the last finished load left it.
    void stopUpdating() override;

    /// Starts downloading the list, unless a download is already running.
    void loadList();
    bool isLoadingList() const { return _loadListProgress != nullptr; }
    /// Why the last list load failed; none while loading, after a load that succeeded or was
    /// cancelled, and after `stopUpdating`.
    const std::optional<QString>& loadListError() const { return _loadListError; }
    /// Called with the progress of each list load as it starts: 10 units, 8 for the download and 2
    /// for decoding. Cancelling it cancels the load. The progress object stays alive until the next
    /// load starts or the source goes, so an observer may keep a `QPointer` to it.
    void setWillLoadListHandler(std::function<void(LoadProgress& progress)> handler);

signals:
    void loadListErrorChanged();
    void loadingListChanged();

private:
    struct ListLoad;
    struct DownloadResult;
    using DownloadCompletion = std::function<void(PreviewApplicationsSource& source, DownloadResult result)>;

    QNetworkReply* startDownload(const QUrl& url, qint64 maximumSize, DownloadCompletion completion);
    void finishDownload(QNetworkReply& reply, qint64 maximumSize, const QString& abortReason,
                        const DownloadCompletion& completion);
    void finishListLoad(const QPointer<LoadProgress>& parseProgress, const DownloadResult& result);
    void loadIcon(PreviewApplication& application);
    void setLoadListError(std::optional<QString> error);
    QString languageCode() const;

    QUrl _listURL;
    Options _options;
    /// The system's certificate authorities and the extra ones, when there are extra ones.
    std::optional<QSslConfiguration> _sslConfiguration;
    std::function<void(LoadProgress& progress)> _willLoadListHandler;
    std::optional<QString> _loadListError;
    Applications _applications;
    bool _isInitialUpdateFinished = false;
    UpdateHandler _updateHandler;
    /// Every list and icon download under way.
    Synchronized<std::unordered_set<QNetworkReply*>> _urlSessionTasks;
    /// The progress of the list load under way; null when none is running.
    LoadProgress* _loadListProgress = nullptr;
    /// Owns the progress of the latest list load, which outlives its load for its observers.
    std::unique_ptr<LoadProgress> _latestLoadListProgress;
    /// Destroyed first, with the replies it owns, so that no download finishes into a source that
    /// is partly gone.
    std::unique_ptr<QNetworkAccessManager> _urlSession;
};
