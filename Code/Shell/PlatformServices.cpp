#include "Code/Shell/PlatformServices.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QStringList>

namespace {

/// A file URL of the path's exact bytes (a name need not be valid UTF-8).
QUrl fileURL(const std::filesystem::path& path) {
    const QByteArray bytes(path.c_str(), static_cast<qsizetype>(path.native().size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace

bool DesktopPlatformServices::openURL(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void DesktopPlatformServices::showItemsInFileManager(const std::vector<std::filesystem::path>& paths) {
    if (paths.empty()) {
        return;
    }
    QStringList uris;
    for (const auto& path : paths) {
        uris.append(fileURL(path).toString(QUrl::FullyEncoded));
    }
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();
    // Asked without waiting: the answer (or its absence) arrives through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 5000), qApp);
    const QUrl folder = fileURL(paths.front().parent_path());
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
