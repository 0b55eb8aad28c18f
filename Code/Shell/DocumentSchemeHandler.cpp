#include "Code/Shell/DocumentSchemeHandler.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>

DocumentSchemeHandler::DocumentSchemeHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent) {}

QByteArray DocumentSchemeHandler::scheme() {
    return QByteArrayLiteral("lumora-page");
}

void DocumentSchemeHandler::setPage(const QUrl& url, const QByteArray& html) {
    pageURL = url;
    pageHTML = html;
}

void DocumentSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl requested = job->requestUrl().adjusted(QUrl::RemoveFragment);
    if (job->requestMethod() != QByteArrayLiteral("GET")) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    if (pageURL.isEmpty() || requested != pageURL) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The job owns the buffer, which keeps its own copy of the page (implicitly shared).
    auto* buffer = new QBuffer(job);
    buffer->setData(pageHTML);
    job->reply(QByteArrayLiteral("text/html;charset=UTF-8"), buffer);
}
