#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Archives/ChildProcess.h"
#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Model/LumoraConnectionDescription.h"
#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/DocumentPage.h"
#include "Code/Shell/AppController.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/DeveloperPanelWindow.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/MainWindow.h"
#include "Code/Shell/ShellText.h"
#include "Code/Shell/SidebarWidget.h"
#include "RecordingPlatformServices.h"
#include "ShellTestSupport.h"
#include "Support/ApplicationListStandIns.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

namespace {

const std::filesystem::path examples = LUMORA_EXAMPLES_DIR;

QStringList arrangedNames(MainWindow& window) {
    return ::arrangedNames(window.applicationsSourceController().arrayController());
}

/// The listed application named `name`, if any.
std::shared_ptr<InstalledApplication> listedApplication(MainWindow& window, const QString& name) {
    for (const auto& application :
         window.applicationsSourceController().arrayController().arrangedApplications()) {
        if (application->displayName() == name) {
            return std::dynamic_pointer_cast<InstalledApplication>(application);
        }
    }
    return nullptr;
}

/// Drags `path` over the list and drops it there; whether the list accepted the drag.
bool dropOnList(MainWindow& window, const std::filesystem::path& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QtStrings::fromPath(path))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.listView().viewport(), &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.listView().viewport(), &drop);
    return enter.isAccepted();
}

/// Sources that list the applications in `folder` and nothing else.
ApplicationsSourceController::Sources sourcesListing(const std::filesystem::path& folder = examples) {
    ApplicationsSourceController::Sources sources;
    sources.makeFolderApplicationsSource = [folder] {
        return FolderApplicationsSource::make({ZRURL::fileURL(folder, true)});
    };
    sources.startAccessing = [](const std::filesystem::path&) { return true; };
    return sources;
}

/// Whether the initial loading of `controller` has finished, waiting for it if need be.
bool initialLoadingFinishes(ApplicationsSourceController& controller) {
    return ShellTestSupport::waitUntil([&] { return controller.initialLoadingFinished(); },
                                       std::chrono::seconds(20));
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string failure;
        const auto anchors =
            ZRTrustEvaluator::readCertificateFile(examples / "DemoCertificateAuthority.pem", failure);
        ASSERT_TRUE(anchors) << failure;
        auto environment = LumoraLoadEnvironment::standard();
        environment.loaderOptions.extraTrustAnchors = *anchors;
        environment.isReadable = [this](const ZRURL& url) {
            std::lock_guard lock(_unreadableMutex);
            return !_unreadable.contains(url.path().filename().string());
        };
        LumoraLoadEnvironment::setCurrent(environment);
        _preferences.setSpotlightApplicationsSourceEnabled(false);
    }

    void TearDown() override {
        _window.reset();
        InstalledApplication::lumoraLoadQueue().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LumoraLoadEnvironment::setCurrent(LumoraLoadEnvironment::standard());
    }

    /// A shown window listing what `sources` find, after its initial loading.
    MainWindow& makeWindow(ApplicationsSourceController::Sources sources = sourcesListing()) {
        _window = std::make_unique<MainWindow>(_preferences, std::move(sources), _platformServices);
        _window->setOpenPanelPresenter(&_openPanel);
        _window->resize(1000, 640);
        _window->show();
        _window->startUpdating();
        EXPECT_TRUE(initialLoadingFinishes(_window->applicationsSourceController()));
        return *_window;
    }

    void setUnreadable(const std::string& bundleName) {
        std::lock_guard lock(_unreadableMutex);
        _unreadable.insert(bundleName);
    }

    Preferences _preferences{Preferences::InMemory{}};
    RecordingPlatformServices _platformServices;
    AnsweringOpenPanel _openPanel;
    std::unique_ptr<MainWindow> _window;
    std::mutex _unreadableMutex;
    std::set<std::string> _unreadable;
};

} // namespace

