#include "Code/Catalogue/PreviewApplicationsSource.h"

#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/LocalizedStandardComparison.h"
#include "Code/Catalogue/PreviewApplication.h"

#include <QLocale>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

/// The two parts of a list load's progress that its completion drives.
struct PreviewApplicationsSource::ListLoad {
    QPointer<LoadProgress> downloadProgress;
    QPointer<LoadProgress> parseProgress;
};

/// How a download ended: its bytes, or why there are none. Cancelled downloads have neither.
struct PreviewApplicationsSource::DownloadResult {
    QByteArray data;
    std::optional<QString> error;
    bool cancelled = false;
};

namespace {

void logWarning(const QString& message) {
    qWarning("%s", qUtf8Printable(message));
}

bool mayLeaveFolder(const QString& fileName) {
    return fileName.isEmpty() || fileName == QLatin1String(".") || fileName.contains(QLatin1String("..")) ||
           fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\'));
}

} // namespace

std::shared_ptr<PreviewApplicationsSource> PreviewApplicationsSource::make(QUrl listURL, Options options) {
    return std::make_shared<PreviewApplicationsSource>(PrivateToken{}, std::move(listURL),
                                                       std::move(options));
}

std::shared_ptr<PreviewApplicationsSource> PreviewApplicationsSource::make(QUrl listURL) {
    return make(std::move(listURL), Options());
}

PreviewApplicationsSource::PreviewApplicationsSource(PrivateToken, QUrl listURL, Options options)
    : _listURL(std::move(listURL))
    , _options(std::move(options))
    , _urlSession(std::make_unique<QNetworkAccessManager>()) {}

PreviewApplicationsSource::~PreviewApplicationsSource() {
    // The replies go with their manager, before anything they might report to.
    _urlSession.reset();
}

QUrl PreviewApplicationsSource::iconURL(const QUrl& listURL, const QString& iconName) {
    if (!listURL.isValid() || mayLeaveFolder(iconName)) {
        return {};
    }
    QString path = listURL.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    path.truncate(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (path.isEmpty()) {
        path = QStringLiteral("/");
    }
    // Encoded as one path segment, so that no character of the name can act as URL syntax.
    path += QStringLiteral("app-icons/") + QString::fromLatin1(QUrl::toPercentEncoding(iconName));
    QUrl url = listURL;
    url.setPath(path, QUrl::StrictMode);
    url.setFragment({});
    return url.isValid() ? url : QUrl();
}

QString PreviewApplicationsSource::systemLanguageCode() {
    const auto language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::AnyLanguage) {
        return QStringLiteral("en");
    }
    const QString code = QLocale::languageToCode(language);
    return code.isEmpty() ? QStringLiteral("en") : code;
}

QString PreviewApplicationsSource::languageCode() const {
    return _options.languageCode.isEmpty() ? systemLanguageCode() : _options.languageCode;
}

void PreviewApplicationsSource::startUpdating(UpdateHandler updateHandler) {
    _updateHandler = std::move(updateHandler);
    loadList();
}

void PreviewApplicationsSource::stopUpdating() {
    _updateHandler = nullptr;
    if (auto* const progress = std::exchange(_loadListProgress, nullptr)) {
        progress->cancel();
        emit loadingListChanged();
    }
    setLoadListError(std::nullopt);
    // Taken out first: aborting reports the end of a download, which looks at the record again.
    const auto tasks = _urlSessionTasks.exchange({});
    for (auto* const reply : tasks) {
        reply->abort();
    }
}

void PreviewApplicationsSource::setWillLoadListHandler(std::function<void(LoadProgress& progress)> handler) {
    _willLoadListHandler = std::move(handler);
}

void PreviewApplicationsSource::setLoadListError(std::optional<QString> error) {
    if (error == _loadListError) {
        return;
    }
    _loadListError = std::move(error);
    emit loadListErrorChanged();
}

