#include "Catalogue/CatalogueTestSupport.h"
#include "Catalogue/LoopbackHTTPSServer.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Support/ApplicationListStandIns.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

/// A source whose content and reports the test decides.
class StandInSource : public AsyncApplicationsSource {
public:
    const Applications& applications() const override { return content; }
    bool isInitialUpdateFinished() const override { return initialUpdateFinished; }
    void startUpdating(UpdateHandler handler) override {
        updateHandler = std::move(handler);
        ++startCount;
    }
    void stopUpdating() override { updateHandler = nullptr; }

    /// Replaces the content and reports it like a real source does.
    void deliver(Applications applications, bool completesInitialUpdate = true) {
        content = std::move(applications);
        const bool mayEnd = completesInitialUpdate && !initialUpdateFinished;
        initialUpdateFinished = initialUpdateFinished || completesInitialUpdate;
        if (updateHandler) {
            updateHandler(*this, mayEnd);
        }
    }

    Applications content;
    bool initialUpdateFinished = false;
    UpdateHandler updateHandler;
    int startCount = 0;
};

/// Documents for bundles whose name contains "Documented"; none for the others.
Lumora documentIfNamed(const ZRURL& url) {
    if (url.path().string().find("Documented") == std::string::npos) {
        throw Lumora::InitializationError::bundleHasNoLumora(url);
    }
    return makeDocument(url.path() / "Contents/Resources/Lumora.plist");
}

class ApplicationsSourceControllerTest : public LoadEnvironmentTest {
protected:
    void SetUp() override {
        auto environment = environmentLoading(documentIfNamed);
        environment.isReadable = [this](const ZRURL& url) {
            std::lock_guard lock(_unreadableMutex);
            return !_unreadable.contains(comparable(url.path()));
        };
        LumoraLoadEnvironment::setCurrent(environment);
        _preferences.setSpotlightApplicationsSourceEnabled(true);
        _preferences.setManuallyAddedApplicationsSourceEnabled(true);
        _preferences.setApplicationsFolderApplicationsSourceEnabled(false);
        _preferences.setPreviewApplicationsSourceEnabled(false);
    }

    void TearDown() override {
        _controller.reset();
        LoadEnvironmentTest::TearDown();
    }

    static std::string comparable(const std::filesystem::path& path) {
        std::string text = path.lexically_normal().string();
        while (text.size() > 1 && text.ends_with('/')) {
            text.pop_back();
        }
        return text;
    }

    void setUnreadable(const std::filesystem::path& path, bool unreadable) {
        std::lock_guard lock(_unreadableMutex);
        if (unreadable) {
            _unreadable.insert(comparable(path));
        } else {
            _unreadable.erase(comparable(path));
        }
    }