TEST_F(MainWindowTest, ListsTheApplicationsInOrderWithTheirBadges) {
    auto& window = makeWindow();
    EXPECT_EQ(arrangedNames(window), (QStringList{"Sandboxed", "SandboxedServer", "TextEditor", "Calculator",
                                                  "Impostor", "Tampered", "Unsigned"}));
    const auto& model = window.applicationsSourceController().arrayController();
    QStringList badges;
    for (int row = 0; row < model.rowCount(); ++row) {
        badges.append(model.data(model.index(row), ApplicationsArrayController::BadgeRole).toString());
    }
    EXPECT_EQ(badges, (QStringList{"loaded", "loaded", "loaded", "unavailable", "loadFailed", "loadFailed",
                                   "loadFailed"}));
    EXPECT_EQ(model.data(model.index(2), Qt::AccessibleTextRole).toString(), "TextEditor, Lumora document");
    EXPECT_EQ(window.listView().model(), &model);
}

TEST_F(MainWindowTest, SelectingAnApplicationShowsItsPage) {
    auto& window = makeWindow();
    QSignalSpy shown(&window, &MainWindow::pageShown);
    window.listView().setCurrentIndex(window.listView().model()->index(2, 0));
    const auto& selected = window.applicationsSourceController().arrayController().selectedApplication();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->displayName(), "TextEditor");
    ASSERT_TRUE(shown.wait(20000));
    EXPECT_EVENTUALLY(ShellTestSupport::hasDarkPixel(window.webView().grab().toImage(), 100, 30, 400, 160),
                      "the page's heading never showed");
    EXPECT_NE(window.documentPageController().pageHTML().indexOf("<h1 dir=\"auto\">TextEditor</h1>"), -1);
}

// A long list keeps only the documents in use: the page of an application whose document was let
// go waits for it to be read again, and the application stays loaded meanwhile.
TEST_F(MainWindowTest, SelectingAnApplicationWhoseDocumentWasLetGoReadsItAgain) {
    auto& window = makeWindow();
    const auto editor = listedApplication(window, "TextEditor");
    ASSERT_NE(editor, nullptr);
    std::vector<std::shared_ptr<InstalledApplication>> others;
    for (const auto& application :
         window.applicationsSourceController().arrayController().arrangedApplications()) {
        auto installed = std::dynamic_pointer_cast<InstalledApplication>(application);
        if (installed && installed != editor) {
            others.push_back(std::move(installed));
        }
    }
    // Loading the others again until enough documents were loaded after the editor's.
    for (int round = 0; round < 40 && editor->lumoraLoadState().lumora(); ++round) {
        for (const auto& other : others) {
            other->readLumoraInBackground();
        }
        ASSERT_EVENTUALLY(std::none_of(others.begin(), others.end(),
                                       [](const auto& other) {
                                           return other->lumoraLoadState().stateCase() ==
                                                  LumoraLoadState::Case::loadPending;
                                       }),
                          "the loads never finished");
    }
    ASSERT_TRUE(editor->isLumoraLoaded());
    ASSERT_EQ(editor->lumoraLoadState().lumora(), nullptr);

    QSignalSpy changes(editor.get(), &InstalledApplication::lumoraLoadStateChanged);
    QSignalSpy pages(&window.documentPageController(), &DocumentPageController::pageChanged);
    window.applicationsSourceController().arrayController().setSelectedApplication(editor);
    EXPECT_EVENTUALLY(!pages.isEmpty() &&
                          pages.last().at(0).toString().contains("<h1 dir=\"auto\">TextEditor</h1>") &&
                          pages.last().at(0).toString().contains("updates.example.com"),
                      "the editor's page never showed");
    EXPECT_EQ(changes.count(), 0);
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().revealLumora));
    ASSERT_EQ(_platformServices.shownItems.size(), 1U);
    EXPECT_EQ(_platformServices.shownItems[0].front().filename(), "Lumora.plist");
}

/// A run of rows of the page's header text that hold ink: from `top` to `bottom` (inclusive), the
/// rightmost inked column, and the lightness of its darkest pixel.
struct InkedLine {
    int top = 0;
    int bottom = 0;
    int right = 0;
    int darkest = 255;
    bool operator==(const InkedLine&) const = default;
};

