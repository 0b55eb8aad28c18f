#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/QtStrings.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

class FolderApplicationsSourceTest : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        // The scans are under test, not the loads: every load finds nothing.
        LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments());
    }

    void TearDown() override {
        DiskOperationQueue::shared().waitForDone();
        LoadEnvironmentTest::TearDown();
    }

    static ZRURL folderURL(const std::filesystem::path& path) { return ZRURL::fileURL(path, true); }

    static std::set<QString> identifiers(const ApplicationsSource::Applications& applications) {
        std::set<QString> result;
        for (const auto& application : applications) {
            result.insert(application->identifier());
        }
        return result;
    }

    /// Starts the source and waits for the handler's calls; returns each call's flag.
    static std::vector<bool> startAndWait(FolderApplicationsSource& source, int scans = 1) {
        std::vector<bool> flags;
        for (int scan = 0; scan < scans; ++scan) {
            source.startUpdating([&flags](AsyncApplicationsSource&, bool mayEndInitialLoading) {
                flags.push_back(mayEndInitialLoading);
            });
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return flags.size() == static_cast<std::size_t>(scans); }, 10000));
        return flags;
    }
};

} // namespace

TEST_F(FolderApplicationsSourceTest, FindsBundlesInSubfoldersButNotInsideBundles) {
    const auto applications = folderPath() / "Applications";
    const auto editor = makeBundle(applications, "Editor.app");
    const auto terminal = makeBundle(applications / "Utilities", "Terminal.app");
    makeBundle(editor / "Contents/Helpers", "Helper.app");
    makeBundle(applications / "Kit.framework/Versions/A", "Inner.app");
    std::filesystem::create_directories(applications / "Empty Folder");

    const auto source = FolderApplicationsSource::make({folderURL(applications)});
    EXPECT_FALSE(source->isInitialUpdateFinished());
    EXPECT_EQ(startAndWait(*source), std::vector<bool>{true});
    EXPECT_TRUE(source->isInitialUpdateFinished());
    EXPECT_EQ(identifiers(source->applications()),
              (std::set<QString>{QtStrings::fromPath(editor), QtStrings::fromPath(terminal)}));
}

TEST_F(FolderApplicationsSourceTest, IgnoresFilesLinksAndNonBundles) {
    const auto applications = folderPath() / "Applications";
    const auto real = makeBundle(folderPath() / "Elsewhere", "Linked.app");
    makeBundle(folderPath() / "Elsewhere/Deeper", "Deep.app");
    writeFile(applications / "Plain.app", "not a folder");
    std::filesystem::permissions(applications / "Plain.app", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    writeFile(applications / "tool", "#!/bin/sh\n");
    std::filesystem::create_directory_symlink(real, applications / "Linked.app");
    std::filesystem::create_directory_symlink(folderPath() / "Elsewhere", applications / "Elsewhere");
    // A link back up would trap a walk that followed links.
    std::filesystem::create_directory_symlink(applications, applications / "Loop");
    const auto found = makeBundle(applications, "Found.app");

    EXPECT_EQ(identifiers(FolderApplicationsSource::applicationsInFolders({folderURL(applications)})),
              std::set<QString>{QtStrings::fromPath(found)});
}

TEST_F(FolderApplicationsSourceTest, MissingAndUnreadableFoldersContributeNothing) {
    const auto present = makeBundle(folderPath() / "Present", "Present.app");
    const auto locked = folderPath() / "Locked";
    makeBundle(locked, "Hidden.app");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const auto source = FolderApplicationsSource::make(
        {folderURL(folderPath() / "Missing"), folderURL(locked), folderURL(folderPath() / "Present"),
         folderURL(present / "Contents/Info.plist")});
    EXPECT_EQ(startAndWait(*source), std::vector<bool>{true});
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    // Root reads the locked folder anyway; anyone else finds nothing there.
    EXPECT_TRUE(identifiers(source->applications()).contains(QtStrings::fromPath(present)));
    EXPECT_LE(source->applications().size(), 2u);
}

TEST_F(FolderApplicationsSourceTest, HandlesNamesThatAreNotUTF8) {
    const std::string name = std::string("Caf\xe9") + ".app";
    const auto bundle = makeBundle(folderPath() / std::string("Dir\xff"), name);
    const auto found = FolderApplicationsSource::applicationsInFolders({folderURL(folderPath())});
    ASSERT_EQ(found.size(), 1u);
    const auto application = std::dynamic_pointer_cast<InstalledApplication>(*found.begin());
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->bundleURL().path(), bundle);
    // Removed here, since the temporary folder's own clean-up goes by decoded names.
    std::filesystem::remove_all(folderPath() / std::string("Dir\xff"));
}