    ApplicationsSourceController& makeController() {
        ApplicationsSourceController::Sources sources;
        sources.makeSpotlightApplicationsSource = [this] {
            auto source = std::make_shared<StandInSource>();
            _spotlightSources.push_back(source);
            return source;
        };
        sources.makeFolderApplicationsSource = [this] {
            return _folderSource = std::make_shared<StandInSource>();
        };
        sources.previewApplicationsSource = _previewSource;
        sources.startAccessing = [](const std::filesystem::path&) { return true; };
        _controller = std::make_unique<ApplicationsSourceController>(_preferences, sources);
        _tester = std::make_unique<QAbstractItemModelTester>(
            &_controller->arrayController(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        return *_controller;
    }

    std::shared_ptr<InstalledApplication> installed(const std::string& name,
                                                    const std::string& bundleIdentifier = {}) {
        const std::string entries = bundleIdentifier.empty() ? std::string()
                                                             : "<key>CFBundleIdentifier</key><string>" +
                                                                   bundleIdentifier + "</string>";
        return InstalledApplication::makeForBundleURL(
            ZRURL::fileURL(makeBundle(folderPath(), name, entries), true));
    }

    StandInSource& spotlight() { return *_spotlightSources.back(); }

    static QStringList arrangedNames(const ApplicationsSourceController& controller) {
        return ::arrangedNames(controller.arrayController());
    }

    /// Delivers the applications through the live query and waits for the initial loading to end.
    void deliverAndFinish(ApplicationsSource::Applications applications) {
        spotlight().deliver(std::move(applications));
        drainLoads();
        ASSERT_TRUE(_controller->initialLoadingFinished());
    }

    Preferences _preferences{Preferences::InMemory{}};
    std::vector<std::shared_ptr<StandInSource>> _spotlightSources;
    std::shared_ptr<StandInSource> _folderSource;
    /// Offers a featured list of (bundle identifier, name) entries, served on the loopback.
    void offerPreviewList(const std::vector<QByteArray>& entries) {
        _server.setResponse(QStringLiteral("/featured.json"),
                            LoopbackHTTPSServer::json(previewList(entries)));
        PreviewApplicationsSource::Options options;
        options.extraCertificateAuthorities = {_server.certificateAuthority()};
        options.languageCode = QStringLiteral("en");
        _previewSource =
            PreviewApplicationsSource::make(_server.url(QStringLiteral("/featured.json")), options);
        _preferences.setPreviewApplicationsSourceEnabled(true);
    }
    bool waitForPreviewList() {
        return QTest::qWaitFor([this] { return _previewSource->isInitialUpdateFinished(); }, 20000);
    }

    LoopbackHTTPSServer _server;
    std::shared_ptr<PreviewApplicationsSource> _previewSource;
    std::unique_ptr<ApplicationsSourceController> _controller;
    std::unique_ptr<QAbstractItemModelTester> _tester;
    std::mutex _unreadableMutex;
    std::set<std::string> _unreadable;
};

} // namespace

TEST_F(ApplicationsSourceControllerTest, WithEverySourceOffTheInitialLoadingEndsAtOnceWithAnEmptyList) {
    _preferences.setSpotlightApplicationsSourceEnabled(false);
    _preferences.setManuallyAddedApplicationsSourceEnabled(false);
    auto& controller = makeController();
    QSignalSpy finished(&controller, &ApplicationsSourceController::didFinishInitialLoading);
    controller.startUpdating();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(controller.initialLoadingFinished());
    EXPECT_FALSE(controller.hasApplications());
    EXPECT_EQ(controller.arrayController().rowCount(), 0);
}

TEST_F(ApplicationsSourceControllerTest, InitialLoadingWaitsForEverySourceAndEveryPendingLoad) {
    _preferences.setApplicationsFolderApplicationsSourceEnabled(true);
    auto& controller = makeController();
    QSignalSpy finished(&controller, &ApplicationsSourceController::didFinishInitialLoading);
    controller.startUpdating();
    const auto mail = installed("Mail.app");
    drainLoads();

    // A progress report of the live query does not end it; the list stays empty meanwhile.
    spotlight().deliver({mail}, false);
    EXPECT_TRUE(controller.hasApplications());
    EXPECT_EQ(controller.arrayController().rowCount(), 0);
    spotlight().deliver({mail}, true);
    EXPECT_EQ(finished.count(), 0) << "the folder source has not reported";

    // A load that is still pending holds it back.
    mail->readLumoraInBackground();
    _folderSource->deliver({});
    EXPECT_EQ(finished.count(), 0);
    ASSERT_TRUE(waitUntilLoadFinished(*mail));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(arrangedNames(controller), QStringList{"Mail"});

    // A new live query starts its own gathering; the end is not announced again.
    _preferences.setSpotlightApplicationsSourceEnabled(false);
    _preferences.setSpotlightApplicationsSourceEnabled(true);
    ASSERT_EQ(_spotlightSources.size(), 2u);
    EXPECT_EQ(spotlight().startCount, 1);
    EXPECT_FALSE(controller.hasApplications()) << "the old query's applications went with it";
    spotlight().deliver({mail});
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(arrangedNames(controller), QStringList{"Mail"});
}

// A preview is hidden while an installed application has its bundle identifier.
TEST_F(ApplicationsSourceControllerTest, SortsDocumentsFirstThenInstalledThenByNameAsPeopleCount) {
    offerPreviewList({previewEntry("com.example.zed", "Zed"), previewEntry("com.example.alpha", "alpha"),
                      previewEntry("com.example.browser", "Browser Preview")});
    auto& controller = makeController();
    controller.startUpdating();
    ASSERT_TRUE(waitForPreviewList());
    const ApplicationsSource::Applications all{installed("App 10.app"),
                                               installed("app 2.app"),
                                               installed("Browser.app", "com.example.browser"),
                                               installed("Documented B.app"),
                                               installed("Documented a.app"),
                                               installed("Éclair.app")};
    deliverAndFinish(all);
    const QStringList arranged{"Documented a", "Documented B", "alpha",   "Zed",
                               "app 2",        "App 10",       "Browser", "Éclair"};
    EXPECT_EQ(arrangedNames(controller), arranged);
    spotlight().deliver({}, false);
    EXPECT_EQ(arrangedNames(controller), (QStringList{"alpha", "Browser Preview", "Zed"}));
    spotlight().deliver(all, false);
    drainLoads();
    EXPECT_EQ(arrangedNames(controller), arranged);

    // A reload of the featured list is announced: the window shows its loading sheet.
    QSignalSpy listLoads(&controller, &ApplicationsSourceController::willLoadListOfPreviewApplications);
    controller.reloadPreviewApplications();
    ASSERT_EQ(listLoads.count(), 1);
    EXPECT_EQ(listLoads.at(0).at(0).value<PreviewApplicationsSource*>(), _previewSource.get());
}

TEST_F(ApplicationsSourceControllerTest, InitialLoadingReportsHowManyApplicationsWereRead) {
    auto& controller = makeController();
    QSignalSpy progress(&controller, &ApplicationsSourceController::initialLoadingProgressed);
    controller.startUpdating();
    const auto one = installed("One.app");
    const auto two = installed("Two.app");
    const auto three = installed("Three.app");
    // A batch of a first walk still going is counted at once.
    spotlight().deliver({one, two}, false);
    ASSERT_EQ(progress.count(), 1);
    EXPECT_EQ(progress.at(0).at(1).toInt(), 2);
    // Reports come at most every 100 ms; one still due when the list shows is dropped with the view.
    deliverAndFinish({one, two, three});
    for (const auto& report : progress) {
        EXPECT_GE(report.at(0).toInt(), 0);
        EXPECT_LE(report.at(0).toInt(), report.at(1).toInt());
    }
    const auto reports = progress.count();
    spotlight().deliver({one, two, three, installed("Four.app")}, false);
    drainLoads();
    EXPECT_EQ(progress.count(), reports) << "nothing is reported once the loading is over";
}

TEST_F(ApplicationsSourceControllerTest, OneEntryPerApplicationFoundBySeveralSources) {
    _preferences.setApplicationsFolderApplicationsSourceEnabled(true);
    auto& controller = makeController();
    controller.startUpdating();
    const auto mail = installed("Mail.app");
    // The same bundle named as a directory URL and as a plain one is one instance.
    _folderSource->deliver(
        {InstalledApplication::makeForBundleURL(ZRURL::fileURL(mail->bundleURL().path(), false))});
    deliverAndFinish({mail});
    EXPECT_EQ(controller.applications().size(), 1u);
    EXPECT_EQ(controller.arrayController().rowCount(), 1);
}

TEST_F(ApplicationsSourceControllerTest, OnlyChangesIntoOrOutOfLoadedMoveRows) {
    auto& controller = makeController();
    controller.startUpdating();
    const auto alpha = installed("Alpha.app");
    const auto beta = installed("Beta.app");
    deliverAndFinish({alpha, beta});
    ASSERT_EQ(arrangedNames(controller), (QStringList{"Alpha", "Beta"}));
    auto& list = controller.arrayController();
    QSignalSpy moves(&list, &QAbstractItemModel::layoutChanged);
    QSignalSpy dataChanges(&list, &QAbstractItemModel::dataChanged);

    // unavailable → loadPending → noReadPermission: badges change, rows stay.
    setUnreadable(beta->bundleURL().path(), true);
    beta->readLumoraInBackground();
    ASSERT_TRUE(waitUntilLoadFinished(*beta));
    EXPECT_EQ(beta->lumoraLoadState().stateCase(), LumoraLoadState::Case::noReadPermission);
    EXPECT_EQ(moves.count(), 0);
    EXPECT_GE(dataChanges.count(), 2);
    EXPECT_EQ(list.data(list.index(1), ApplicationsArrayController::BadgeRole).toString(),
              "noReadPermission");

    // A document found moves the row to the top; the view's persistent index and the selection
    // follow it.
    const QPersistentModelIndex betaRow(list.index(1));
    list.setSelectedApplication(beta);
    const auto documented = installed("Documented Zeta.app");
    spotlight().deliver({alpha, beta, documented}, false);
    drainLoads();
    EXPECT_EQ(arrangedNames(controller), (QStringList{"Documented Zeta", "Alpha", "Beta"}));
    EXPECT_EQ(betaRow.row(), 2);
    EXPECT_EQ(list.selectedApplication(), beta);
    EXPECT_EQ(list.selectedRow(), 2);
    EXPECT_EQ(list.data(list.index(0), ApplicationsArrayController::StateRole).toString(), "loaded");
}

TEST_F(ApplicationsSourceControllerTest, SearchIgnoresCaseAndDiacriticsAndHidesTheSelectionItFilters) {
    auto& controller = makeController();
    controller.startUpdating();
    const auto cafe = installed("Café Finder.app");
    const auto mail = installed("Mail.app");
    deliverAndFinish({cafe, mail});
    auto& list = controller.arrayController();
    list.setSelectedApplication(mail);
    ASSERT_EQ(list.selectedApplication(), mail);
    QSignalSpy selectionChanges(&list, &ApplicationsArrayController::selectedApplicationChanged);

    list.setFilterText("  CAFE  ");
    EXPECT_EQ(list.filterText(), "CAFE");
    EXPECT_EQ(arrangedNames(controller), QStringList{"Café Finder"});
    EXPECT_EQ(list.selectedApplication(), nullptr);
    EXPECT_EQ(selectionChanges.count(), 1);
    list.setFilterText("");
    EXPECT_EQ(arrangedNames(controller), (QStringList{"Café Finder", "Mail"}));

    // A different object that is the same application selects the listed one.
    list.setSelectedApplication(InstalledApplication::makeForBundleURL(mail->bundleURL()));
    EXPECT_EQ(list.selectedInstalledApplication(), mail);
    EXPECT_EQ(list.selectedRow(), 1);
}

TEST_F(ApplicationsSourceControllerTest, GrantingAFolderReloadsWhatItHoldsAndSelectsTheFirstApplication) {
    auto& controller = makeController();
    controller.startUpdating();
    const auto locked = installed("Locked/Documented Secret.app");
    setUnreadable(locked->bundleURL().path(), true);
    locked->readLumoraInBackground();
    const auto other = installed("Other.app");
    deliverAndFinish({locked, other});
    ASSERT_EQ(controller.allApplicationsWithNoReadPermissions().size(), 1u);
    EXPECT_EQ(controller.proposedDirectoryURLsToGrantReadPermission(),
              std::vector<std::filesystem::path>{(folderPath() / "Locked/").string()});
    EXPECT_FALSE(controller.canResetReadPermissions());

    AnsweringOpenPanel panel;
    controller.setOpenPanelPresenter(&panel);
    controller.arrayController().setFilterText("Other");
    setUnreadable(locked->bundleURL().path(), false);
    panel.answer = {folderPath() / "Locked"};
    controller.showOpenPanelAtParentDirectoryOf(locked.get());
    ASSERT_EQ(panel.requests.size(), 1u);
    EXPECT_FALSE(panel.requests[0].choosesFiles);
    EXPECT_TRUE(panel.requests[0].choosesDirectories);
    EXPECT_EQ(panel.requests[0].directory, folderPath() / "Locked");
    EXPECT_EQ(panel.requests[0].messageKey, "openPanelMessage_grantReadingPermission");
    ASSERT_TRUE(waitUntilLoadFinished(*locked));
    EXPECT_EQ(locked->lumoraLoadState().stateCase(), LumoraLoadState::Case::loaded);
    EXPECT_TRUE(controller.canResetReadPermissions());
    // A folder is no application: nothing was selected and the search stays.
    EXPECT_EQ(controller.arrayController().filterText(), "Other");
    EXPECT_EQ(controller.arrayController().selectedApplication(), nullptr);

    // Adding an application selects it, clearing the search that hid it.
    const auto added = makeBundle(folderPath() / "Elsewhere", "Added.app");
    panel.answer = {added};
    controller.showOpenPanelAt(std::nullopt);
    EXPECT_TRUE(panel.requests[1].choosesFiles);
    EXPECT_EQ(panel.requests[1].allowedFileTypes, InstalledApplication::lumoraContainerFileTypes());
    EXPECT_EQ(panel.requests[1].promptKey, "openPanelPrompt_openApplication");
    EXPECT_EQ(controller.arrayController().filterText(), "");
    ASSERT_NE(controller.arrayController().selectedInstalledApplication(), nullptr);
    EXPECT_EQ(controller.arrayController().selectedInstalledApplication()->displayName(), "Added");

    // Revoking every grant loads again what lay inside the granted items, and drops the added one.
    setUnreadable(locked->bundleURL().path(), true);
    controller.removeAllSecurityScopedFileURLs();
    EXPECT_FALSE(controller.canResetReadPermissions());
    ASSERT_TRUE(waitUntilLoadFinished(*locked));
    EXPECT_EQ(locked->lumoraLoadState().stateCase(), LumoraLoadState::Case::noReadPermission);
    EXPECT_EQ(arrangedNames(controller), (QStringList{"Documented Secret", "Other"}));
}

TEST_F(ApplicationsSourceControllerTest, AnApplicationAddedBeforeTheListShowsIsSelectedWhenItShows) {
    auto& controller = makeController();
    auto& list = controller.arrayController();
    controller.startUpdating();
    const auto added = makeBundle(folderPath() / "Dropped", "Dropped.app");
    controller.addWithSecurityScopedFileURLs({ZRURL::fileURL(added, true)}, true);
    EXPECT_EQ(list.selectedApplication(), nullptr);
    deliverAndFinish({installed("Other.app")});
    ASSERT_NE(list.selectedApplication(), nullptr);
    EXPECT_EQ(list.selectedApplication()->displayName(), "Dropped");

    // Selecting something unlisted empties the selection and keeps the search.
    list.setFilterText("Dropped");
    controller.addWithSecurityScopedFileURLs({ZRURL::fileURL(folderPath() / "Nothing", true)}, true);
    EXPECT_EQ(list.selectedApplication(), nullptr);
    EXPECT_EQ(list.filterText(), "Dropped");
}
