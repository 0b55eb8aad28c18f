#include "LoopbackHTTPSServer.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool condition, const char* what) {
    if (!condition) {
        throw std::runtime_error(std::string("Making the test certificate failed: ") + what);
    }
}

Key makeKey() {
    Key key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    check(key != nullptr, "key");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    check(extension != nullptr, value);
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

/// A certificate for `key` named `commonName`, signed by `issuerKey` (itself when the issuer is
/// null).
Certificate makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                            long serialNumber) {
    Certificate certificate(X509_new(), &X509_free);
    check(certificate != nullptr, "certificate");
    X509* const x509 = certificate.get();
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), serialNumber);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 7L * 24 * 3600);
    X509_set_pubkey(x509, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x509), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509* const signer = issuer != nullptr ? issuer : x509;
    X509_set_issuer_name(x509, X509_get_subject_name(signer));
    if (issuer == nullptr) {
        addExtension(x509, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(x509, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        addExtension(x509, signer, NID_subject_key_identifier, "hash");
    } else {
        addExtension(x509, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(x509, signer, NID_key_usage, "critical,digitalSignature");
        addExtension(x509, signer, NID_ext_key_usage, "serverAuth");
        addExtension(x509, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        addExtension(x509, signer, NID_authority_key_identifier, "keyid:always");
    }
    check(X509_sign(x509, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signature");
    return certificate;
}

template <typename Write>
QByteArray pem(Write write) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    check(bio != nullptr && write(bio.get()) == 1, "PEM");
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(length));
}

QByteArray reasonPhrase(int status) {
    return status == 200 ? "OK" : status == 302 ? "Found" : status == 404 ? "Not Found" : "Status";
}

} // namespace

LoopbackHTTPSServer::LoopbackHTTPSServer(QObject* parent)
    : QObject(parent) {
    const Key authorityKey = makeKey();
    const Certificate authority =
        makeCertificate(authorityKey.get(), "Loopback Test Authority", nullptr, nullptr, 1);
    const Key serverKey = makeKey();
    const Certificate server =
        makeCertificate(serverKey.get(), "127.0.0.1", authority.get(), authorityKey.get(), 2);

    _certificateAuthority =
        QSslCertificate(pem([&](BIO* bio) { return PEM_write_bio_X509(bio, authority.get()); }));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(
        QSslCertificate(pem([&](BIO* bio) { return PEM_write_bio_X509(bio, server.get()); })));
    configuration.setPrivateKey(QSslKey(pem([&](BIO* bio) {
                                            return PEM_write_bio_PrivateKey(bio, serverKey.get(), nullptr,
                                                                            nullptr, 0, nullptr, nullptr);
                                        }),
                                        QSsl::Ec));
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
