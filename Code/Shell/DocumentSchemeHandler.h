#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

/// Serves the document page on the page scheme: the page's base URL, and the page itself when it is
/// too large to be handed over as a data: URL. Only the page set last is served; every other
/// address on the scheme fails.
class DocumentSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit DocumentSchemeHandler(QObject* parent = nullptr);

    /// The scheme's name, registered before the application object exists.
    static QByteArray scheme();

    /// The page served from now on at `url` (an address on the scheme); an empty URL serves none.
    void setPage(const QUrl& url, const QByteArray& html);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QUrl pageURL;
    QByteArray pageHTML;
};