TEST_F(FolderApplicationsSourceTest, EachStartScansAgainAndReportsTrue) {
    const auto applications = folderPath() / "Applications";
    const auto first = makeBundle(applications, "First.app");
    const auto source = FolderApplicationsSource::make({folderURL(applications)});
    EXPECT_EQ(startAndWait(*source), std::vector<bool>{true});
    const auto second = makeBundle(applications, "Second.app");
    EXPECT_EQ(startAndWait(*source), std::vector<bool>{true});
    EXPECT_EQ(identifiers(source->applications()),
              (std::set<QString>{QtStrings::fromPath(first), QtStrings::fromPath(second)}));
    EXPECT_EQ(startAndWait(*source, 2), (std::vector<bool>{true, true}));
}

TEST_F(FolderApplicationsSourceTest, HandlerRunsOnTheMainThreadWithTheSource) {
    makeBundle(folderPath(), "One.app");
    const auto source = FolderApplicationsSource::make({folderURL(folderPath())});
    AsyncApplicationsSource* reported = nullptr;
    QThread* thread = nullptr;
    source->startUpdating([&](AsyncApplicationsSource& from, bool) {
        reported = &from;
        thread = QThread::currentThread();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return reported != nullptr; }, 10000));
    EXPECT_EQ(reported, source.get());
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());
}

TEST_F(FolderApplicationsSourceTest, StoppedSourceStoresTheResultButReportsNothing) {
    const auto bundle = makeBundle(folderPath(), "Quiet.app");
    const auto source = FolderApplicationsSource::make({folderURL(folderPath())});
    int calls = 0;
    source->startUpdating([&](AsyncApplicationsSource&, bool) { ++calls; });
    source->stopUpdating();
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->isInitialUpdateFinished(); }, 10000));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(identifiers(source->applications()), std::set<QString>{QtStrings::fromPath(bundle)});
}

TEST_F(FolderApplicationsSourceTest, ScanThatOutlivesItsSourceDoesNothing) {
    makeBundle(folderPath(), "Orphan.app");
    bool called = false;
    {
        const auto source = FolderApplicationsSource::make({folderURL(folderPath())});
        source->startUpdating([&](AsyncApplicationsSource&, bool) { called = true; });
    }
    DiskOperationQueue::shared().waitForDone();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(called);
}

TEST_F(FolderApplicationsSourceTest, TwoSourcesShareOneInstancePerBundle) {
    const auto bundle = makeBundle(folderPath() / "Shared", "Shared.app");
    const auto first = FolderApplicationsSource::make({folderURL(folderPath() / "Shared")});
    const auto second = FolderApplicationsSource::make({folderURL(folderPath())});
    startAndWait(*first);
    startAndWait(*second);
    ASSERT_EQ(first->applications().size(), 1u);
    ASSERT_EQ(second->applications().size(), 1u);
    EXPECT_EQ(first->applications().begin()->get(), second->applications().begin()->get());
    EXPECT_EQ(first->applications().begin()->get(),
              InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true)).get());
}

TEST_F(FolderApplicationsSourceTest, ManyEntriesInOneFolder) {
    const auto applications = folderPath() / "Crowded";
    std::filesystem::create_directories(applications);
    for (int index = 0; index < 20000; ++index) {
        std::ofstream(applications / ("file" + std::to_string(index)));
    }
    const auto bundle = makeBundle(applications, "Needle.app");
    EXPECT_EQ(identifiers(FolderApplicationsSource::applicationsInFolders({folderURL(applications)})),
              std::set<QString>{QtStrings::fromPath(bundle)});
}

TEST(DiskOperationQueue, IsOneNamedPoolOfFive) {
    auto& queue = DiskOperationQueue::shared();
    EXPECT_EQ(&queue, &DiskOperationQueue::shared());
    EXPECT_EQ(queue.maxThreadCount(), 5);
    EXPECT_EQ(queue.objectName(),
              "org.lumoraviewer.LumoraViewer.LumoraViewer.AsyncApplicationsSource.DiskOperationQueue");
}
