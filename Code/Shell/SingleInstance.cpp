#include "Code/Shell/SingleInstance.h"

#include "LumoraVersion.h"

#include <QDataStream>
#include <QLocalSocket>
#include <QPointer>

#include <unistd.h>

namespace {

constexpr char acknowledgement = '\x06';
/// Far more than any list of files dropped on the program's icon.
constexpr qint64 maximumMessageSize = 4 * 1024 * 1024;

QByteArray encode(const QStringList& arguments) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << arguments;
    QByteArray message;
    QDataStream framed(&message, QIODevice::WriteOnly);
    framed << static_cast<quint32>(payload.size());
    message.append(payload);
    return message;
}

} // namespace

QString SingleInstance::defaultServerName() {
    return QStringLiteral("%1-%2").arg(QLatin1String(LumoraApplicationID)).arg(::getuid());
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent)
    , _serverName(std::move(serverName)) {
    _server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

SingleInstance::Forwarding SingleInstance::forwardToRunningInstance(const QStringList& arguments,
                                                                    int timeoutMilliseconds) const {
    QLocalSocket socket;
    socket.connectToServer(_serverName);
    if (!socket.waitForConnected(timeoutMilliseconds)) {
        // Nobody listens: either no instance runs or the socket is a crashed one's leftover.
        return Forwarding::noRunningInstance;
    }
    socket.write(encode(arguments));
    if (!socket.waitForBytesWritten(timeoutMilliseconds)) {
        return Forwarding::failed;
    }
    // The files count as handed over only once the running instance has confirmed them.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMilliseconds)) {
            return Forwarding::failed;
        }
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == acknowledgement ? Forwarding::forwarded : Forwarding::failed;
}

bool SingleInstance::listen() {
    // Asked first, since listening replaces whatever socket has the name: a live instance answers,
    // a crashed one's leftover does not and is removed.
    QLocalSocket probe;
    probe.connectToServer(_serverName);
    if (probe.waitForConnected(1000)) {
        return false;
    }
    QLocalServer::removeServer(_serverName);
    return _server.listen(_serverName);
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = _server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket = QPointer(socket)] {
            if (!socket) {
                return;
            }
            if (socket->bytesAvailable() < 4) {
                return;
            }
            QDataStream header(socket->peek(4));
            quint32 size = 0;
            header >> size;
            if (size > maximumMessageSize) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + static_cast<qint64>(size)) {
                return;
            }
            socket->skip(4);
            QDataStream stream(socket->read(size));
            stream.setVersion(QDataStream::Qt_6_4);
            QStringList arguments;
            stream >> arguments;
            if (stream.status() != QDataStream::Ok) {
                socket->abort();
                return;
            }
            socket->putChar(acknowledgement);
            socket->flush();
            emit argumentsReceived(arguments);
        });
    }
}
