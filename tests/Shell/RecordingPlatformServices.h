#pragma once

#include "Code/Shell/PlatformServices.h"

#include <QList>
#include <QObject>
#include <QUrl>
#include <filesystem>
#include <vector>

/// Records what the window asks of the desktop instead of doing it.
class RecordingPlatformServices : public QObject, public PlatformServices {
    Q_OBJECT

public:
    bool openURL(const QUrl& url) override {
        openedURLs.append(url);
        emit opened();
        return true;
    }
    void showItemsInFileManager(const std::vector<std::filesystem::path>& paths) override {
        shownItems.push_back(paths);
    }
    void beep() override {
        ++beeps;
        emit beeped();
    }

    QList<QUrl> openedURLs;
    std::vector<std::vector<std::filesystem::path>> shownItems;
    int beeps = 0;

signals:
    void opened();
    void beeped();
};