/// The lines of ink in the header's text column of a grabbed page: right of the 64-pixel icon,
/// within the header's 140 pixels, one per run of rows that are not all white.
std::vector<InkedLine> headerTextLines(const QImage& image) {
    // The body's default margin and its padding.
    constexpr int pageInset = 8 + 36;
    constexpr int textLeft = pageInset + 64 + 8;
    std::vector<InkedLine> lines;
    bool inLine = false;
    for (int y = pageInset; y < std::min(image.height(), pageInset + 140); ++y) {
        InkedLine row{y, y, 0, 255};
        for (int x = textLeft; x < image.width() - 20; ++x) {
            const int lightness = image.pixelColor(x, y).lightness();
            if (lightness < 250) {
                row.right = x;
                row.darkest = std::min(row.darkest, lightness);
            }
        }
        if (row.right == 0) {
            inLine = false;
        } else if (inLine) {
            auto& line = lines.back();
            line = {line.top, y, std::max(line.right, row.right), std::min(line.darkest, row.darkest)};
        } else {
            lines.push_back(row);
            inLine = true;
        }
    }
    return lines;
}

/// A document of `count` connections for the bundle at `url`, the last one's purpose "Last one.".
Lumora largeDocument(const ZRURL& url, std::size_t count) {
    using Description = Lumora::ConnectionDescription;
    std::vector<Description> connections;
    for (std::size_t index = 0; index < count; ++index) {
        connections.emplace_back(false, std::vector{Description::HostMatchingRule::host("sync.example")},
                                 NetworkProtocol::tcp, PortSet::withPort(443),
                                 Description::Relevance::default_,
                                 index + 1 == count ? "Last one." : "Syncs.", std::nullopt);
    }
    const auto primary = std::make_shared<const Lumora::Source>(
        Lumora::Source::SourceType::internal, url, url, "Example Ltd", std::nullopt, "Edits text.",
        std::move(connections), std::vector<Lumora::ServiceDescription>{}, std::nullopt);
    return Lumora(primary, {});
}

// A large page is built off the main thread; a page overtaken by a newer state is never shown.
TEST_F(MainWindowTest, ALargePageIsBuiltInTheBackgroundAndTheNewestPageWins) {
    auto environment = LumoraLoadEnvironment::current();
    environment.load = [real = environment.load](const ZRURL& url, const LumoraLoader::Options& options) {
        return url.lastPathComponent() == "TextEditor.app" ? largeDocument(url, 5000) : real(url, options);
    };
    LumoraLoadEnvironment::setCurrent(environment);
    auto& window = makeWindow();
    auto& pages = window.documentPageController();
    auto* building = pages.findChild<QThreadPool*>();
    ASSERT_NE(building, nullptr);
    QSignalSpy changed(&pages, &DocumentPageController::pageChanged);
    const auto& list = window.applicationsSourceController().arrayController();

    window.listView().setCurrentIndex(list.index(2, 0));
    ASSERT_TRUE(changed.wait(20000));
    EXPECT_NE(changed.last().at(0).toString().indexOf("Last one."), -1);

    // The large page starts building; the next selection's small page overtakes it.
    window.listView().setCurrentIndex(list.index(3, 0));
    window.listView().setCurrentIndex(list.index(2, 0));
    pages.setNeedsRebuild();
    QCoreApplication::processEvents();
    window.listView().setCurrentIndex(list.index(3, 0));
    QCoreApplication::processEvents();
    building->waitForDone();
    QCoreApplication::sendPostedEvents();
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.last().at(0).toString().indexOf("Last one."), -1);
    EXPECT_NE(changed.last().at(0).toString().indexOf("Calculator"), -1);
}

