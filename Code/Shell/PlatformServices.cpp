#include "Code/Shell/PlatformServices.h"

#include "Code/Catalogue/QtStrings.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>

bool DesktopPlatformServices::openURL(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void DesktopPlatformServices::showItemsInFileManager(const std::vector<std::filesystem::path>& paths) {
    if (paths.empty()) {
        return;
    }
    QStringList uris;
    for (const auto& path : paths) {
        uris.append(QUrl::fromLocalFile(QtStrings::fromPath(path)).toString(QUrl::FullyEncoded));
    }
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const auto folder = paths.front().parent_path();
        QDesktopServices::openUrl(QUrl::fromLocalFile(QtStrings::fromPath(folder)));
    }
}

void DesktopPlatformServices::beep() {
    QApplication::beep();
}
