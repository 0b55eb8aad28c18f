#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/InstalledApplicationCache.h"
#include "Code/Loading/LumoraInitializationError.h"

#include <QCoreApplication>
#include <atomic>
#include <filesystem>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

class InstalledApplicationCacheTest : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        _loads = std::make_shared<std::atomic<int>>(0);
        LumoraLoadEnvironment::setCurrent(environmentLoading([loads = _loads](const ZRURL& url) -> Lumora {
            ++*loads;
            throw Lumora::InitializationError::bundleHasNoLumora(url);
        }));
    }

    std::shared_ptr<InstalledApplication> make(const std::filesystem::path& bundle) {
        return InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true));
    }

    std::shared_ptr<std::atomic<int>> _loads;
};

} // namespace

TEST(InstalledApplicationCacheKey, IsTheNormalisedPathsBytes) {
    using Cache = InstalledApplicationCache;
    EXPECT_EQ(Cache::keyFor(ZRURL::fileURL("/Applications/Mail.app", true)),
              Cache::keyFor(ZRURL::fileURL("/Applications/Mail.app", false)));
    EXPECT_EQ(Cache::keyFor(ZRURL::fileURL("/Applications/./Tools/../Mail.app", true)),
              Cache::keyFor(ZRURL::fileURL("/Applications/Mail.app", true)));
    EXPECT_NE(Cache::keyFor(ZRURL::fileURL("/Applications/X\xff.app", true)),
              Cache::keyFor(ZRURL::fileURL("/Applications/X\xfe.app", true)));
    EXPECT_NE(Cache::keyFor(ZRURL::fileURL("/Applications/mail.app", true)),
              Cache::keyFor(ZRURL::fileURL("/Applications/Mail.app", true)));
}

TEST_F(InstalledApplicationCacheTest, KeepsTheFirstPublishedInstanceWhileItLives) {
    InstalledApplicationCache cache;
    auto first = make(makeBundle(folderPath(), "First.app"));
    const auto second = make(makeBundle(folderPath(), "Second.app"));

    EXPECT_EQ(cache.find("key"), nullptr);
    EXPECT_EQ(cache.publish("key", first), first);
    EXPECT_EQ(cache.publish("key", second), first);
    EXPECT_EQ(cache.find("key"), first);

    first.reset();
    EXPECT_EQ(cache.find("key"), nullptr);
    EXPECT_EQ(cache.publish("key", second), second);
    cache.removeIfReleased("key");
    EXPECT_EQ(cache.find("key"), second);
}

// Every thread makes its own candidate outside the cache's lock; whichever publishes first is the
// one they all get, and only that one loads.
TEST_F(InstalledApplicationCacheTest, ThreadsAskingForOneBundleGetOneInstance) {
    const auto bundle = makeBundle(folderPath(), "Shared.app");
    const std::vector<ZRURL> spellings{ZRURL::fileURL(bundle, true), ZRURL::fileURL(bundle, false),
                                       ZRURL::fileURL(folderPath() / "." / "Shared.app", true),
                                       ZRURL::fileURL(folderPath() / "Other" / ".." / "Shared.app", true)};
    constexpr std::size_t threadCount = 8;
    std::vector<std::shared_ptr<InstalledApplication>> applications(threadCount);
    std::latch start(threadCount);
    {
        std::vector<std::jthread> threads;
        for (std::size_t index = 0; index < threadCount; ++index) {
            threads.emplace_back([&, index] {
                start.arrive_and_wait();
                applications[index] =
                    InstalledApplication::makeForBundleURL(spellings[index % spellings.size()]);
            });
        }
    }

    for (const auto& application : applications) {
        ASSERT_EQ(application, applications.front());
    }
    EXPECT_EQ(applications.front()->thread(), QCoreApplication::instance()->thread());
    ASSERT_TRUE(waitUntilLoadFinished(*applications.front()));
    drainLoads();
    EXPECT_EQ(*_loads, 1);
}
