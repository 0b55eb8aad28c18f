#include "Code/Shell/SingleInstance.h"
#include "ShellTestSupport.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <future>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

/// Forwards from another thread, as a second start of the program would, while this thread's
/// event loop lets the running instance answer.
std::future<SingleInstance::Forwarding> forwardInBackground(const QString& name,
                                                            const QStringList& arguments) {
    return std::async(std::launch::async, [name, arguments] {
        return SingleInstance(name).forwardToRunningInstance(arguments, 10000);
    });
}

class SingleInstanceTest : public ::testing::Test {
protected:
    QString socketPath() const { return _folder.filePath(QStringLiteral("viewer.socket")); }
    QTemporaryDir _folder;
};

} // namespace

TEST_F(SingleInstanceTest, ALaterStartHandsItsFilesToTheRunningOne) {
    SingleInstance running(socketPath());
    ASSERT_TRUE(running.listen());
    QSignalSpy received(&running, &SingleInstance::argumentsReceived);
    const QStringList files{QStringLiteral("/Applications/Mail.app"), QStringLiteral("/opt/ünïcode tool")};
    auto forwarding = forwardInBackground(socketPath(), files);
    ASSERT_TRUE(received.wait(10000));
    EXPECT_EQ(received.takeFirst().at(0).toStringList(), files);
    EXPECT_EQ(forwarding.get(), SingleInstance::Forwarding::forwarded);

    // Without files the running one is asked to show its window.
    auto showing = forwardInBackground(socketPath(), {});
    ASSERT_TRUE(received.wait(10000));
    EXPECT_TRUE(received.takeFirst().at(0).toStringList().isEmpty());
    EXPECT_EQ(showing.get(), SingleInstance::Forwarding::forwarded);

    // A second instance cannot take over the name while the first answers.
    EXPECT_FALSE(SingleInstance(socketPath()).listen());
}

TEST_F(SingleInstanceTest, ASocketLeftByACrashedInstanceIsReplaced) {
    // A socket file nobody listens on, as a crashed instance leaves it.
    const int leftover = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(leftover, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketPath().toLocal8Bit();
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(leftover, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(leftover);

    SingleInstance later(socketPath());
    EXPECT_EQ(later.forwardToRunningInstance({QStringLiteral("/Applications/Mail.app")}, 2000),
              SingleInstance::Forwarding::noRunningInstance);
    ASSERT_TRUE(later.listen());
    QSignalSpy received(&later, &SingleInstance::argumentsReceived);
    auto forwarding = forwardInBackground(socketPath(), {QStringLiteral("/x")});
    EXPECT_TRUE(received.wait(10000));
    EXPECT_EQ(forwarding.get(), SingleInstance::Forwarding::forwarded);
}

TEST_F(SingleInstanceTest, GarbageOnTheSocketIsRefused) {
    SingleInstance running(socketPath());
    ASSERT_TRUE(running.listen());
    QSignalSpy received(&running, &SingleInstance::argumentsReceived);
    auto garbage = std::async(std::launch::async, [this] {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(5000)) {
            return false;
        }
        // A length far beyond any list of files.
        socket.write(QByteArray("\x7f\xff\xff\xff", 4));
        socket.waitForBytesWritten(5000);
        // The running instance hangs up.
        return socket.waitForDisconnected(5000) || socket.state() == QLocalSocket::UnconnectedState;
    });
    ASSERT_EVENTUALLY(garbage.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready,
                      "the client never finished");
    EXPECT_TRUE(garbage.get());
    EXPECT_EQ(received.count(), 0);
}
