#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/SpotlightApplicationsSource.h"

#include <QTest>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

using namespace CatalogueTestSupport;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

constexpr int generousTimeout = 20000;

class SpotlightApplicationsSourceTest : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments());
        _scope = folderPath() / "Scope";
        fs::create_directories(_scope);
        // The real home's Library and the real /private are out of reach: stand-ins below the
        // temporary folder take their place.
        SpotlightApplicationsSource::setIgnoredPathPrefixesForTesting(
            SpotlightApplicationsSource::ignoredPathPrefixesForHomeFolder((_scope / "Home").native()));
    }

    void TearDown() override {
        for (const auto& source : _sources) {
            source->stopUpdating();
        }
        _sources.clear();
        DiskOperationQueue::shared().waitForDone();
        SpotlightApplicationsSource::setIgnoredPathPrefixesForTesting(std::nullopt);
        LoadEnvironmentTest::TearDown();
    }

    std::shared_ptr<SpotlightApplicationsSource> makeSource(std::vector<fs::path> scopes = {}) {
        auto source =
            SpotlightApplicationsSource::make(scopes.empty() ? std::vector<fs::path>{_scope} : scopes);
        source->setCoalescingDelay(std::chrono::milliseconds(50));
        // Batches would come or not depending on the machine's speed.
        source->setFirstWalkBatchDelays(std::nullopt);
        _sources.push_back(source);
        return source;
    }

    void start(SpotlightApplicationsSource& source) {
        source.startUpdating([this](AsyncApplicationsSource&, bool flag) { _flags.push_back(flag); });
    }

    /// Starts the source and waits for its initial result.
    std::shared_ptr<SpotlightApplicationsSource> started(std::vector<fs::path> scopes = {}) {
        auto source = makeSource(std::move(scopes));
        start(*source);
        EXPECT_TRUE(waitForFlags(1));
        return source;
    }

    bool waitForFlags(std::size_t count) {
        return QTest::qWaitFor([&] { return _flags.size() >= count; }, generousTimeout);
    }

    /// Waits until the listed bundles are exactly `expected`.
    static bool waitForPaths(const SpotlightApplicationsSource& source, const std::set<fs::path>& expected) {
        return QTest::qWaitFor([&] { return paths(source) == expected; }, generousTimeout);
    }

    static std::set<fs::path> paths(const SpotlightApplicationsSource& source) {
        std::set<fs::path> result;
        for (const auto& application : source.applications()) {
            result.insert(static_cast<const InstalledApplication&>(*application).bundleURL().path());
        }
        return result;
    }

    fs::path _scope;
    std::vector<bool> _flags;
    std::vector<std::shared_ptr<SpotlightApplicationsSource>> _sources;
};

} // namespace

TEST_F(SpotlightApplicationsSourceTest, GathersNestedBundlesButNothingInsidePackagesHiddenFoldersOrLinks) {
    const auto editor = makeBundle(_scope, "Editor.app");
    const auto deep = makeBundle(_scope / "Tools/More Tools", "Deep.APP");
    makeBundle(editor / "Contents/Helpers", "Helper.app");
    makeBundle(_scope / "Kit.framework/Versions/A", "InFramework.app");
    makeBundle(_scope / "Extras.bundle", "InBundle.app");
    makeBundle(_scope / ".hidden", "Hidden.app");
    makeBundle(_scope / "Tools/.cache", "Cached.app");
    // Link loops, links to the root and to bundles, and files named like bundles.
    fs::create_directory_symlink(_scope, _scope / "Tools/Loop");
    fs::create_directory_symlink("/", _scope / "Root");
    fs::create_directory_symlink(editor, _scope / "Linked.app");
    writeFile(_scope / "File.app", "not a folder");
    fs::create_symlink(_scope / "File.app", _scope / "Link to File.app");
    // A hidden scope is walked all the same: only folders below it are passed over.
    const auto hiddenScope = folderPath() / ".config-apps";
    const auto inHiddenScope = makeBundle(hiddenScope, "Configured.app");

    // So is a scope inside a hidden folder of another scope.
    const auto inNestedScope = makeBundle(_scope / ".local/Apps", "Nested.app");
    // Names that are not UTF-8 keep their exact bytes; bundles among many entries are found.
    const auto notUTF8 = makeBundle(_scope / std::string("caf\xe9"), std::string("\xff\xfe Tool.app"));
    std::set<fs::path> expected{editor, deep, inHiddenScope, inNestedScope, notUTF8};
    for (int index = 0; index < 20000; ++index) {
        const auto path =
            _scope / "Crowded" / ("entry " + std::to_string(index) + (index % 2000 == 0 ? ".app" : ""));
        if (index % 500 == 0) {
            fs::create_directories(path);
            if (index % 2000 == 0) {
                expected.insert(path);
            }
        } else {
            std::ofstream{path};
        }
    }

    const auto source = makeSource({_scope, hiddenScope, folderPath() / "Missing", _scope / ".local/Apps"});
    EXPECT_FALSE(source->isInitialUpdateFinished());
    start(*source);
    ASSERT_TRUE(waitForFlags(1));
    EXPECT_THAT(_flags, ElementsAre(true));
    EXPECT_TRUE(source->isInitialUpdateFinished());
    EXPECT_EQ(paths(*source), expected);

    fs::create_directory(_scope / std::string("caf\xe9/\x80.app"));
    expected.insert(_scope / std::string("caf\xe9/\x80.app"));
    EXPECT_TRUE(waitForPaths(*source, expected));
    // The temporary folder's own clean-up goes through UTF-16 and cannot name these.
    fs::remove_all(_scope / std::string("caf\xe9"));
}