// The signature line as painted: under the name and the folder line, in the colour of the header's
// detail lines; the unsigned sample's shorter line stands in the same place.
TEST_F(MainWindowTest, TheHeaderPaintsTheSignatureLineUnderTheFolderLine) {
    auto& window = makeWindow();
    auto& list = window.applicationsSourceController().arrayController();
    const auto select = [&](const QString& name) {
        QSignalSpy shown(&window, &MainWindow::pageShown);
        list.setSelectedApplication(listedApplication(window, name));
        return shown.wait(20000);
    };
    const auto lines = [&] { return headerTextLines(window.webView().grab().toImage()); };
    const QColor detail(QString::fromStdString(PageColors::forAppearance(false, std::nullopt).detail));

    // Both samples have a version and no copyright: the name, the version, the folder, the signature.
    ASSERT_TRUE(select("Calculator"));
    ASSERT_TRUE(
        window.documentPageController().pageHTML().contains("<p>Developer ID: <bdi>Fixture Developer"));
    std::vector<InkedLine> signedLines;
    ASSERT_EVENTUALLY((signedLines = lines()).size() == 4,
                      "the header shows " << signedLines.size() << " lines");
    EXPECT_LT(signedLines[0].darkest, 80) << "the name is dark";
    EXPECT_NEAR(signedLines[3].darkest, detail.lightness(), 12) << "the signature line is not a detail line";

    ASSERT_TRUE(select("Unsigned"));
    ASSERT_TRUE(window.documentPageController().pageHTML().contains("<p>Not signed</p>"));
    std::vector<InkedLine> unsignedLines;
    EXPECT_EVENTUALLY(
        (unsignedLines = lines()).size() == 4 && unsignedLines[2] == signedLines[2] &&
            unsignedLines[3].top == signedLines[3].top && unsignedLines[3].right < signedLines[3].right - 100,
        "the unsigned sample's signature line is not a shorter line under the same folder line");
}

TEST_F(MainWindowTest, ArrowKeysInTheSearchFieldMoveTheSelection) {
    auto& window = makeWindow();
    auto& search = window.searchField();
    search.setFocus();
    QTest::keyClicks(&search, "e");
    EXPECT_EQ(arrangedNames(window),
              (QStringList{"Sandboxed", "SandboxedServer", "TextEditor", "Tampered", "Unsigned"}));
    QTest::keyClick(&search, Qt::Key_Down);
    const auto& list = window.applicationsSourceController().arrayController();
    ASSERT_NE(list.selectedApplication(), nullptr);
    EXPECT_EQ(list.selectedApplication()->displayName(), "Sandboxed");
    QTest::keyClick(&search, Qt::Key_Down);
    EXPECT_EQ(list.selectedApplication()->displayName(), "SandboxedServer");
    QTest::keyClick(&search, Qt::Key_Up);
    EXPECT_EQ(list.selectedApplication()->displayName(), "Sandboxed");
    EXPECT_EQ(search.text(), "e");
    EXPECT_TRUE(search.hasFocus());
}

TEST_F(MainWindowTest, CommandsFollowTheSelectionAndContextMenusHideDisabledOnes) {
    setUnreadable("Calculator.app");
    auto& window = makeWindow();
    auto& list = window.applicationsSourceController().arrayController();
    EXPECT_FALSE(window.commands().showInFinder->isEnabled());
    EXPECT_TRUE(window.commands().open->isEnabled());

    const auto calculator = listedApplication(window, "Calculator");
    ASSERT_NE(calculator, nullptr);
    list.setSelectedApplication(calculator);
    auto menu = window.makeListContextMenu();
    QStringList names;
    for (const auto* action : menu->actions()) {
        names.append(action->objectName());
    }
    EXPECT_TRUE(names.contains("grantReadPermission"));
    EXPECT_FALSE(names.contains("revealLumora"));
    EXPECT_TRUE(names.contains("showInFinder"));

    // Granting starts at the folder that holds the application.
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().grantReadPermission));
    ASSERT_EQ(_openPanel.requests.size(), 1U);
    EXPECT_EQ(_openPanel.requests[0].directory, examples);
    EXPECT_TRUE(_openPanel.requests[0].choosesDirectories);

    list.setSelectedApplication(list.applicationAt(0));
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().revealLumora));
    ASSERT_EQ(_platformServices.shownItems.size(), 1U);
    EXPECT_EQ(_platformServices.shownItems[0].front().filename(), "Lumora.plist");
}

TEST_F(MainWindowTest, WithNothingSelectedThePageFollowsEveryApplicationsState) {
    auto& window = makeWindow();
    auto& sources = window.applicationsSourceController();
    ASSERT_TRUE(sources.proposedDirectoryURLsToGrantReadPermission().empty());
    const QString before = window.documentPageController().pageHTML();
    const auto calculator = listedApplication(window, "Calculator");
    ASSERT_NE(calculator, nullptr);
    // The bundle becomes unreadable and is read again: its folder is proposed on the page.
    setUnreadable("Calculator.app");
    calculator->readLumoraInBackground();
    ASSERT_EVENTUALLY(!sources.proposedDirectoryURLsToGrantReadPermission().empty() &&
                          window.documentPageController().pageHTML() != before,
                      "the page did not follow the application's new state");
}

