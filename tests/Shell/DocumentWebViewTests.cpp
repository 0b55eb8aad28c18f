#include "Code/Presentation/DocumentPage.h"
#include "Code/Shell/DocumentRequestInterceptor.h"
#include "Code/Shell/DocumentWebPage.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/PlatformServices.h"
#include "RecordingPlatformServices.h"
#include "ShellTestSupport.h"

#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <functional>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

constexpr int loadTimeout = 10000;
const QColor red(255, 0, 0);
const QColor green(0, 255, 0);
const QColor blue(0, 0, 255);
const QColor darkWindow(30, 30, 30);

bool nearColor(QColor actual, QColor expected) {
    return std::abs(actual.red() - expected.red()) <= 8 && std::abs(actual.green() - expected.green()) <= 8 &&
           std::abs(actual.blue() - expected.blue()) <= 8;
}

QColor pixelAt(QWidget& widget, QPoint point) {
    return widget.grab().toImage().pixelColor(point);
}

/// A page whose only content is an element filling the top-left 120 × 60 pixels.
QString pageWithBox(const QString& element, const QString& head = {}) {
    return QStringLiteral("<html><head><style>body{margin:0;background:#fff}"
                          ".box{position:fixed;left:0;top:0;width:120px;height:60px;display:block;"
                          "border:none;margin:0;padding:0;background:#ff0000;color:#ff0000}</style>%1</head>"
                          "<body>%2</body></html>")
        .arg(head, element);
}

const QPoint insideBox(60, 30);

class DocumentWebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<DocumentWebView>(services);
        view->setFirstPageFadeIn(0ms, 0ms);
        view->resize(400, 300);
        view->show();
    }

    /// Shows the page and waits until it has loaded and painted `color` at `point`.
    void showPage(const QString& html, QPoint point = insideBox, QColor color = red) {
        QSignalSpy loaded(view.get(), &DocumentWebView::pageLoaded);
        view->showPage(html);
        ASSERT_TRUE(loaded.wait(loadTimeout));
        ASSERT_TRUE(ShellTestSupport::waitUntil([&] { return nearColor(pixelAt(*view, point), color); }))
            << pixelAt(*view, point).name().toStdString();
    }

    void click(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(view->focusProxy(), button, {}, point);
    }

    /// Moves the mouse onto a link and waits until the page has seen it there. The engine may not
    /// be taking input yet when the page has painted, and it reports only changes of the link
    /// under the pointer: the pointer moves off and onto the link (somewhere new each time, as a
    /// move to where it is does not count) until it is seen. Returns where the pointer is.
    QPoint hoverLink(QPoint point) {
        QSignalSpy hovered(view->page(), &QWebEnginePage::linkHovered);
        static int moves = 0;
        bool onLink = false;
        const bool seen = ShellTestSupport::waitUntil([&] {
            if (onLink && !hovered.isEmpty() && !hovered.back().front().toString().isEmpty()) {
                return true;
            }
            ++moves;
            onLink = !onLink;
            const QPoint next =
                onLink ? QPoint(point.x() + moves % 8, point.y()) : QPoint(300, 250 + moves % 8);
            QTest::mouseMove(view->focusProxy(), next);
            if (onLink) {
                point = next;
            }
            return false;
        });
        EXPECT_TRUE(seen);
        return point;
    }

    /// Clicks a link (the pointer resting on it first, as a user's does) and waits until the page
    /// has either opened it or beeped.
    void clickLink(QPoint point = insideBox) {
        point = hoverLink(point);
        QSignalSpy opened(&services, &RecordingPlatformServices::opened);
        QSignalSpy beeped(&services, &RecordingPlatformServices::beeped);
        click(point);
        ASSERT_TRUE(ShellTestSupport::waitUntil([&] { return !opened.isEmpty() || !beeped.isEmpty(); }));
    }

    RecordingPlatformServices services;
    std::unique_ptr<DocumentWebView> view;
};

} // namespace

// Forms ---------------------------------------------------------------------------------------------