void PreviewApplicationsSource::loadList() {
    if (_loadListProgress != nullptr) {
        return;
    }
    setLoadListError(std::nullopt);

    auto progress = std::make_unique<LoadProgress>(10);
    ListLoad load{progress->addChild(0, 8), progress->addChild(2, 2)};
    auto* const reply = startDownload(_listURL, _options.maximumListSize,
                                      [load](PreviewApplicationsSource& source, DownloadResult result) {
                                          source.finishListLoad(load.parseProgress, result);
                                      });
    if (reply != nullptr) {
        LoadProgress* const downloadProgress = load.downloadProgress;
        connect(reply, &QNetworkReply::downloadProgress, downloadProgress,
                [downloadProgress](qint64 received, qint64 total) {
                    downloadProgress->setTotalUnitCount(total);
                    downloadProgress->setCompletedUnitCount(received);
                });
        connect(reply, &QNetworkReply::finished, downloadProgress, &LoadProgress::finish);
        progress->setCancellationHandler([reply = QPointer(reply)] {
            if (reply) {
                reply->abort();
            }
        });
    }

    // The previous load's progress may still be emitting a signal that led here.
    if (_latestLoadListProgress) {
        _latestLoadListProgress.release()->deleteLater();
    }
    _latestLoadListProgress = std::move(progress);
    _loadListProgress = _latestLoadListProgress.get();
    emit loadingListChanged();
    if (const auto handler = _willLoadListHandler) {
        handler(*_loadListProgress);
    }
}

void PreviewApplicationsSource::finishListLoad(const QPointer<LoadProgress>& parseProgress,
                                               const DownloadResult& result) {
    // A load that `stopUpdating` cancelled: another may be running by now, which this must not end.
    if (!parseProgress || _loadListProgress == nullptr || parseProgress->parent() != _loadListProgress) {
        return;
    }
    std::vector<std::shared_ptr<PreviewApplication>> records;
    std::optional<QString> error;
    if (parseProgress->isCancelled() || result.cancelled) {
        // Cancelled by the user: no applications and nothing to complain about.
    } else if (result.error) {
        error = result.error;
    } else {
        auto decoded = PreviewApplication::decodeList(result.data);
        if (auto* const message = std::get_if<QString>(&decoded)) {
            error = *message;
        } else {
            const auto& list = std::get<PreviewApplication::JSONList>(decoded);
            if (list.ignoredApplicationCount > 0) {
                logWarning(
                    QStringLiteral("The featured applications list at %1 has %2 more applications than "
                                   "the %3 that are shown; they are ignored.")
                        .arg(_listURL.toDisplayString())
                        .arg(list.ignoredApplicationCount)
                        .arg(PreviewApplication::maximumListedApplications));
            }
            const QString language = languageCode();
            for (const auto& representation : list.applications) {
                auto record = PreviewApplication::make(
                    representation, language,
                    [weakSource = weak_from_this()](PreviewApplication& application) {
                        if (const auto source = weakSource.lock()) {
                            source->loadIcon(application);
                        }
                    });
                if (record) {
                    records.push_back(std::move(record));
                }
            }
        }
    }

    std::stable_sort(records.begin(), records.end(), [](const auto& left, const auto& right) {
        return localizedStandardCompare(left->displayName(), right->displayName()) < 0;
    });
    Applications applications;
    int startedIconLoads = 0;
    for (const auto& record : records) {
        // Entries that repeat a bundle identifier are one application: the first by name stays.
        if (applications.insert(record).second && startedIconLoads < iconsLoadedAtOnce) {
            ++startedIconLoads;
            record->startLoadingImage();
        }
    }

    _applications = std::move(applications);
    _isInitialUpdateFinished = true;
    _loadListProgress = nullptr;
    emit loadingListChanged();
    parseProgress->finish();
    setLoadListError(std::move(error));
    // Last, and through a copy: the handler sees the finished state and may stop or reload.
    if (const auto handler = _updateHandler) {
        handler(*this, true);
    }
}

void PreviewApplicationsSource::loadIcon(PreviewApplication& application) {
    const QUrl url = iconURL(_listURL, application.iconName());
    if (url.isEmpty()) {
        logWarning(
            QStringLiteral("Not loading the icon \"%1\" of %2: the name does not stay in the icon folder.")
                .arg(application.iconName(), application.identifier()));
        return;
    }
    startDownload(
        url, _options.maximumIconSize,
        [application = QPointer(&application), url](PreviewApplicationsSource&, DownloadResult result) {
            if (result.error) {
                logWarning(QStringLiteral("Error loading ") + url.toDisplayString() + QStringLiteral(": ") +
                           *result.error);
            } else if (application && !result.data.isEmpty()) {
                application->setIconData(result.data);
            }
        });
}

