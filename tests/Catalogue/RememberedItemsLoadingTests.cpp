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
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;
using namespace std::chrono_literals;

namespace {

/// An access check that blocks, as one on a hung network volume does, until the gate opens.
SecurityScopedBookmarksStore::AccessStarter accessThrough(std::shared_ptr<Gate> gate) {
    return [gate](const std::filesystem::path&) {
        gate->enter();
        return true;
    };
}

class RememberedItemsLoading : public LoadEnvironmentTest {
protected:
    void SetUp() override { LumoraLoadEnvironment::setCurrent(environmentWithoutDocuments()); }
    void TearDown() override {
        _gate->open();
        DiskOperationQueue::shared().waitForDone();
        LoadEnvironmentTest::TearDown();
    }

    void remember(const std::filesystem::path& item) {
        QVariantMap stored = _preferences.securityScopedBookmarks();
        stored.insert(QtStrings::fromPath(item), bytesOf(item));
        _preferences.setSecurityScopedBookmarks(stored);
    }

    Preferences _preferences{Preferences::InMemory{}};
    std::shared_ptr<Gate> _gate = std::make_shared<Gate>();
};

} // namespace

TEST_F(RememberedItemsLoading, AHungItemHoldsUpOnlyTheInitialLoadingAndNotQuitting) {
    const auto bundle = makeBundle(folderPath(), "Remembered.app");
    remember(bundle);
    ApplicationsSourceController::Sources sources;
    sources.startAccessing = accessThrough(_gate);
    ApplicationsSourceController controller(_preferences, std::move(sources));
    QSignalSpy grants(&controller, &ApplicationsSourceController::readPermissionsChanged);
    controller.startUpdating();

    // The controller came back while the bookmark's check blocks on the disk queue.
    ASSERT_TRUE(_gate->waitUntilHolding(1));
    EXPECT_FALSE(controller.initialLoadingFinished());
    EXPECT_FALSE(controller.canResetReadPermissions());
    // Quitting now gives up on the hung check instead of waiting for it.
    EXPECT_FALSE(DiskOperationQueue::stopBackgroundWork(50ms));
    EXPECT_EQ(_gate->holding(), 1);

    _gate->open();
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
        const auto gate = std::make_shared<Gate>();
        auto store = std::make_shared<SecurityScopedBookmarksStore>(_preferences, accessThrough(gate));
        ManuallyAddedApplicationsSource source(store);
        bool didLoad = false;
        source.loadRememberedItems([&] { didLoad = true; });
        ASSERT_TRUE(gate->waitUntilHolding(1));
        EXPECT_TRUE(source.isLoadingRememberedItems());

        source.add({ZRURL::fileURL(added, true)});
        // What is saved meanwhile keeps the item still being resolved.
        EXPECT_EQ(_preferences.securityScopedBookmarks().size(), 2);
        if (revokes) {
            source.removeAll();
        }
        gate->open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return didLoad; }, 10'000));
        EXPECT_FALSE(source.isLoadingRememberedItems());
        EXPECT_EQ(store->allFileURLs().size(), revokes ? 0u : 2u);
        EXPECT_EQ(source.applications().size(), revokes ? 0u : 2u);
        EXPECT_EQ(_preferences.securityScopedBookmarks().size(), revokes ? 0 : 2);
    }
}
