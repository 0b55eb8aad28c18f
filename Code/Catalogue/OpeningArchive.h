#pragma once

#include "Code/Catalogue/Application.h"

#include <filesystem>

/// The row of an archive being opened (extracted on the disk queue): it stands in the list until
/// the applications inside take its place. Its name is the archive's file name; the window shows
/// it as "Opening Example.dmg…".
class OpeningArchive : public Application {
    Q_OBJECT

public:
    explicit OpeningArchive(const std::filesystem::path& archive);

    const std::filesystem::path& archive() const { return _archive; }
    /// How far the extraction is, in percent; -1 until 7-Zip tells.
    int progress() const { return _progress; }
    void setProgress(int percent);

    QString bundleIdentifier() const override { return {}; }
    bool isLumoraLoaded() const override { return false; }
    QString searchString() const override { return displayName(); }
    QString iconFilePath() const override { return {}; }

signals:
    void progressChanged();

private:
    std::filesystem::path _archive;
    int _progress = -1;
};
