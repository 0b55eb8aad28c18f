#pragma once

#include <QObject>
#include <QUrl>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

/// Keeps the document page from loading anything but itself: the page's main frame on the page
/// scheme (or as the data: URL it is handed over in) and images embedded as data: URLs. Every
/// other request (remote images, style sheets, frames, icons, prefetches) is blocked.
class DocumentRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit DocumentRequestInterceptor(QObject* parent = nullptr);

    /// Whether a request for `url` of the given kind may load.
    static bool allows(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType resourceType);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

signals:
    /// A request was blocked (may be emitted from the engine's thread).
    void requestBlocked(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType resourceType);
};
