#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Loading/LumoraInitializationError.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <QSignalSpy>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

/// Records the bundles the loader was called for.
struct LoadLog {
    std::mutex mutex;
    std::multiset<std::string> paths;
    void add(const ZRURL& url) {
        std::lock_guard lock(mutex);
        paths.insert(url.path().string());
    }
    std::size_t count(const std::filesystem::path& path) {
        std::lock_guard lock(mutex);
        return paths.count(path.string());
    }
};

class InstalledApplicationLoading : public LoadEnvironmentTest {};

} // namespace

TEST_F(InstalledApplicationLoading, ReportsEachChangeOfCaseOnce) {
    const auto bundle = makeBundle(folderPath(), "Twice.app");
    LumoraLoadEnvironment::setCurrent(environmentLoading(
        [](const ZRURL& url) { return makeDocument(url.path() / "Contents/Resources/Lumora.plist"); }));

    const auto application = InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true));
    QSignalSpy changes(application.get(), &InstalledApplication::lumoraLoadStateChanged);
    // Asking again while a load is pending is no change of case; only the latest load's outcome is.
    application->readLumoraInBackground();
    EXPECT_EQ(changes.count(), 0);
    drainLoads();
    ASSERT_EQ(changes.count(), 1);
    auto change = changes.at(0).at(0).value<LumoraLoadStateChange>();
    EXPECT_EQ(change.oldValue.stateCase(), LumoraLoadState::Case::loadPending);
    EXPECT_EQ(change.newValue.stateCase(), LumoraLoadState::Case::loaded);

    // Reloading a loaded application passes through `loadPending`.
    changes.clear();
    application->readLumoraInBackground();
    drainLoads();
    ASSERT_EQ(changes.count(), 2);
    change = changes.at(0).at(0).value<LumoraLoadStateChange>();
    EXPECT_EQ(change.oldValue.stateCase(), LumoraLoadState::Case::loaded);
    EXPECT_EQ(change.newValue.stateCase(), LumoraLoadState::Case::loadPending);
}

TEST_F(InstalledApplicationLoading, AnEarlierLoadFinishingLastDoesNotReplaceTheLatest) {
    const auto bundle = makeBundle(folderPath(), "Granted.app");
    auto gate = std::make_shared<Gate>();
    auto calls = std::make_shared<std::atomic<int>>(0);
    LumoraLoadEnvironment::setCurrent(environmentLoading([gate, calls](const ZRURL& url) -> Lumora {
        if (++*calls == 1) {
            // The first load is slow and fails, as one without permission would.
            gate->enter();
            throw Lumora::InitializationError::fileCorrupt(url, std::nullopt);
        }
        return makeDocument(url.path() / "Lumora.plist");
    }));

    const auto application = InstalledApplication::makeForBundleURL(ZRURL::fileURL(bundle, true));
    ASSERT_TRUE(gate->waitUntilHolding(1));
    application->readLumoraInBackground();
    ASSERT_TRUE(waitUntilLoadFinished(*application));
    EXPECT_TRUE(application->isLumoraLoaded());

    QSignalSpy changes(application.get(), &InstalledApplication::lumoraLoadStateChanged);
    gate->open();
    drainLoads();
    EXPECT_EQ(changes.count(), 0);
    EXPECT_TRUE(application->isLumoraLoaded());
}

TEST_F(InstalledApplicationLoading, RunsAtMostEightLoadsAtOnceAndNoneForAnApplicationReleasedWhileItWaits) {
    auto gate = std::make_shared<Gate>();
    auto log = std::make_shared<LoadLog>();
    LumoraLoadEnvironment::setCurrent(environmentLoading([gate, log](const ZRURL& url) {
        log->add(url);
        gate->enter();
        return makeDocument(url.path() / "Lumora.plist");
    }));
    std::vector<std::shared_ptr<InstalledApplication>> applications;
    for (int index = 0; index < 20; ++index) {
        applications.push_back(InstalledApplication::makeForBundleURL(
            ZRURL::fileURL(makeBundle(folderPath(), "App" + std::to_string(index) + ".app"), true)));
    }
    ASSERT_TRUE(gate->waitUntilHolding(8));
    const auto released = makeBundle(folderPath(), "Released.app");
    auto application = InstalledApplication::makeForBundleURL(ZRURL::fileURL(released, true));
    std::weak_ptr<InstalledApplication> weakApplication = application;
    application.reset();
    EXPECT_TRUE(weakApplication.expired());

    gate->open();
    drainLoads();
    EXPECT_EQ(gate->mostHeld(), 8);
    for (const auto& loaded : applications) {
        EXPECT_TRUE(loaded->isLumoraLoaded()) << loaded->description().toStdString();
    }
    EXPECT_EQ(log->count(released), 0u);
    // The cache holds nothing for it: asking again makes a new instance with a new load.
    const auto again = InstalledApplication::makeForBundleURL(ZRURL::fileURL(released, true));
    ASSERT_TRUE(waitUntilLoadFinished(*again));
    EXPECT_EQ(log->count(released), 1u);
}

