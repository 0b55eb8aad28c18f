#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Archives/ChildProcess.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Support/ApplicationListStandIns.h"

#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

namespace fs = std::filesystem;

/// Archives handed to the list: each is opened into the extraction cache and its applications
/// join the list, loaded like any other.
class ArchiveApplicationsTest : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        if (!ChildProcess::findProgram("7zz", path != nullptr ? path : "")) {
            GTEST_SKIP() << "7zz is not installed";
        }
        LumoraLoadEnvironment::setCurrent(environmentLoading(
            [](const ZRURL& url) { return makeDocument(url.path() / "Contents/Lumora.plist"); }));
        _preferences.setSpotlightApplicationsSourceEnabled(false);
        _preferences.setApplicationsFolderApplicationsSourceEnabled(false);
        _preferences.setPreviewApplicationsSourceEnabled(false);
        _preferences.setManuallyAddedApplicationsSourceEnabled(true);
    }

    void TearDown() override {
        _controller.reset();
        LoadEnvironmentTest::TearDown();
    }

    ApplicationsSourceController& startController() {
        _controller.reset();
        ApplicationsSourceController::Sources sources;
        sources.startAccessing = [](const fs::path&) { return true; };
        sources.archiveExtractionCache = std::make_shared<ArchiveExtractionCache>(folderPath() / "cache");
        _controller = std::make_unique<ApplicationsSourceController>(_preferences, sources);
        _controller->startUpdating();
        _controller->waitForInitialLoading();
        return *_controller;
    }

    /// A zip archive of bundles named by their paths inside it.
    fs::path zip(const std::string& name, const std::vector<std::string>& bundles) {
        const auto tree = folderPath() / ("tree-" + name);
        fs::create_directories(tree);
        for (const auto& bundle : bundles) {
            makeBundle(tree / fs::path(bundle).parent_path(), fs::path(bundle).filename().string());
        }
        writeFile(tree / "ReadMe.txt", "read me\n");
        const auto archive = folderPath() / name;
        ChildProcess::Options options;
        options.arguments = {"7zz", "a", "-bd", "--", archive.string(), "."};
        options.workingDirectory = tree;
        EXPECT_TRUE(ChildProcess::run(options).succeeded());
        return archive;
    }

    Preferences _preferences{Preferences::InMemory{}};
    std::unique_ptr<ApplicationsSourceController> _controller;
};

TEST_F(ArchiveApplicationsTest, ListsTheApplicationsInsideAndSelectsTheFirstThenReopensThemAtTheNextStart) {
    const auto archive =
        zip("Example.zip", {"Editor.app", "Tools/Viewer.app", "Editor.app/Contents/Helper.app"});
    auto& controller = startController();
    ASSERT_TRUE(controller.canAdd(archive));
    controller.addWithSecurityScopedFileURLs({ZRURL::fileURL(archive, false)}, true);
    // While it opens, one row stands for it.
    ASSERT_EQ(controller.arrayController().rowCount(), 1);
    const auto row = controller.arrayController().index(0);
    EXPECT_EQ(row.data(Qt::DisplayRole).toString(), "Example.zip");
    EXPECT_EQ(row.data(ApplicationsArrayController::KindRole).value<ApplicationsArrayController::Kind>(),
              ApplicationsArrayController::Kind::openingArchive);
    EXPECT_EQ(row.data(ApplicationsArrayController::BadgeRole).value<ApplicationsArrayController::Badge>(),
              ApplicationsArrayController::Badge::loadPending);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return controller.arrayController().selectedInstalledApplication() != nullptr; }, 20000));
    drainLoads();
    EXPECT_EQ(arrangedNames(controller.arrayController()),
              (QStringList{QStringLiteral("Editor"), QStringLiteral("Viewer")}));

    const auto selected = controller.arrayController().selectedInstalledApplication();
    ASSERT_TRUE(selected->archiveOrigin());
    EXPECT_EQ(selected->archiveOrigin()->archive, archive);
    EXPECT_EQ(selected->archiveOrigin()->pathInArchive, "Editor.app");
    EXPECT_EQ(selected->revealedPath(), archive);
    EXPECT_EQ(selected->pageHeaderFacts().archiveOrigin->archive, archive);
    // Extracted below the cache, and loaded through the same path as any other bundle.
    EXPECT_EQ(selected->bundleURL().path().string().rfind((folderPath() / "cache").string(), 0), 0U);
    EXPECT_TRUE(selected->isLumoraLoaded());

    // The archive is remembered with the hand-picked applications; the first list of the next
    // start waits for it.
    auto& next = startController();
    EXPECT_EQ(arrangedNames(next.arrayController()),
              (QStringList{QStringLiteral("Editor"), QStringLiteral("Viewer")}));
}

TEST_F(ArchiveApplicationsTest, AnArchiveThatAddsNothingIsRefusedWithItsReason) {
    struct Case {
        fs::path archive;
        QString failureName;
    };
    const std::vector<Case> cases{{zip("Empty.zip", {}), QStringLiteral("noApplication")},
                                  {folderPath() / "Broken.dmg", QStringLiteral("cannotOpen")}};
    writeFile(folderPath() / "Broken.dmg", "not a disk image\n");
    auto& controller = startController();
    QSignalSpy refused(&controller, &ApplicationsSourceController::archiveRefused);
    for (const auto& each : cases) {
        SCOPED_TRACE(each.archive.filename().string());
        refused.clear();
        controller.addWithSecurityScopedFileURLs({ZRURL::fileURL(each.archive, false)}, true);
        ASSERT_TRUE(refused.wait(20000));
        EXPECT_EQ(refused.front().at(0).toString(), QtStrings::fromPath(each.archive));
        EXPECT_EQ(refused.front().at(1).toString(), each.failureName);
        EXPECT_FALSE(controller.hasApplications());
    }
}

TEST_F(ArchiveApplicationsTest, WithoutAnExtractionCacheArchivesAreNotAdded) {
    const auto archive = zip("Example.zip", {"Editor.app"});
    ApplicationsSourceController controller(_preferences, {});
    EXPECT_FALSE(controller.canAdd(archive));
    EXPECT_TRUE(controller.canAdd(makeBundle(folderPath(), "Plain.app")));
}

} // namespace
