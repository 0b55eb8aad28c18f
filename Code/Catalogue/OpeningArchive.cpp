#include "Code/Catalogue/OpeningArchive.h"

#include "Code/Catalogue/QtStrings.h"

OpeningArchive::OpeningArchive(const std::filesystem::path& archive)
    : Application(QtStrings::fromPath(archive), QtStrings::fromPath(archive.filename()))
    , _archive(archive) {}

void OpeningArchive::setProgress(int percent) {
    if (percent != _progress) {
        _progress = percent;
        emit progressChanged();
    }
}