TEST_F(MainWindowTest, AddingAFolderThatIsNoApplicationBeepsAndGrantsNothing) {
    QTemporaryDir folder;
    auto& window = makeWindow();
    _openPanel.answer = {QtStrings::toPath(folder.path())};
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().open));
    EXPECT_EQ(_platformServices.beeps, 1);
    EXPECT_FALSE(window.applicationsSourceController().canResetReadPermissions());

    _openPanel.answer = {examples / "Calculator.app"};
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().open));
    EXPECT_EQ(_platformServices.beeps, 1);
    EXPECT_TRUE(window.applicationsSourceController().canResetReadPermissions());
}

TEST_F(MainWindowTest, TheLoadingViewCountsTheApplicationsRead) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    MainWindow window(_preferences, sourcesListing(), _platformServices);
    EXPECT_EQ(window.sidebar().loadingText(), ShellText::localized("loadingApplications"));
    emit window.applicationsSourceController().initialLoadingProgressed(4210, 10000);
    EXPECT_EQ(window.sidebar().loadingText(), "Loading 4,210 of 10,000 applications");
    auto* bar = window.sidebar().findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->maximum(), 10000);
    EXPECT_EQ(bar->value(), 4210);
    QLocale::setDefault(previous);
}

// Starting the web engine holds the main thread for a fifth of a second: the window shows, and
// its loading view gets going, before it starts.
TEST_F(MainWindowTest, TheWindowShowsBeforeTheWebEngineStarts) {
    _window = std::make_unique<MainWindow>(_preferences, sourcesListing(), _platformServices);
    _window->show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(_window->webView().isVisible()) << "showing the window started the engine";
    _window->startUpdating();
    ASSERT_TRUE(initialLoadingFinishes(_window->applicationsSourceController()));
    ASSERT_EVENTUALLY(_window->webView().isVisible(), "the page never showed");
    EXPECT_TRUE(_window->webView().page()->profile()->isOffTheRecord())
        << "the view shows a page of the default profile, not its own";
    QSignalSpy shown(_window.get(), &MainWindow::pageShown);
    _window->applicationsSourceController().arrayController().setSelectedApplication(
        listedApplication(*_window, "TextEditor"));
    ASSERT_TRUE(shown.wait(20000));
    EXPECT_EVENTUALLY(ShellTestSupport::hasDarkPixel(_window->webView().grab().toImage(), 100, 30, 400, 160),
                      "the page's heading never showed");
}

// A remembered application on a hung volume: its access check blocks on the disk queue, while the
// window is already up with its loading view, and quitting gives up on the check.
TEST_F(MainWindowTest, AHungRememberedItemLeavesTheWindowUpWithItsLoadingView) {
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> checking = false;
    const QTemporaryDir empty;
    auto sources = sourcesListing(QtStrings::toPath(empty.path()));
    sources.startAccessing = [released, &checking](const std::filesystem::path&) {
        checking = true;
        released.wait_for(std::chrono::seconds(10));
        return true;
    };
    const auto remembered = examples / "Calculator.app";
    _preferences.setSecurityScopedBookmarks(
        {{QtStrings::fromPath(remembered), QByteArray::fromStdString(remembered.native())}});
    _window = std::make_unique<MainWindow>(_preferences, std::move(sources), _platformServices);
    _window->show();
    _window->startUpdating();
    ASSERT_EVENTUALLY(checking, "the remembered item is checked");
    EXPECT_TRUE(_window->isVisible());
    EXPECT_FALSE(_window->applicationsSourceController().initialLoadingFinished());
    EXPECT_FALSE(_window->sidebar().loadingText().isEmpty());
    EXPECT_FALSE(DiskOperationQueue::stopBackgroundWork(std::chrono::milliseconds(50)))
        << "quitting does not wait for the hung check";

    release.set_value();
    ASSERT_TRUE(initialLoadingFinishes(_window->applicationsSourceController()));
    EXPECT_EQ(arrangedNames(*_window), QStringList{"Calculator"});
    EXPECT_TRUE(_window->applicationsSourceController().canResetReadPermissions());
}

