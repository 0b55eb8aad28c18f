#include "Code/Shell/DocumentRequestInterceptor.h"

#include "Code/Shell/DocumentSchemeHandler.h"

DocumentRequestInterceptor::DocumentRequestInterceptor(QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent) {}

bool DocumentRequestInterceptor::allows(const QUrl& url,
                                        QWebEngineUrlRequestInfo::ResourceType resourceType) {
    const QString scheme = url.scheme();
    switch (resourceType) {
    case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
        return scheme == QLatin1String(DocumentSchemeHandler::scheme()) || scheme == QLatin1String("data");
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
        return scheme == QLatin1String("data");
    default:
        return false;
    }
}

void DocumentRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (allows(info.requestUrl(), info.resourceType())) {
        return;
    }
    info.block(true);
    emit requestBlocked(info.requestUrl(), info.resourceType());
}
