#include "Code/Shell/PlatformServices.h"

#include "Code/Catalogue/QtStrings.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
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
    // Asked without waiting: the answer (or its absence) arrives through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 5000), qApp);
    const QUrl folder = QUrl::fromLocalFile(QtStrings::fromPath(paths.front().parent_path()));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher* call) {
                         if (call->isError()) {
                             QDesktopServices::openUrl(folder);
                         }
                         call->deleteLater();
                     });
}

void DesktopPlatformServices::beep() {
    QApplication::beep();
}