TEST_F(MainWindowTest, DroppingAddsApplicationsButNotFolders) {
    QTemporaryDir elsewhere;
    const auto dropped = QtStrings::toPath(elsewhere.path()) / "Dropped.app";
    std::filesystem::copy(examples / "Calculator.app", dropped, std::filesystem::copy_options::recursive);
    auto& window = makeWindow();
    const auto drop = [&](const QString& path) { return dropOnList(window, QtStrings::toPath(path)); };
    EXPECT_FALSE(drop(elsewhere.path()));
    EXPECT_EQ(arrangedNames(window).size(), 7);
    EXPECT_TRUE(drop(QtStrings::fromPath(dropped)));
    const auto& selected = window.applicationsSourceController().arrayController().selectedApplication();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->displayName(), "Dropped");
}

TEST_F(MainWindowTest, DroppedArchivesListTheirApplicationsOrSayWhyNot) {
    QTemporaryDir elsewhere;
    const auto folder = QtStrings::toPath(elsewhere.path());
    const auto archive = folder / "Apps.zip";
    ChildProcess::Options zip;
    zip.arguments = {
        "7zz", "a", "-snl", "-bd", "--", archive.string(), (examples / "TextEditor.app").string()};
    ASSERT_TRUE(ChildProcess::run(zip).succeeded());
    std::ofstream(folder / "Broken.dmg") << "not a disk image\n";

    auto sources = sourcesListing();
    sources.archiveExtractionCache = std::make_shared<ArchiveExtractionCache>(folder / "cache");
    auto& window = makeWindow(std::move(sources));

    EXPECT_TRUE(dropOnList(window, archive));
    auto& arrayController = window.applicationsSourceController().arrayController();
    ASSERT_EVENTUALLY(arrayController.selectedInstalledApplication() &&
                          arrayController.selectedInstalledApplication()->isLumoraLoaded(),
                      "the archive's application was not selected and loaded");
    EXPECT_EQ(arrayController.selectedApplication()->displayName(), "TextEditor");
    ASSERT_EVENTUALLY(window.documentPageController().pageHTML().contains("in <bdi>Apps.zip</bdi>"),
                      "the page does not name the archive");
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().showInFinder));
    ASSERT_EQ(_platformServices.shownItems.size(), 1U);
    EXPECT_EQ(_platformServices.shownItems.front(), std::vector<std::filesystem::path>{archive});

    EXPECT_TRUE(dropOnList(window, folder / "Broken.dmg"));
    ASSERT_EVENTUALLY(window.findChild<QMessageBox*>(QStringLiteral("archiveRefused")) != nullptr,
                      "no alert for the broken disk image");
    const auto* alert = window.findChild<QMessageBox*>(QStringLiteral("archiveRefused"));
    EXPECT_EQ(alert->text(),
              ShellText::localized("archiveRefusedMessageFormat %@").replace("%@", "Broken.dmg"));
    EXPECT_EQ(alert->informativeText(), ShellText::localized("archiveRefusedReason_cannotOpen"));
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_EQ(_platformServices.beeps, 1);
    EXPECT_EQ(arrangedNames(window).size(), 8);
}

TEST_F(MainWindowTest, ThePagesFormsReachTheirCommands) {
    auto& window = makeWindow();
    emit window.webView().grantReadPermissionRequested(QUrl::fromLocalFile("/opt/apps/"));
    ASSERT_EQ(_openPanel.requests.size(), 1U);
    EXPECT_EQ(_openPanel.requests[0].directory, "/opt/apps/");
    emit window.webView().grantReadPermissionRequested(QUrl());
    EXPECT_EQ(_platformServices.beeps, 1);
    EXPECT_EQ(_openPanel.requests.size(), 1U);

    emit window.webView().showPreviewApplicationsRequested();
    EXPECT_TRUE(_preferences.previewApplicationsSourceEnabled());
}

