#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadState.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/ApplicationIconCache.h"
#include "Shell/ShellTestSupport.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

/// Writes a 256-pixel square of `colour` as the bundle's icon, last modified at `seconds` past the epoch.
void writeIcon(const std::filesystem::path& bundle, Qt::GlobalColor colour, long seconds) {
    QImage picture(256, 256, QImage::Format_ARGB32);
    picture.fill(colour);
    const auto file = bundle / "Contents/Resources/App.icns";
    ASSERT_TRUE(picture.save(QtStrings::fromPath(file), "PNG"));
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

} // namespace

TEST(ApplicationIconCache, KeepsListIconsAtTheDrawnSizeAndNoticesAnIconReplacedInPlace) {
    QTemporaryDir folder;
    const auto bundle = std::filesystem::path(folder.path().toStdString()) / "Icon.app";
    std::filesystem::create_directories(bundle / "Contents/Resources");
    std::ofstream(bundle / "Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIconFile</key><string>App</string></dict></plist>\n";
    writeIcon(bundle, Qt::red, 1'000'000);
    const auto application = InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true));
    ApplicationIconCache cache;
    QSignalSpy decoded(&cache, &ApplicationIconCache::iconDecoded);
    const auto decodedIcon = [&](int size) {
        (void)cache.icon(*application, size);
        EXPECT_EVENTUALLY(cache.hasDecodedIcon(*application, size), "the icon was never decoded");
        return cache.icon(*application, size);
    };

    for (const qreal density : {1.0, 2.0}) {
        const int size = ApplicationIconCache::listIconSize(density);
        const QImage icon = decodedIcon(size);
        EXPECT_EQ(icon.size(), QSize(size, size)) << "density " << density;
        EXPECT_EQ(icon.pixelColor(size / 2, size / 2), QColor(Qt::red));
    }

    // Updated in place: the same path, a new picture and modification time. The application reads
    // its bundle again with its next load.
    writeIcon(bundle, Qt::blue, 2'000'000);
    application->readLumoraInBackground();
    ASSERT_EVENTUALLY(application->lumoraLoadState().stateCase() != LumoraLoadState::Case::loadPending,
                      "the load never ended");
    const int size = ApplicationIconCache::listIconSize(1.0);
    EXPECT_FALSE(cache.hasDecodedIcon(*application, size));
    EXPECT_EQ(decodedIcon(size).pixelColor(size / 2, size / 2), QColor(Qt::blue));
}
