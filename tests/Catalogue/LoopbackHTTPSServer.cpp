#include "LoopbackHTTPSServer.h"

#include "tools/FixtureSigner/FixtureCertificate.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/bio.h>
#include <openssl/pem.h>

namespace {

QByteArray privateKeyPEM(EVP_PKEY* key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    if (bio == nullptr ||
        PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw std::runtime_error("Writing the test server's key failed");
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(length));
}

FixtureCertificate::Names names(const char* commonName) {
    FixtureCertificate::Names result;
    result.commonName = commonName;
    return result;
}

QByteArray reasonPhrase(int status) {
    return status == 200 ? "OK" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Status";
}

} // namespace

LoopbackHTTPSServer::LoopbackHTTPSServer(QObject* parent)
    : QObject(parent) {
    FixtureCertificate::Options authorityOptions;
    authorityOptions.isCertificateAuthority = true;
    const auto authority = FixtureCertificate::makeRoot(names("Loopback Test Authority"), authorityOptions);
    FixtureCertificate::Options serverOptions;
    serverOptions.serverAuthentication = true;
    serverOptions.subjectAlternativeNames = "IP:127.0.0.1,DNS:localhost";
    const auto server = FixtureCertificate::makeIssued(authority, names("127.0.0.1"), serverOptions);
    _certificateAuthority = QSslCertificate(QByteArray::fromStdString(authority.pem()));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(QByteArray::fromStdString(server.pem())));
    configuration.setPrivateKey(QSslKey(privateKeyPEM(server.privateKey()), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    _server.setSslConfiguration(configuration);
    connect(&_server, &QSslServer::pendingConnectionAvailable, this, &LoopbackHTTPSServer::accept);
    _server.listen(QHostAddress::LocalHost, 0);
}

LoopbackHTTPSServer::~LoopbackHTTPSServer() = default;

QUrl LoopbackHTTPSServer::url(const QString& path) const {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(_server.serverPort());
    url.setPath(path);
    return url;
}

void LoopbackHTTPSServer::setResponse(const QString& path, Response response) {
    _responses.insert(path, std::move(response));
}

LoopbackHTTPSServer::Response LoopbackHTTPSServer::json(const QByteArray& body) {
    return Response{200, body, {{"Content-Type", "application/json"}}, false, false};
}

LoopbackHTTPSServer::Response LoopbackHTTPSServer::redirect(const QUrl& location) {
    return Response{302, {}, {{"Location", location.toEncoded()}}, false, false};
}

void LoopbackHTTPSServer::accept() {
    while (_server.hasPendingConnections()) {
        // A child of the server, which deletes it at the latest when the test's server goes.
        auto* const socket = qobject_cast<QSslSocket*>(_server.nextPendingConnection());
        if (socket == nullptr) {
            continue;
        }
        connect(socket, &QSslSocket::readyRead, this, [this, socket] { readRequest(*socket); });
        ++_openConnectionCount;
        connect(socket, &QSslSocket::disconnected, this, [this, socket] {
            --_openConnectionCount;
            socket->deleteLater();
            emit connectionClosed();
        });
        if (socket->bytesAvailable() > 0) {
            readRequest(*socket);
        }
    }
}

void LoopbackHTTPSServer::readRequest(QSslSocket& socket) {
    // The request so far is kept on the socket itself until its header is complete.
    QByteArray request = socket.property("request").toByteArray() + socket.readAll();
    socket.setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket.property("answered").toBool()) {
        return;
    }
    socket.setProperty("answered", true);
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QString();
    _requestedPaths.append(path);
    emit requestReceived(path);

    const Response response = _responses.value(path, Response{404, "Not here", {}, false, false});
    if (response.neverAnswers) {
        return;
    }
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    if (!response.keepsConnectionOpen) {
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    socket.write(head);
    socket.write(response.body);
    if (!response.keepsConnectionOpen) {
        socket.disconnectFromHost();
    }
}