QNetworkReply* PreviewApplicationsSource::startDownload(const QUrl& url, qint64 maximumSize,
                                                        DownloadCompletion completion) {
    const auto weakSource = weak_from_this();
    if (url.scheme() != QLatin1String("https")) {
        // Reported later, like every other end of a download.
        DownloadResult result;
        result.error =
            QStringLiteral("Only HTTPS addresses are loaded, not \"%1\".").arg(url.toDisplayString());
        QMetaObject::invokeMethod(
            this,
            [weakSource, completion = std::move(completion), result = std::move(result)]() mutable {
                if (const auto source = weakSource.lock()) {
                    completion(*source, std::move(result));
                }
            },
            Qt::QueuedConnection);
        return nullptr;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!_options.extraCertificateAuthorities.isEmpty()) {
        // Naming any authority stops the TLS library from finding the system's on its own, so they
        // are read here, once per source; only developers' and tests' sources name extra ones.
        if (!_sslConfiguration) {
            _sslConfiguration = QSslConfiguration::defaultConfiguration();
            _sslConfiguration->setCaCertificates(QSslConfiguration::systemCaCertificates() +
                                                 _options.extraCertificateAuthorities);
        }
        request.setSslConfiguration(*_sslConfiguration);
    }
    // Owned by the manager until it finishes; then by the event loop (deleteLater).
    QNetworkReply* const reply = _urlSession->get(request);
    _urlSessionTasks.with([reply](auto& tasks) { tasks.insert(reply); });

    // Why this side ended the download, when it did.
    auto abortReason = std::make_shared<QString>();
    auto* const timeout = new QTimer(reply);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, reply, [reply, abortReason] {
        *abortReason = QStringLiteral("The request timed out.");
        reply->abort();
    });
    timeout->start(_options.requestTimeoutMilliseconds);
    const auto refuseIfTooLarge = [reply, abortReason, maximumSize](qint64 size) {
        if (size > maximumSize && abortReason->isEmpty()) {
            *abortReason = QStringLiteral("The response is larger than %1 bytes.").arg(maximumSize);
            // Not from inside the reply's own signal, whose emitter may still be busy.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    };
    // The announced size ends the download before its body; what arrives is counted on every read,
    // since the progress signal comes at most every so often and may miss the end of a burst.
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [refuseIfTooLarge](qint64, qint64 total) { refuseIfTooLarge(total); });
    connect(reply, &QNetworkReply::readyRead, reply,
            [reply, refuseIfTooLarge] { refuseIfTooLarge(reply->bytesAvailable()); });
    // Queued, since aborting reports the end at once, in the middle of whatever aborted.
    connect(
        reply, &QNetworkReply::finished, reply,
        [weakSource, reply, abortReason, maximumSize, completion = std::move(completion)] {
            reply->deleteLater();
            if (const auto source = weakSource.lock()) {
                source->finishDownload(*reply, maximumSize, *abortReason, completion);
            }
        },
        Qt::QueuedConnection);
    return reply;
}

void PreviewApplicationsSource::finishDownload(QNetworkReply& reply, qint64 maximumSize,
                                               const QString& abortReason,
                                               const DownloadCompletion& completion) {
    _urlSessionTasks.with([&reply](auto& tasks) { tasks.erase(&reply); });
    DownloadResult result;
    if (!abortReason.isEmpty()) {
        result.error = abortReason;
    } else if (reply.error() == QNetworkReply::OperationCanceledError) {
        result.cancelled = true;
    } else if (reply.error() != QNetworkReply::NoError) {
        result.error = reply.errorString();
    } else {
        result.data = reply.readAll();
        if (result.data.size() > maximumSize) {
            result.data.clear();
            result.error = QStringLiteral("The response is larger than %1 bytes.").arg(maximumSize);
        }
    }
    completion(*this, std::move(result));
}
