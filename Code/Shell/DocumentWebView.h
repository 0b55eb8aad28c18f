#pragma once

#include <QColor>
#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <chrono>

class DocumentRequestInterceptor;
class DocumentSchemeHandler;
class DocumentWebPage;
class PlatformServices;
class QWebEngineProfile;

/// Shows the document page: complete pages handed over by the program, nothing loaded from
/// elsewhere, no scripts, and the page's forms and links turned into signals and desktop calls.
/// The first page fades in over the window's colour.
class DocumentWebView : public QWebEngineView {
    Q_OBJECT
public:
    /// The scheme of the page's base URL; registered before the QApplication exists.
    static void registerPageScheme();

    explicit DocumentWebView(PlatformServices& platformServices, QWidget* parent = nullptr);
    /// Tears the page down before its off-the-record profile.
    ~DocumentWebView() override;

    /// Shows a complete page; any size (pages too large for a data: URL are served by the page
    /// scheme's handler). The page already shown or loading, given again, is kept as it is (with
    /// its scroll position) instead of being loaded again; pageLoaded follows all the same. The
    /// first call starts the web engine.
    void showPage(const QString& html);
    /// The window colour behind the page until the first page has faded in, and the page's own
    /// background colour, so nothing flashes white in a dark window.
    void setPageBackgroundColor(const QColor& color);
    /// How long after the first page has loaded it starts to fade in, and how long the fade takes.
    void setFirstPageFadeIn(std::chrono::milliseconds delay, std::chrono::milliseconds duration);

signals:
    /// The grant form was submitted; the folder from its "fileURL" (a file URL), or an invalid QUrl
    /// when the value is not a URL (the window then beeps).
    void grantReadPermissionRequested(const QUrl& folderURL);
    void showPreviewApplicationsRequested();
    /// The page given last to showPage has finished loading (loadFinished(true) of that page).
    void pageLoaded();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    /// Makes the page first: shown without one, the view would make a page of the default profile.
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    /// Makes the engine's page and its off-the-record profile. The engine's first start takes a
    /// fifth of a second on the main thread, so the view is made without them and the window can
    /// show before it.
    void makePage();
    void applySettings();
    void loadCurrentPage();
    void handleLoadFinished(bool ok);
    void startFadeIn();

    /// Covers the page in the background colour until the first page has faded in. Declared first:
    /// the view's event handler looks at it while the other members are being made.
    QPointer<QWidget> _cover;
    PlatformServices& _platformServices;
    QWebEngineProfile* _profile = nullptr;
    DocumentSchemeHandler* _schemeHandler = nullptr;
    DocumentRequestInterceptor* _requestInterceptor = nullptr;
    DocumentWebPage* _documentPage = nullptr;
    QColor _backgroundColor;
    std::chrono::milliseconds _fadeInDelay{300};
    std::chrono::milliseconds _fadeInDuration{1000};
    bool _firstPageLoaded = false;
    quint64 _pageNumber = 0;
    QUrl _currentPageURL;
    QByteArray _currentPageHTML;
    qsizetype _currentPageEncodedLength = 0;
    bool _currentPageShown = false;
    bool _isLoadingCurrentPage = false;
    int _loadAttempts = 0;
    /// The link under the mouse, and the one under it when a button was last pressed.
    QUrl _hoveredLink;
    QUrl _pressedLink;
};
