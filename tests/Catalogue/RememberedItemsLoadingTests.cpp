#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/ManuallyAddedApplicationsSource.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/SecurityScopedBookmarksStore.h"

#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;
using namespace std::chrono_literals;

namespace {

QByteArray bytesOf(const std::filesystem::path& path) {
    return QByteArray(path.c_str(), static_cast<qsizetype>(path.native().size()));
}

/// An access check that blocks, as one on a hung network volume does, until released (or for at
/// most 10 s, so that a fault cannot hang the suite).
class BlockingAccess {
public:
    SecurityScopedBookmarksStore::AccessStarter starter() {
        return [state = _state](const std::filesystem::path&) {
            std::unique_lock lock(state->mutex);
            state->isBlocked = true;
            state->changed.notify_all();
            state->changed.wait_for(lock, 10s, [&] { return state->isReleased; });
            state->isBlocked = false;
            return true;
        };
    }
    bool waitUntilBlocked() {
        std::unique_lock lock(_state->mutex);
        return _state->changed.wait_for(lock, 10s, [&] { return _state->isBlocked; });
    }
    bool isBlocked() const {
        std::lock_guard lock(_state->mutex);
        return _state->isBlocked;
    }
    void release() {
        std::lock_guard lock(_state->mutex);
        _state->isReleased = true;
        _state->changed.notify_all();
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::condition_variable changed;
        bool isBlocked = false;
        bool isReleased = false;
    };
    std::shared_ptr<State> _state = std::make_shared<State>();
};

class RememberedItemsLoading : public LoadEnvironmentTest {
protected:
    void SetUp() override { LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments()); }
    void TearDown() override {
        _access.release();
        DiskOperationQueue::shared().waitForDone();
        LoadEnvironmentTest::TearDown();
    }

    void remember(const std::filesystem::path& item) {
        QVariantMap stored = _preferences.securityScopedBookmarks();
        stored.insert(QtStrings::fromPath(item), bytesOf(item));
        _preferences.setSecurityScopedBookmarks(stored);
    }

    Preferences _preferences{Preferences::InMemory{}};
    BlockingAccess _access;
};

} // namespace

TEST_F(RememberedItemsLoading, AHungItemHoldsUpOnlyTheInitialLoadingAndNotQuitting) {
    const auto bundle = makeBundle(folderPath(), "Remembered.app");
    remember(bundle);
    ApplicationsSourceController::Sources sources;
    sources.startAccessing = _access.starter();
    ApplicationsSourceController controller(_preferences, std::move(sources));
    QSignalSpy grants(&controller, &ApplicationsSourceController::readPermissionsChanged);
    controller.startUpdating();

    // The controller came back while the bookmark's check blocks on the disk queue.
    ASSERT_TRUE(_access.waitUntilBlocked());
    EXPECT_FALSE(controller.initialLoadingFinished());
    EXPECT_FALSE(controller.canResetReadPermissions());
    // Quitting now gives up on the hung check instead of waiting for it.
    EXPECT_FALSE(DiskOperationQueue::stopBackgroundWork(50ms));
    EXPECT_TRUE(_access.isBlocked());

    _access.release();
    QSignalSpy finished(&controller, &ApplicationsSourceController::didFinishInitialLoading);
    ASSERT_TRUE(finished.wait(10'000));
    ASSERT_EQ(controller.applications().size(), 1u);
    EXPECT_EQ((*controller.applications().begin())->identifier(), QtStrings::fromPath(bundle));
    EXPECT_TRUE(controller.canResetReadPermissions());
    EXPECT_EQ(grants.count(), 1);
}

TEST_F(RememberedItemsLoading, GrantsChangedWhileResolvingLoseNothingAndRevokeEverything) {
    const auto remembered = makeBundle(folderPath(), "Remembered.app");
    const auto added = makeBundle(folderPath(), "Added.app");
    for (const bool revokes : {false, true}) {
        SCOPED_TRACE(revokes ? "revoked" : "added");
        _preferences.removeSecurityScopedBookmarks();
        remember(remembered);
        BlockingAccess access;
        auto store = std::make_shared<SecurityScopedBookmarksStore>(_preferences, access.starter());
        ManuallyAddedApplicationsSource source(store);
        bool didLoad = false;
        source.loadRememberedItems([&] { didLoad = true; });
        ASSERT_TRUE(access.waitUntilBlocked());
        EXPECT_TRUE(source.isLoadingRememberedItems());

        source.add({ZRURL::fileURL(added, true)});
        // What is saved meanwhile keeps the item still being resolved.
        EXPECT_EQ(_preferences.securityScopedBookmarks().size(), 2);
        if (revokes) {
            source.removeAll();
        }
        access.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return didLoad; }, 10'000));
        EXPECT_FALSE(source.isLoadingRememberedItems());
        EXPECT_EQ(store->allFileURLs().size(), revokes ? 0u : 2u);
        EXPECT_EQ(source.applications().size(), revokes ? 0u : 2u);
        EXPECT_EQ(_preferences.securityScopedBookmarks().size(), revokes ? 0 : 2);
    }
}