TEST_F(SpotlightApplicationsSourceTest, IgnoresPrefixesAndTheApplicationsOfForeignVolumesThatAreNotForUsers) {
    EXPECT_THAT(SpotlightApplicationsSource::ignoredPathPrefixesForHomeFolder("/home/alice/"),
                ElementsAre("/System/Library/CoreServices/Finder.app/Contents/Applications/",
                            "/home/alice/Library/", "/private/"));
    makeBundle(_scope / "Home/Library/Application Support", "InLibrary.app");
    const auto inHome = makeBundle(_scope / "Home/Applications", "InHome.app");
    // A disk of the bundles' home platform below a scope: its users' Library folders, its
    // private folder and its system applications without a document are not listed.
    const auto disk = _scope / "Other Disk";
    fs::create_directories(disk / "System/Library/CoreServices");
    makeBundle(disk / "Users/alice/Library/Caches", "Cached.app");
    const auto shared = makeBundle(disk / "Users/Shared", "Shared.app");
    const auto userApplication = makeBundle(disk / "Users/alice/Applications", "Mine.app");
    makeBundle(disk / "private/var/folders", "Temporary.app");
    makeBundle(disk / "System/Applications", "Bare.app");
    const auto documented = makeBundle(disk / "System/Applications", "Documented.app");
    writeFile(documented / "Contents/Resources/Lumora.json", "{}");
    const auto listed = makeBundle(disk / "Applications", "Listed.app");
    // The same names outside a volume's layout are ordinary folders.
    const auto notAVolume = makeBundle(_scope / "Projects/System/Applications", "Built.app");

    const auto source = started();
    EXPECT_EQ(paths(*source),
              (std::set<fs::path>{inHome, userApplication, shared, documented, listed, notAVolume}));
}

TEST_F(SpotlightApplicationsSourceTest, FollowsAddedRenamedAndRemovedBundlesAndFolders) {
    const auto first = makeBundle(_scope, "First.app");
    const auto source = started();
    EXPECT_EQ(paths(*source), std::set<fs::path>{first});
    const auto walks = source->completedWalkCount();

    fs::create_directory(_scope / "Added.app");
    ASSERT_TRUE(waitForPaths(*source, {first, _scope / "Added.app"}));
    fs::rename(_scope / "Added.app", _scope / "Renamed.app");
    ASSERT_TRUE(waitForPaths(*source, {first, _scope / "Renamed.app"}));
    fs::remove_all(_scope / "Renamed.app");
    ASSERT_TRUE(waitForPaths(*source, {first}));

    // A folder holding a bundle, moved in whole, renamed, then removed.
    const auto outside = makeBundle(folderPath() / "Outside/Holder/Inner", "Held.app");
    fs::rename(folderPath() / "Outside/Holder", _scope / "Holder");
    ASSERT_TRUE(waitForPaths(*source, {first, _scope / "Holder/Inner/Held.app"}));
    fs::rename(_scope / "Holder", _scope / "Moved Holder");
    ASSERT_TRUE(waitForPaths(*source, {first, _scope / "Moved Holder/Inner/Held.app"}));
    // Moved away, it is no longer watched as part of the scope.
    fs::rename(_scope / "Moved Holder", folderPath() / "Away");
    ASSERT_TRUE(waitForPaths(*source, {first}));
    makeBundle(folderPath() / "Away", "Later.app");
    fs::remove_all(first);
    ASSERT_TRUE(waitForPaths(*source, {}));

    // A bundle appearing where it is not listed causes a walk but no report.
    const auto reports = _flags.size();
    const auto walksBefore = source->completedWalkCount();
    makeBundle(_scope / ".hidden", "Hidden.app");
    ASSERT_TRUE(QTest::qWaitFor([&] { return source->completedWalkCount() > walksBefore; }, generousTimeout));
    EXPECT_EQ(_flags.size(), reports);

    EXPECT_GT(source->completedWalkCount(), walks);
    ASSERT_GE(_flags.size(), 2u);
    EXPECT_TRUE(_flags.front());
    EXPECT_EQ(std::count(_flags.begin(), _flags.end(), true), 1);
}