TEST_F(DocumentWebViewTest, GrantFormClickSendsTheFolderIntact) {
    const std::filesystem::path folder = "/tmp/Apps & Tools/Ünïcode+plus %20 folder";
    const QString form = QString::fromStdString(grantReadPermissionFormHTML(folder));
    showPage(pageWithBox(
        form, QStringLiteral("<style>input{position:fixed;left:0;top:0;width:120px;"
                             "height:60px;border:none;background:#ff0000;color:#ff0000}</style>")));
    QSignalSpy requested(view.get(), &DocumentWebView::grantReadPermissionRequested);
    QSignalSpy finished(view->page(), &QWebEnginePage::loadFinished);
    click(insideBox);
    ASSERT_TRUE(requested.wait(loadTimeout));
    const QUrl folderURL = requested.front().front().toUrl();
    EXPECT_TRUE(folderURL.isLocalFile());
    EXPECT_EQ(folderURL.toLocalFile().toStdString(), folder.string() + "/");
    EXPECT_EQ(services.beeps, 0);
    // The cancelled submission ends the load attempt; the page stays.
    EXPECT_TRUE(finished.wait(loadTimeout));
    EXPECT_FALSE(finished.back().front().toBool());
    EXPECT_TRUE(nearColor(pixelAt(*view, insideBox), red));
}

TEST_F(DocumentWebViewTest, PreviewFormClickAsksToShowPreviewApplications) {
    DocumentPageSnapshot snapshot;
    snapshot.initialLoadingFinished = true;
    snapshot.previewApplicationsSourceOffered = true;
    QString page = QString::fromStdString(pageHTML(snapshot));
    ASSERT_TRUE(page.contains(QStringLiteral("showPreviewApplications")));
    page.replace(QStringLiteral("</head>"),
                 QStringLiteral("<style>.showPreviewApplicationsForm input{position:fixed;left:0;top:0;"
                                "width:120px;height:60px;background:#ff0000;color:#ff0000}</style></head>"));
    showPage(page);
    QSignalSpy requested(view.get(), &DocumentWebView::showPreviewApplicationsRequested);
    click(insideBox);
    EXPECT_TRUE(requested.wait(loadTimeout));
    EXPECT_EQ(services.beeps, 0);
}

TEST(DocumentWebPageForms, GrantFolderValueIsDecodedOnce) {
    const auto folder = [](const char* url) { return DocumentWebPage::grantReadPermissionFolder(QUrl(url)); };
    EXPECT_EQ(folder("lumora-page:/grantReadPermission?fileURL=file%3A%2F%2F%2Ftmp%2FA%2520B%2F"),
              QUrl("file:///tmp/A%20B/"));
    // A form sent with GET encodes spaces as '+'.
    EXPECT_EQ(folder("lumora-page:/grantReadPermission?fileURL=file:///tmp/A+B/"),
              QUrl("file:///tmp/A%20B/"));
    EXPECT_EQ(folder("lumora-page:/grantReadPermission?fileURL=file%3A%2F%2F%2Ftmp%2FA%2BB%2F"),
              QUrl("file:///tmp/A+B/"));
}

TEST(DocumentWebPageForms, GrantWithoutAFolderIsNoRequest) {
    const auto folder = [](const char* url) { return DocumentWebPage::grantReadPermissionFolder(QUrl(url)); };
    EXPECT_FALSE(folder("lumora-page:/grantReadPermission"));
    EXPECT_FALSE(folder("lumora-page:/grantReadPermission?fileURL="));
    EXPECT_FALSE(folder("lumora-page:/grantReadPermission?fileURL"));
    EXPECT_FALSE(folder("lumora-page:/grantReadPermission?other=file:///tmp/&fileURL=file:///tmp/"));
    // Values that are not a local folder's URL: a request with an invalid URL.
    for (const char* url : {"lumora-page:/grantReadPermission?fileURL=not%20a%20url",
                            "lumora-page:/grantReadPermission?fileURL=https%3A%2F%2Fexample.com%2F",
                            "lumora-page:/grantReadPermission?fileURL=file%3A%2F%2Fserver%2Fshare",
                            "lumora-page:/grantReadPermission?fileURL=%3A%3A"}) {
        const auto result = folder(url);
        ASSERT_TRUE(result) << url;
        EXPECT_FALSE(result->isValid()) << url;
    }
}

