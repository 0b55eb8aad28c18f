#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/ShellAnimation.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <QApplication>
#include <QThreadPool>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>

#include <sys/stat.h>

// The pieces of the window run with an application object on the offscreen platform. Whatever the
// tests write stays in the build tree, and texts are in English.
int main(int argc, char** argv) {
    const std::string home = LUMORA_SHELL_TEST_HOME;
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    const std::string runtime = home + "/runtime";
    ::mkdir(home.c_str(), 0755);
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The tests run as root in CI, where the web engine's sandbox cannot start.
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    ::setenv("LANGUAGE", "en", 1);
    // The crypto library starts as the programs start it, before Qt's network stack could.
    ZRCryptoLibrary::initialize();
    ::testing::InitGoogleMock(&argc, argv);
    // The page scheme has to be known before the web engine starts with the application object.
    DocumentWebView::registerPageScheme();
    QApplication application(argc, argv);
    // The window rests in its final state at once; tests that watch a fade turn them on.
    ShellAnimation::setEnabled(false);
    const int status = RUN_ALL_TESTS();
    // Walks and loads a test left running use process-wide caches: they end before those go.
    DiskOperationQueue::shared().waitForDone();
    InstalledApplication::lumoraLoadQueue().waitForDone();
    return status;
}
