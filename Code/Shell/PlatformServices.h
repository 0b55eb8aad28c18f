#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>
#include <vector>

/// What the window asks of the desktop and cannot observe itself: opening addresses in other
/// programs, showing files in the file manager, the system beep. Tests put a recording stand-in in
/// its place.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;

    /// Opens an address with the desktop's program for it (the browser, the mail program, a file's
    /// default application). False when the desktop refused.
    virtual bool openURL(const QUrl& url) = 0;
    /// Shows the items selected in the file manager.
    virtual void showItemsInFileManager(const std::vector<std::filesystem::path>& paths) = 0;
    /// Tells the user that an action cannot be done.
    virtual void beep() = 0;

protected:
    PlatformServices() = default;
    PlatformServices(const PlatformServices&) = default;
    PlatformServices& operator=(const PlatformServices&) = default;
};

/// The real desktop: QDesktopServices, the file manager's D-Bus interface, QApplication::beep.
class DesktopPlatformServices : public PlatformServices {
public:
    bool openURL(const QUrl& url) override;
    /// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems); when none answers,
    /// opens the folder of the first item instead.
    void showItemsInFileManager(const std::vector<std::filesystem::path>& paths) override;
    void beep() override;
};
