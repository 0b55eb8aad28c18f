#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QString>
#include <QStringList>
#include <QUrl>

/// An HTTPS server on 127.0.0.1 for tests, answering each GET from a table of canned responses
/// (404 for paths it does not know) and closing the connection after each answer. Its certificate
/// is issued for 127.0.0.1 and localhost by a certificate authority made fresh for each server,
/// which no one trusts unless told to.
class LoopbackHTTPSServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        /// Sends the headers and the body but never ends the response.
        bool keepsConnectionOpen = false;
        /// Reads the request and never answers.
        bool neverAnswers = false;
    };

    explicit LoopbackHTTPSServer(QObject* parent = nullptr);
    ~LoopbackHTTPSServer() override;

    bool isListening() const { return _server.isListening(); }
    QUrl url(const QString& path) const;
    const QSslCertificate& certificateAuthority() const { return _certificateAuthority; }

    void setResponse(const QString& path, Response response);
    static Response json(const QByteArray& body);
    static Response redirect(const QUrl& location);

    /// Paths of the requests received so far, in order.
    const QStringList& requestedPaths() const { return _requestedPaths; }
    int countOfRequests(const QString& path) const { return static_cast<int>(_requestedPaths.count(path)); }
    /// Connections that the client has not closed yet.
    int openConnectionCount() const { return _openConnectionCount; }

signals:
    void requestReceived(const QString& path);
    void connectionClosed();

private:
    void accept();
    void readRequest(QSslSocket& socket);

    QSslServer _server;
    QSslCertificate _certificateAuthority;
    QHash<QString, Response> _responses;
    QStringList _requestedPaths;
    int _openConnectionCount = 0;
};