TEST_F(DocumentWebViewTest, GrantFormWithoutFolderBeeps) {
    showPage(pageWithBox(QStringLiteral("<form action=\"grantReadPermission\" method=\"post\">"
                                        "<input class=\"box\" type=\"submit\" value=\"\"></form>")));
    QSignalSpy requested(view.get(), &DocumentWebView::grantReadPermissionRequested);
    QSignalSpy beeped(&services, &RecordingPlatformServices::beeped);
    click(insideBox);
    ASSERT_TRUE(beeped.wait(loadTimeout));
    EXPECT_TRUE(requested.isEmpty());
}

// Links ---------------------------------------------------------------------------------------------

TEST_F(DocumentWebViewTest, WebAndMailLinksOpenOutsideTheProgram) {
    for (const auto& [target, link] :
         {std::pair{QString(), QStringLiteral("https://example.com/a?b=c#d")},
          std::pair{QStringLiteral(" target=\"_blank\""), QStringLiteral("mailto:someone@example.com")}}) {
        SCOPED_TRACE(link.toStdString());
        SetUp();
        showPage(pageWithBox(QStringLiteral("<a class=\"box\"%1 href=\"%2\">x</a>").arg(target, link)));
        clickLink();
        ASSERT_FALSE(services.openedURLs.isEmpty());
        EXPECT_EQ(services.openedURLs.back(), QUrl(link));
        EXPECT_TRUE(nearColor(pixelAt(*view, insideBox), red));
    }
    EXPECT_EQ(services.openedURLs.size(), 2);
    EXPECT_EQ(services.beeps, 0);
}

TEST_F(DocumentWebViewTest, OtherLinksOnlyBeep) {
    for (const QString& link :
         {QStringLiteral("javascript:document.body.style.background='blue'"),
          QStringLiteral("file:///etc/passwd"), QStringLiteral("lumora-page:/page-1.html"),
          QStringLiteral("custom-app:open?x=1"), QStringLiteral("data:text/html,hello"),
          QStringLiteral("elsewhere.html")}) {
        SCOPED_TRACE(link.toStdString());
        for (const QString& target : {QString(), QStringLiteral(" target=\"_blank\"")}) {
            // A fresh view each time: the engine may still be acting on the previous click.
            SetUp();
            showPage(pageWithBox(QStringLiteral("<a class=\"box\"%1 href=\"%2\">x</a>").arg(target, link)));
            const int beeps = services.beeps;
            clickLink();
            EXPECT_EQ(services.beeps, beeps + 1);
            EXPECT_TRUE(services.openedURLs.isEmpty());
        }
    }
    EXPECT_TRUE(nearColor(pixelAt(*view, insideBox), red));
}

TEST(DocumentWebPageLinks, OnlyWebAndMailAddressesLeave) {
    for (const char* url : {"https://example.com/", "http://example.com:8080/x", "mailto:a@example.com",
                            "HTTPS://EXAMPLE.COM/"}) {
        EXPECT_TRUE(DocumentWebPage::opensOutsideTheProgram(QUrl(url))) << url;
    }
    for (const char* url :
         {"https:", "https:///path", "mailto:", "javascript:alert(1)", "file:///tmp/", "ftp://example.com/",
          "lumora-page:/page-1.html", "data:text/plain,x", "x-app:y", "", "about:blank"}) {
        EXPECT_FALSE(DocumentWebPage::opensOutsideTheProgram(QUrl(url))) << url;
    }
}

// Loads ---------------------------------------------------------------------------------------------

