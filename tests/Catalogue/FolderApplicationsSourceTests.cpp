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

    /// Starts the source and waits for the handler's calls, which come on the main thread with the
    /// source; returns each call's flag.
    static std::vector<bool> startAndWait(FolderApplicationsSource& source, int scans = 1) {
        std::vector<bool> flags;
        for (int scan = 0; scan < scans; ++scan) {
            source.startUpdating([&](AsyncApplicationsSource& reporting, bool mayEndInitialLoading) {
                EXPECT_EQ(&reporting, &source);
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                flags.push_back(mayEndInitialLoading);
            });
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return flags.size() == static_cast<std::size_t>(scans); }, 10000));
        return flags;
    }
};

} // namespace

TEST_F(FolderApplicationsSourceTest, FindsBundlesInSubfoldersButNotInsideBundlesFilesOrLinks) {
    namespace fs = std::filesystem;
    const auto applications = folderPath() / "Applications";
    const auto editor = makeBundle(applications, "Editor.app");
    const auto terminal = makeBundle(applications / "Utilities", "Terminal.app");
    makeBundle(editor / "Contents/Helpers", "Helper.app");
    makeBundle(applications / "Kit.framework/Versions/A", "Inner.app");
    fs::create_directories(applications / "Empty Folder");
    const auto real = makeBundle(folderPath() / "Elsewhere", "Linked.app");
    makeBundle(folderPath() / "Elsewhere/Deeper", "Deep.app");
    writeFile(applications / "Plain.app", "not a folder");
    fs::permissions(applications / "Plain.app", fs::perms::owner_exec, fs::perm_options::add);
    writeFile(applications / "tool", "#!/bin/sh\n");
    fs::create_directory_symlink(real, applications / "Linked.app");
    fs::create_directory_symlink(folderPath() / "Elsewhere", applications / "Elsewhere");
    // A link back up would trap a walk that followed links.
    fs::create_directory_symlink(applications, applications / "Loop");
    // Names that are not UTF-8 keep their bytes; a bundle among many files is found.
    const auto notUTF8 = makeBundle(applications / std::string("Dir\xff"), std::string("Caf\xe9.app"));
    const auto needle = makeBundle(applications / "Crowded", "Needle.app");
    for (int index = 0; index < 20000; ++index) {
        std::ofstream(applications / "Crowded" / ("file" + std::to_string(index)));
    }

    const auto source = FolderApplicationsSource::make({folderURL(applications)});
    EXPECT_FALSE(source->isInitialUpdateFinished());
    EXPECT_EQ(startAndWait(*source), std::vector<bool>{true});
    EXPECT_TRUE(source->isInitialUpdateFinished());
    EXPECT_EQ(identifiers(source->applications()),
              (std::set<QString>{QtStrings::fromPath(editor), QtStrings::fromPath(terminal),
                                 QtStrings::fromPath(notUTF8), QtStrings::fromPath(needle)}));
    // Removed here, since the temporary folder's own clean-up goes by decoded names.
    fs::remove_all(applications / std::string("Dir\xff"));
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