TEST_F(SpotlightApplicationsSourceTest, AFirstWalkStillGoingListsWhatItFoundAndItsEndSettlesTheSet) {
    const auto one = makeBundle(_scope / "A", "One.app");
    const auto two = makeBundle(_scope / "B", "Two.app");
    const auto source = makeSource();
    source->setFirstWalkBatchDelays(FoundApplicationBatchSchedule::Delays{{}, {}});
    // The walk holds at whichever of A and B it reaches second, until the test has seen a batch.
    std::atomic<int> subfoldersReached = 0;
    std::atomic<bool> released = false;
    source->setFolderVisitHookForTesting([&](const std::string& folder) {
        if (folder != _scope.native() && ++subfoldersReached == 2) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!released && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
        }
    });
    start(*source);
    const bool batchArrived = waitForFlags(1);
    const auto listedDuringWalk = paths(*source);
    released = true;
    ASSERT_TRUE(batchArrived);
    EXPECT_FALSE(_flags.front());
    EXPECT_FALSE(source->isInitialUpdateFinished());
    EXPECT_EQ(listedDuringWalk.size(), 1u);
    EXPECT_TRUE(listedDuringWalk.contains(one) || listedDuringWalk.contains(two));

    ASSERT_TRUE(QTest::qWaitFor([&] { return source->isInitialUpdateFinished(); }, generousTimeout));
    EXPECT_TRUE(_flags.back());
    EXPECT_EQ(std::count(_flags.begin(), _flags.end(), true), 1);
    EXPECT_EQ(paths(*source), (std::set<fs::path>{one, two}));

    // Later walks hand over only their complete results.
    const auto reports = _flags.size();
    const auto three = makeBundle(_scope / "A", "Three.app");
    ASSERT_TRUE(waitForPaths(*source, {one, two, three}));
    EXPECT_EQ(_flags.size(), reports + 1);
}

TEST_F(SpotlightApplicationsSourceTest, StartingAgainOnlyReplacesTheHandlerAndStoppingEndsReports) {
    const auto bundle = makeBundle(_scope, "Editor.app");
    const auto source = makeSource();
    std::vector<bool> firstHandlerFlags;
    source->startUpdating([&](AsyncApplicationsSource&, bool flag) { firstHandlerFlags.push_back(flag); });
    start(*source);
    ASSERT_TRUE(waitForFlags(1));
    EXPECT_THAT(_flags, ElementsAre(true));
    EXPECT_TRUE(firstHandlerFlags.empty());

    source->stopUpdating();
    fs::create_directory(_scope / "After Stop.app");
    // A second source sees the change; the stopped one reports nothing and keeps its set.
    const auto witness = makeSource();
    std::vector<bool> witnessFlags;
    witness->startUpdating([&](AsyncApplicationsSource&, bool flag) { witnessFlags.push_back(flag); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !witnessFlags.empty(); }, generousTimeout));
    EXPECT_EQ(paths(*witness), (std::set<fs::path>{bundle, _scope / "After Stop.app"}));
    EXPECT_EQ(_flags.size(), 1u);
    EXPECT_EQ(paths(*source), std::set<fs::path>{bundle});
}

TEST_F(SpotlightApplicationsSourceTest, StopsDescendingSixtyFourLevelsBelowAScopeAndSaysSoOnce) {
    fs::path folder = _scope;
    std::set<fs::path> expected;
    for (int depth = 1; depth <= 70; ++depth) {
        folder /= "d";
        fs::create_directory(folder);
        // A folder at depth 64 is read, so a bundle in it is found; one at depth 65 is not.
        if (depth == 3 || depth == 64 || depth == 65) {
            const auto bundle = makeBundle(folder, "Level.app");
            if (depth != 65) {
                expected.insert(bundle);
            }
        }
    }
    const LogCapture log;
    const auto source = started();
    EXPECT_EQ(paths(*source), expected);
    EXPECT_EQ(log.count("64 folder levels"), 1u);
}