TEST_F(DocumentWebViewTest, RemoteResourcesAreBlocked) {
    auto* interceptor = view->findChild<DocumentRequestInterceptor*>();
    ASSERT_NE(interceptor, nullptr);
    // The engine already keeps a local page from loading remote resources; with that first
    // defence lowered, the interceptor is what stops them.
    view->page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    QList<QUrl> blocked;
    QObject::connect(interceptor, &DocumentRequestInterceptor::requestBlocked, view.get(),
                     [&](const QUrl& url) { blocked.append(url); });
    showPage(
        pageWithBox(QStringLiteral("<div class=\"box\"></div>"
                                   "<img src=\"https://example.invalid/image.png\">"
                                   "<img src=\"lumora-page:/image.png\">"
                                   "<iframe src=\"https://example.invalid/frame.html\"></iframe>"),
                    QStringLiteral("<link rel=\"stylesheet\" href=\"https://example.invalid/style.css\">")));
    // The frame never gets as far: the page's navigation rules refuse every frame.
    EXPECT_TRUE(ShellTestSupport::waitUntil([&] { return blocked.size() >= 3; })) << blocked.size();
    EXPECT_TRUE(blocked.contains(QUrl("lumora-page:/image.png")));
    EXPECT_TRUE(blocked.contains(QUrl("https://example.invalid/image.png")));
    EXPECT_TRUE(blocked.contains(QUrl("https://example.invalid/style.css")));
}

TEST(DocumentRequestInterceptorDecisions, AllowsOnlyThePageAndEmbeddedImages) {
    using Info = QWebEngineUrlRequestInfo;
    EXPECT_TRUE(
        DocumentRequestInterceptor::allows(QUrl("lumora-page:/page-1.html"), Info::ResourceTypeMainFrame));
    EXPECT_TRUE(DocumentRequestInterceptor::allows(QUrl("data:text/html,x"), Info::ResourceTypeMainFrame));
    EXPECT_TRUE(
        DocumentRequestInterceptor::allows(QUrl("data:image/png;base64,AA=="), Info::ResourceTypeImage));
    EXPECT_FALSE(
        DocumentRequestInterceptor::allows(QUrl("https://example.com/"), Info::ResourceTypeMainFrame));
    EXPECT_FALSE(
        DocumentRequestInterceptor::allows(QUrl("https://example.com/a.png"), Info::ResourceTypeImage));
    EXPECT_FALSE(DocumentRequestInterceptor::allows(QUrl("file:///tmp/a.png"), Info::ResourceTypeImage));
    EXPECT_FALSE(
        DocumentRequestInterceptor::allows(QUrl("lumora-page:/page-1.html"), Info::ResourceTypeImage));
    EXPECT_FALSE(DocumentRequestInterceptor::allows(QUrl("data:text/html,x"), Info::ResourceTypeSubFrame));
    EXPECT_FALSE(DocumentRequestInterceptor::allows(QUrl("data:text/css,x"), Info::ResourceTypeStylesheet));
    EXPECT_FALSE(
        DocumentRequestInterceptor::allows(QUrl("https://example.com/f.ico"), Info::ResourceTypeFavicon));
}

TEST_F(DocumentWebViewTest, PageOverTwoMegabytesShows) {
    // Three megabytes of text that percent-encode to three times as much.
    const QString filler =
        QStringLiteral("<p style=\"display:none\">%1</p>").arg(QString(3 * 1024 * 1024, u'<'));
    showPage(pageWithBox(QStringLiteral("<div class=\"box\" style=\"background:#0000ff\"></div>") + filler),
             insideBox, blue);
    EXPECT_EQ(view->page()->url().scheme(), QStringLiteral("lumora-page"));
    // The next small page replaces it.
    showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
}

TEST_F(DocumentWebViewTest, EverySecondPageReplacesTheFirst) {
    QSignalSpy loaded(view.get(), &DocumentWebView::pageLoaded);
    view->showPage(pageWithBox(QStringLiteral("<div class=\"box\" style=\"background:#0000ff\"></div>")));
    view->showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
    ASSERT_TRUE(loaded.wait(loadTimeout));
    EXPECT_TRUE(ShellTestSupport::waitUntil([&] { return nearColor(pixelAt(*view, insideBox), red); }));
    EXPECT_EQ(loaded.size(), 1);
}

