#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>

// Loads report back through the event loop, so the tests run with an application object and wait
// on its events. Whatever the tests write stays in the build tree, and texts are in English.
int main(int argc, char** argv) {
    const std::string home = LUMORA_CATALOGUE_TEST_HOME;
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LANGUAGE", "en", 1);
    // The crypto library starts as the programs start it, before Qt's network stack could.
    ZRCryptoLibrary::initialize();
    ::testing::InitGoogleMock(&argc, argv);
    QCoreApplication application(argc, argv);
    const int status = RUN_ALL_TESTS();
    // Walks and loads a test left running use process-wide caches: they end before those go.
    DiskOperationQueue::shared().waitForDone();
    InstalledApplication::lumoraLoadQueue().waitForDone();
    return status;
}
