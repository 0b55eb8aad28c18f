#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/FileDialogOpenPanelPresenter.h"

#include <QFileDialog>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace {

/// Chooses `chosen` in the panel `request` opens and returns what the panel reported.
std::vector<std::filesystem::path> choose(const OpenPanelPresenter::Request& request, const QString& chosen) {
    QWidget window;
    FileDialogOpenPanelPresenter presenter(&window);
    std::vector<std::filesystem::path> reported;
    presenter.showOpenPanel(request,
                            [&](const std::vector<std::filesystem::path>& paths) { reported = paths; });
    auto* dialog = window.findChild<QFileDialog*>();
    EXPECT_NE(dialog, nullptr);
    if (dialog != nullptr) {
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    }
    return reported;
}

TEST(FileDialogOpenPanelPresenter, AddingApplicationsTakesDownloadsAsWellAsBundles) {
    QTemporaryDir folder;
    const auto root = QtStrings::toPath(folder.path());
    std::filesystem::create_directories(root / "Example.app/Contents");
    std::ofstream(root / "Example.dmg") << "disk image";
    std::ofstream(root / "Notes.txt") << "notes";

    OpenPanelPresenter::Request adding;
    adding.choosesFiles = true;
    adding.directory = root;
    EXPECT_EQ(choose(adding, QtStrings::fromPath(root / "Example.dmg")),
              std::vector<std::filesystem::path>{root / "Example.dmg"});
    EXPECT_EQ(choose(adding, QtStrings::fromPath(root / "Example.app")),
              std::vector<std::filesystem::path>{root / "Example.app"});
    EXPECT_TRUE(choose(adding, QtStrings::fromPath(root / "Notes.txt")).empty());

    // Granting a folder takes folders only.
    OpenPanelPresenter::Request granting;
    granting.choosesFiles = false;
    granting.choosesDirectories = true;
    granting.directory = root;
    EXPECT_TRUE(choose(granting, QtStrings::fromPath(root / "Example.dmg")).empty());
}

} // namespace