TEST_F(MainWindowTest, ResettingReadAccessIsInTheMenuWhileGrantsExistAndAsksFirst) {
    auto& window = makeWindow();
    auto& controller = window.applicationsSourceController();
    QAction* reset = window.commands().resetReadPermissions;
    const auto menus = window.menuBar()->findChildren<QMenu*>();
    EXPECT_TRUE(std::any_of(menus.begin(), menus.end(),
                            [&](QMenu* menu) { return menu->actions().contains(reset); }));
    EXPECT_FALSE(reset->isVisible()) << "no grants yet";
    controller.addWithSecurityScopedFileURLs({ZRURL::fileURL(examples, true)}, false);
    ASSERT_TRUE(controller.canResetReadPermissions());
    EXPECT_TRUE(reset->isVisible());
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().resetReadPermissions));
    auto* alert = window.findChild<QMessageBox*>("resetReadPermissionsAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(controller.canResetReadPermissions());
    for (auto* button : alert->buttons()) {
        if (button->text() == ShellText::localized("resetReadPermissionsAlertResetButtonTitle")) {
            button->click();
        }
    }
    EXPECT_FALSE(controller.canResetReadPermissions());
    EXPECT_FALSE(reset->isVisible());
}

TEST_F(MainWindowTest, OpenInBrowserWritesThePageAndOpensIt) {
    auto& window = makeWindow();
    ASSERT_TRUE(ShellTestSupport::trigger(window.commands().openInBrowser));
    ASSERT_EQ(_platformServices.openedURLs.size(), 1);
    const QString path = QDir(QDir::tempPath()).filePath("LumoraViewer.html");
    EXPECT_EQ(_platformServices.openedURLs.front(), QUrl::fromLocalFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), window.documentPageController().pageHTML());
}