TEST_F(DocumentWebViewTest, TheSamePageAgainIsKeptNotLoadedAgain) {
    const QString page = pageWithBox(QStringLiteral("<div class=\"box\"></div>"));
    showPage(page);
    QSignalSpy started(view->page(), &QWebEnginePage::loadStarted);
    QSignalSpy loaded(view.get(), &DocumentWebView::pageLoaded);
    view->showPage(page);
    ASSERT_TRUE(loaded.wait(loadTimeout));
    EXPECT_EQ(started.size(), 0);
    // Given again while it is still loading, it loads once.
    const QString other =
        pageWithBox(QStringLiteral("<div class=\"box\" style=\"background:#0000ff\"></div>"));
    loaded.clear();
    view->showPage(other);
    view->showPage(other);
    ASSERT_TRUE(loaded.wait(loadTimeout));
    EXPECT_TRUE(ShellTestSupport::waitUntil([&] { return nearColor(pixelAt(*view, insideBox), blue); }));
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(loaded.size(), 1);
}

// Appearance ----------------------------------------------------------------------------------------

TEST_F(DocumentWebViewTest, DarkWindowColourShowsBeforeAndBehindThePage) {
    view->setPageBackgroundColor(darkWindow);
    view->setFirstPageFadeIn(0ms, 50ms);
    EXPECT_TRUE(nearColor(pixelAt(*view, QPoint(200, 150)), darkWindow));
    // A page without a background of its own shows the window's colour around its content.
    showPage(QStringLiteral("<html><body style=\"margin:0\"><div style=\"position:fixed;left:0;top:0;"
                            "width:120px;height:60px;background:#ff0000\"></div></body></html>"));
    EXPECT_TRUE(nearColor(pixelAt(*view, QPoint(200, 150)), darkWindow));
    EXPECT_TRUE(ShellTestSupport::waitUntil(
        [&] { return !view->findChild<QWidget*>(QStringLiteral("documentWebViewCover")); }));
}

TEST_F(DocumentWebViewTest, FirstPageWaitsUnderTheCoverUntilItFadesIn) {
    const ShellTestSupport::AnimationsOn animations;
    view->setPageBackgroundColor(darkWindow);
    view->setFirstPageFadeIn(600000ms, 0ms);
    QSignalSpy loaded(view.get(), &DocumentWebView::pageLoaded);
    view->showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
    ASSERT_TRUE(loaded.wait(loadTimeout));
    // Let the page paint under the cover.
    QSignalSpy painted(view->page(), &QWebEnginePage::loadProgress);
    painted.wait(200);
    EXPECT_TRUE(nearColor(pixelAt(*view, insideBox), darkWindow));
    auto* cover = view->findChild<QWidget*>(QStringLiteral("documentWebViewCover"));
    ASSERT_NE(cover, nullptr);
    EXPECT_TRUE(cover->isVisible());
    EXPECT_EQ(cover->geometry(), view->rect());
}

// Interaction ---------------------------------------------------------------------------------------

TEST_F(DocumentWebViewTest, ContextMenuOffersOnlyCopyingLinks) {
    showPage(pageWithBox(QStringLiteral(
        "<a class=\"box\" href=\"https://example.com/\">link text</a>"
        "<p style=\"position:fixed;left:0;top:100px;margin:0;font-size:40px;color:#000\">text</p>")));
    const auto openMenu = [&](QPoint point) -> QMenu* {
        QMenu* menu = nullptr;
        click(point, Qt::RightButton);
        QTest::mouseMove(view->focusProxy(), point + QPoint(1, 1));
        ShellTestSupport::waitUntil(
            [&] {
                menu = view->findChild<QMenu*>(QStringLiteral("documentContextMenu"));
                return menu != nullptr;
            },
            1000ms);
        return menu;
    };
    QMenu* menu = openMenu(hoverLink(insideBox));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front(), view->pageAction(QWebEnginePage::CopyLinkToClipboard));
    delete menu;
    // Plain text without a selection: no menu at all.
    EXPECT_EQ(openMenu(QPoint(20, 120)), nullptr);
    // With text selected, Copy is offered.
    QSignalSpy selected(view->page(), &QWebEnginePage::selectionChanged);
    view->triggerPageAction(QWebEnginePage::SelectAll);
    ASSERT_TRUE(selected.wait(loadTimeout));
    menu = openMenu(QPoint(20, 120));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front(), view->pageAction(QWebEnginePage::Copy));
    delete menu;
}