TEST_F(InstalledApplicationLoading, FindsHostsAndServicesOfARealSampleForSearching) {
    const std::filesystem::path examples = LUMORA_EXAMPLES_DIR;
    std::string failure;
    const auto anchors =
        ZRTrustEvaluator::readCertificateFile((examples / "DemoCertificateAuthority.pem").string(), failure);
    ASSERT_TRUE(anchors) << failure;
    LumoraLoadEnvironment::setLoaderOptions({*anchors});

    const auto application =
        InstalledApplication::makeForBundleURL(ZRURL::fileURL(examples / "TextEditor.app", true));
    EXPECT_EQ(application->searchString(), application->displayName());
    ASSERT_TRUE(waitUntilLoadFinished(*application));
    ASSERT_TRUE(application->isLumoraLoaded()) << application->lumoraLoadState().caseName();
    // Host and domain names of every source in order, then the source's service names; the local
    // network and address rules add nothing.
    EXPECT_EQ(application->searchString(),
              "TextEditor updates.example.com sync.example.com telemetry.example.com "
              "Web File Sharing (WebDAV) dictionaries.example.org sync.example.com");
    EXPECT_EQ(application->bundleIdentifier(), "com.example.texteditor");
    EXPECT_EQ(application->lumoraFileURL()->path(),
              examples / "TextEditor.app/Contents/Resources/Lumora.plist");
    EXPECT_TRUE(application->lumoraLoadState().lumora()->isTrustedThroughExtraAnchor());
    EXPECT_EQ(application->lumoraLoadState().signature()->author, "Fixture Developer (FIXTURE123)");
    // An application without a document still says who signed it.
    const auto calculator =
        InstalledApplication::makeForBundleURL(ZRURL::fileURL(examples / "Calculator.app", true));
    ASSERT_TRUE(waitUntilLoadFinished(*calculator));
    EXPECT_EQ(calculator->lumoraLoadState().stateCase(), LumoraLoadState::Case::unavailable);
    ASSERT_TRUE(calculator->lumoraLoadState().signature());
    EXPECT_EQ(calculator->lumoraLoadState().signature()->kind, LumoraSignatureSummary::Kind::developerID);
}

TEST_F(InstalledApplicationLoading, KeepsOnlyTheDocumentsInUseAndReadsAnotherAgainWhileStayingLoaded) {
    auto failing = std::make_shared<std::atomic<bool>>(false);
    auto log = std::make_shared<LoadLog>();
    LumoraLoadEnvironment::setCurrent(environmentLoading([failing, log](const ZRURL& url) -> Lumora {
        log->add(url);
        if (*failing) {
            throw Lumora::InitializationError::fileCorrupt(url, std::nullopt);
        }
        const auto source = std::make_shared<const Lumora::Source>(
            Lumora::Source::SourceType::internal, url, ZRURL::fileURL(url.path() / "Lumora.plist", false),
            std::nullopt, std::nullopt, "Edits text", std::vector<Lumora::ConnectionDescription>{},
            std::vector<Lumora::ServiceDescription>{{std::nullopt, "Sync Relay", "Syncs."}}, std::nullopt);
        return Lumora(source, {});
    }));
    const auto makeApplication = [this](const std::string& name) {
        return InstalledApplication::makeForBundleURL(ZRURL::fileURL(makeBundle(folderPath(), name), true));
    };
    const auto first = makeApplication("First.app");
    drainLoads();
    const auto second = makeApplication("Second.app");
    drainLoads();
    // Many more loaded after them push their documents out of memory.
    std::vector<std::shared_ptr<InstalledApplication>> later;
    for (int index = 0; index < 40; ++index) {
        later.push_back(makeApplication("Later" + std::to_string(index) + ".app"));
    }
    drainLoads();
    ASSERT_TRUE(first->isLumoraLoaded());
    EXPECT_EQ(first->lumoraLoadState().lumora(), nullptr);
    EXPECT_NE(later.back()->lumoraLoadState().lumora(), nullptr) << "the last loaded are kept";
    EXPECT_TRUE(first->foldedSearchString().contains(QStringLiteral("sync relay")))
        << "the search text was taken while the document was there";

    QSignalSpy changes(first.get(), &InstalledApplication::lumoraLoadStateChanged);
    QSignalSpy reread(first.get(), &InstalledApplication::documentReread);
    const auto bundle = first->bundleURL().path();
    EXPECT_EQ(first->document(), nullptr);
    EXPECT_EQ(first->document(), nullptr) << "asked twice";
    drainLoads();
    EXPECT_EQ(reread.count(), 1);
    EXPECT_EQ(log->count(bundle), 2u) << "read again once";
    EXPECT_EQ(changes.count(), 0) << "never shown pending meanwhile";
    const auto document = first->document();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->primarySource()->serviceDescriptions().at(0).localizedName(), "Sync Relay");
    EXPECT_EQ(first->lumoraFileURL(), document->primarySource()->policyFileURL());

    // A bundle that no longer passes its checks is no longer shown as loaded.
    *failing = true;
    EXPECT_EQ(second->document(), nullptr);
    drainLoads();
    EXPECT_EQ(second->lumoraLoadState().stateCase(), LumoraLoadState::Case::loadFailed);
}
