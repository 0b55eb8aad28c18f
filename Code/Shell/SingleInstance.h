#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

/// One viewer per user: a second start hands its files to the running one, which shows its
/// window, and exits. The running instance listens on a local socket named per user; a socket
/// left behind by an instance that crashed is noticed (nobody answers on it) and replaced.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Forwarding {
        /// The running instance took the arguments.
        forwarded,
        /// No instance runs: this one should start.
        noRunningInstance,
        /// An instance runs but did not confirm in time.
        failed,
    };

    /// The socket's name: the program's id and the user's id, so that users do not meet.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);

    /// Hands `arguments` (absolute file paths) to a running instance and waits for its answer.
    /// Blocks, so it is called before this instance has a window; safe from any thread.
    Forwarding forwardToRunningInstance(const QStringList& arguments, int timeoutMilliseconds = 10000) const;

    /// Starts answering later starts. False when the name is taken by a live instance or the
    /// socket cannot be made.
    bool listen();
    const QString& serverName() const { return _serverName; }

signals:
    /// A later start handed over its arguments (possibly none: it wants the window shown).
    void argumentsReceived(const QStringList& arguments);

private:
    void acceptConnection();

    QString _serverName;
    QLocalServer _server;
};