TEST(DocumentWebViewFocus, MousePressGivesTheViewFocus) {
    RecordingPlatformServices services;
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    auto* view = new DocumentWebView(services, &window);
    view->setFirstPageFadeIn(0ms, 0ms);
    layout->addWidget(field);
    layout->addWidget(view);
    window.resize(400, 400);
    window.show();
    QSignalSpy loaded(view, &DocumentWebView::pageLoaded);
    view->showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
    ASSERT_TRUE(loaded.wait(loadTimeout));
    ASSERT_TRUE(ShellTestSupport::waitUntil([&] { return nearColor(pixelAt(*view, insideBox), red); }));
    field->setFocus();
    ASSERT_EQ(window.focusWidget(), field);
    QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, insideBox);
    EXPECT_TRUE(
        ShellTestSupport::waitUntil([&] { return window.focusWidget() == view->focusProxy(); }, 2000ms));
}

TEST_F(DocumentWebViewTest, DroppedFileDoesNotReplaceThePage) {
    showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
    QSignalSpy started(view->page(), &QWebEnginePage::loadStarted);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))});
    QWidget* target = view->focusProxy();
    QDragEnterEvent enter(insideBox, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &enter);
    QDragMoveEvent move(insideBox, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(insideBox, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_FALSE(started.wait(500));
    EXPECT_TRUE(nearColor(pixelAt(*view, insideBox), red));
}

TEST_F(DocumentWebViewTest, ScriptsAndRiskyFeaturesAreOff) {
    QWebEngineSettings* settings = view->page()->settings();
    for (const auto attribute :
         {QWebEngineSettings::JavascriptEnabled, QWebEngineSettings::PluginsEnabled,
          QWebEngineSettings::LocalContentCanAccessRemoteUrls, QWebEngineSettings::LocalStorageEnabled,
          QWebEngineSettings::JavascriptCanAccessClipboard, QWebEngineSettings::JavascriptCanOpenWindows,
          QWebEngineSettings::PdfViewerEnabled, QWebEngineSettings::DnsPrefetchEnabled,
          QWebEngineSettings::HyperlinkAuditingEnabled, QWebEngineSettings::AutoLoadIconsForPage,
          QWebEngineSettings::NavigateOnDropEnabled}) {
        EXPECT_FALSE(settings->testAttribute(attribute)) << attribute;
    }
    EXPECT_EQ(settings->unknownUrlSchemePolicy(), QWebEngineSettings::DisallowUnknownUrlSchemes);
    EXPECT_TRUE(view->page()->profile()->isOffTheRecord());
    // A script in the page does not run.
    showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>"
                                        "<script>document.body.style.background='#0000ff'</script>")),
             QPoint(200, 150), QColor(255, 255, 255));
}

TEST_F(DocumentWebViewTest, PermissionRequestsAreDenied) {
    showPage(pageWithBox(QStringLiteral("<div class=\"box\"></div>")));
    QSignalSpy requested(view->page(), &QWebEnginePage::featurePermissionRequested);
    QSignalSpy title(view->page(), &QWebEnginePage::titleChanged);
    // Scripts are off for the page; the test asks from the world reserved to the program.
    view->page()->runJavaScript(
        QStringLiteral("navigator.geolocation.getCurrentPosition(() => { document.title = 'granted'; },"
                       " (error) => { document.title = 'denied ' + error.code; });"),
        QWebEngineScript::ApplicationWorld);
    ASSERT_TRUE(title.wait(loadTimeout));
    EXPECT_EQ(view->page()->title(), QStringLiteral("denied 1"));
    EXPECT_EQ(requested.size(), 1);
}