TEST_F(MainWindowTest, AnEmptyListSaysWhyAndOffersWhatHelps) {
    QTemporaryDir empty;
    auto& window = makeWindow(sourcesListing(QtStrings::toPath(empty.path())));
    auto& sidebar = window.sidebar();
    EXPECT_EQ(sidebar.emptyListText(), ShellText::localized("noApplicationsFoundText"));
    EXPECT_EQ(sidebar.emptyListButtonText(), ShellText::localized("noApplicationsFoundAddButtonTitle"));
    auto* button = sidebar.findChild<QPushButton*>(QStringLiteral("emptyListButton"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(_openPanel.requests.size(), 1U) << "the button offers the open panel";

    std::filesystem::copy(examples / "Calculator.app", QtStrings::toPath(empty.path()) / "Calculator.app",
                          std::filesystem::copy_options::recursive);
    window.applicationsSourceController().addWithSecurityScopedFileURLs(
        {ZRURL::fileURL(QtStrings::toPath(empty.path()) / "Calculator.app", true)}, false);
    EXPECT_TRUE(sidebar.emptyListText().isEmpty());
    QTest::keyClicks(&window.searchField(), "zzz");
    EXPECT_EQ(sidebar.emptyListButtonText(), ShellText::localized("clearSearchButtonTitle"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(window.searchField().text().isEmpty());
    EXPECT_TRUE(sidebar.emptyListText().isEmpty());
}

TEST_F(MainWindowTest, QuittingForgetsTheFeaturedApplicationsAndOpensHandedFiles) {
    // A handed file wins over the selection remembered from the last session.
    _preferences.setValue(PreferenceKeys::selectedApplication,
                          QtStrings::fromPath(examples / "Calculator.app"));
    AppController controller(_preferences, _platformServices, sourcesListing());
    // Handed over before launching: kept, and a later list replaces the earlier one.
    controller.openFiles({QtStrings::fromPath(examples / "Tampered.app")});
    controller.openFiles(
        {QtStrings::fromPath(examples / "TextEditor.app"), QtStrings::fromPath(examples / "notes.txt")});
    controller.applicationDidFinishLaunching();
    ASSERT_NE(controller.mainWindow(), nullptr);
    auto& sourceController = controller.mainWindow()->applicationsSourceController();
    ASSERT_TRUE(initialLoadingFinishes(sourceController));
    const auto& selected =
        controller.mainWindow()->applicationsSourceController().arrayController().selectedApplication();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->displayName(), "TextEditor");

    controller.openFiles({QtStrings::fromPath(examples / "DemoCertificateAuthority.pem")});
    EXPECT_EQ(_platformServices.beeps, 1);

    _preferences.setPreviewApplicationsSourceEnabled(true);
    controller.applicationWillTerminate();
    EXPECT_FALSE(_preferences.previewApplicationsSourceEnabled());
}

TEST_F(MainWindowTest, TheDeveloperPanelNarrowsThePageInDeveloperMode) {
    AppController controller(_preferences, _platformServices, sourcesListing());
    controller.applicationDidFinishLaunching();
    auto& window = *controller.mainWindow();
    auto& sourceController = window.applicationsSourceController();
    ASSERT_TRUE(initialLoadingFinishes(sourceController));
    auto& list = sourceController.arrayController();
    list.setSelectedApplication(list.applicationAt(2));
    ASSERT_EQ(list.selectedApplication()->displayName(), "TextEditor");

    auto& panel = controller.developerPanel().model();
    panel.setSimulateConnection(true);
    panel.setRemoteEndpointType(DeveloperPanelModel::RemoteEndpointType::host);
    panel.setRemoteEndpointArgument("telemetry.example.com");
    // Without developer mode the panel changes nothing.
    const QString everything = window.documentPageController().pageHTML();
    EXPECT_TRUE(everything.contains("updates.example.com"));
    _preferences.setDeveloperModeEnabled(true);
    const QString narrowed = window.documentPageController().pageHTML();
    EXPECT_TRUE(narrowed.contains("telemetry.example.com"));
    EXPECT_FALSE(narrowed.contains("updates.example.com"));
}

TEST_F(MainWindowTest, ADarkPaletteGivesADarkPage) {
    auto& window = makeWindow();
    EXPECT_TRUE(window.documentPageController().pageHTML().contains("background-color: #ffffff;"));
    QPalette dark = window.palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::Highlight, QColor(200, 80, 0));
    window.setPalette(dark);
    const QString page = window.documentPageController().pageHTML();
    EXPECT_TRUE(page.contains("background-color: #1e1e1e;"));
    EXPECT_TRUE(page.contains("background-color: #c85000;")) << "buttons take the accent colour";
}

TEST_F(MainWindowTest, TheLastSelectionComesBackWhenItIsListedAgain) {
    QTemporaryDir folder;
    const QString file = folder.filePath("LumoraViewer.ini");
    {
        Preferences stored(file);
        stored.setSpotlightApplicationsSourceEnabled(false);
        MainWindow first(stored, sourcesListing(), _platformServices);
        first.startUpdating();
        ASSERT_TRUE(initialLoadingFinishes(first.applicationsSourceController()));
        auto& list = first.applicationsSourceController().arrayController();
        list.setSelectedApplication(list.applicationAt(3));
        ASSERT_EQ(list.selectedApplication()->displayName(), "Calculator");
        first.close();
    }
    Preferences stored(file);
    MainWindow again(stored, sourcesListing(), _platformServices);
    again.startUpdating();
    ASSERT_TRUE(initialLoadingFinishes(again.applicationsSourceController()));
    const auto& selected = again.applicationsSourceController().arrayController().selectedApplication();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(selected->displayName(), "Calculator");
}

TEST_F(MainWindowTest, SettingsThatCannotBeSavedAreReportedInTheWindow) {
    QTemporaryDir folder;
    // A file where the settings folder should be: nothing can be written below it, even as root.
    QFile blocker(folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Preferences unwritable(folder.filePath("blocked/LumoraViewer.ini"));
    MainWindow window(unwritable, sourcesListing(), _platformServices);
    window.show();
    unwritable.setShowPortsAndProtocols(true);
    unwritable.setDeveloperModeEnabled(true);
    const auto messages = window.findChildren<QMessageBox*>("settingsWriteFailure");
    ASSERT_EQ(messages.size(), 1) << "one message however many changes fail";
    EXPECT_FALSE(messages.front()->isModal());
    EXPECT_TRUE(messages.front()->text().contains(folder.filePath("blocked/LumoraViewer.ini")));
    EXPECT_TRUE(unwritable.showPortsAndProtocols()) << "the change holds for the session";
}