TEST_F(SpotlightApplicationsSourceTest, CompletesWhenFoldersVanishDuringTheWalk) {
    for (const char* name : {"A", "B", "C"}) {
        makeBundle(_scope / name / "Inner", std::string(name) + ".app");
    }
    // Whichever folder is entered first, the other two vanish (one leaving a file in its place)
    // before the walk gets to them.
    std::atomic<bool> vanished = false;
    const auto source = makeSource();
    source->setFolderVisitHookForTesting([&](const std::string& folder) {
        if (fs::path(folder).parent_path() != _scope || vanished.exchange(true)) {
            return;
        }
        std::vector<fs::path> others;
        for (const char* name : {"A", "B", "C"}) {
            if (_scope / name != fs::path(folder)) {
                others.push_back(_scope / name);
            }
        }
        fs::remove_all(others.at(0));
        fs::remove_all(others.at(1));
        writeFile(others.at(1), "now a file");
    });
    start(*source);
    ASSERT_TRUE(waitForFlags(1));
    EXPECT_EQ(paths(*source).size(), 1u);
}

TEST_F(SpotlightApplicationsSourceTest, KeepsDeliveringWhenWatchesRunOut) {
    fs::create_directories(_scope / "Unwatched/Deeper");
    const LogCapture log;
    const auto source = makeSource();
    // The scope itself gets the only watch.
    source->setMaximumWatchCount(1);
    source->setUnwatchedFolderRescanInterval(std::chrono::milliseconds(100));
    start(*source);
    ASSERT_TRUE(waitForFlags(1));
    EXPECT_EQ(log.count("out of inotify watches"), 1u);

    const auto unwatched = makeBundle(_scope / "Unwatched/Deeper", "Found Later.app");
    ASSERT_TRUE(waitForPaths(*source, {unwatched}));
    fs::create_directory(_scope / "Watched.app");
    ASSERT_TRUE(waitForPaths(*source, {unwatched, _scope / "Watched.app"}));
    fs::remove_all(_scope / "Unwatched");
    ASSERT_TRUE(waitForPaths(*source, {_scope / "Watched.app"}));
    EXPECT_EQ(log.count("out of inotify watches"), 1u);
    EXPECT_THAT(std::vector<bool>(_flags.begin(), _flags.begin() + 2), ElementsAre(true, false));
}

TEST_F(SpotlightApplicationsSourceTest, WalksAVolumeMountedBelowAScopeAndDropsItWhenUnmounted) {
    const auto volume = folderPath() / "Volume";
    const auto onVolume = makeBundle(volume / "Applications", "On Volume.app");
    const auto mountPoint = _scope / "Mounted";
    fs::create_directories(mountPoint);
    const auto local = makeBundle(_scope, "Local.app");

    const auto source = started();
    ASSERT_EQ(paths(*source), std::set<fs::path>{local});
    if (::mount(volume.c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "bind mounts need root: " << std::strerror(errno);
    }
    struct Unmount {
        fs::path path;
        bool mounted = true;
        ~Unmount() {
            if (mounted) {
                ::umount2(path.c_str(), MNT_DETACH);
            }
        }
    } unmount{mountPoint};

    const auto mounted = mountPoint / "Applications/On Volume.app";
    ASSERT_TRUE(waitForPaths(*source, {local, mounted}));
    // The volume is watched in its own right.
    fs::create_directory(volume / "Applications/Second.app");
    ASSERT_TRUE(waitForPaths(*source, {local, mounted, mountPoint / "Applications/Second.app"}));

    ASSERT_EQ(::umount2(mountPoint.c_str(), 0), 0) << std::strerror(errno);
    unmount.mounted = false;
    ASSERT_TRUE(waitForPaths(*source, {local}));
    EXPECT_TRUE(fs::exists(onVolume));
}

TEST(SpotlightApplicationsSourceDefaults, SearchScopesAreTheExistingDefaultFolders) {
    const auto scopes = SpotlightApplicationsSource::defaultSearchScopes();
    const std::set<fs::path> known{"/Applications", "/System/Applications", "/Volumes", "/media", "/mnt"};
    ASSERT_FALSE(scopes.empty());
    for (std::size_t index = 0; index < scopes.size(); ++index) {
        EXPECT_TRUE(fs::is_directory(scopes[index])) << scopes[index];
        if (index > 0) {
            EXPECT_TRUE(known.contains(scopes[index]) || scopes[index].parent_path() == "/run/media")
                << scopes[index];
        }
    }
}
