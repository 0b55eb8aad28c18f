#include "Code/Shell/DocumentWebView.h"

#include "Code/Shell/DocumentRequestInterceptor.h"
#include "Code/Shell/DocumentSchemeHandler.h"
#include "Code/Shell/DocumentWebPage.h"
#include "Code/Shell/ShellAnimation.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>

namespace {

/// The longest URL the engine accepts; setHtml hands the page over as a percent-encoded data: URL.
constexpr qsizetype longestDataURL = 2 * 1024 * 1024;
constexpr qsizetype dataURLPrefixLength = 64;

/// The length of `bytes` percent-encoded as setHtml encodes them, counted without encoding.
qsizetype percentEncodedLength(const QByteArray& bytes) {
    qsizetype length = 0;
    for (const char byte : bytes) {
        const bool unreserved = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                                byte == '~';
        length += unreserved ? 1 : 3;
    }
    return length;
}
constexpr int maximumLoadAttempts = 3;

} // namespace

void DocumentWebView::registerPageScheme() {
    if (QWebEngineUrlScheme::schemeByName(DocumentSchemeHandler::scheme()).name() ==
        DocumentSchemeHandler::scheme()) {
        return;
    }
    QWebEngineUrlScheme scheme(DocumentSchemeHandler::scheme());
    // A registered scheme is what lets the page's relative form actions reach the navigation
    // rules; without it their submissions are dropped silently.
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

DocumentWebView::DocumentWebView(PlatformServices& platformServices, QWidget* parent)
    : QWebEngineView(parent)
    , _platformServices(platformServices) {
    _cover = new QWidget(this);
    _cover->setObjectName(QStringLiteral("documentWebViewCover"));
    _cover->setAttribute(Qt::WA_TransparentForMouseEvents);
    _cover->setAutoFillBackground(true);
    _cover->setGeometry(rect());
    _cover->raise();
    setPageBackgroundColor(palette().color(QPalette::Window));
}

void DocumentWebView::makePage() {
    // Off the record: nothing the page does is kept on disk.
    _profile = new QWebEngineProfile(this);
    _schemeHandler = new DocumentSchemeHandler(_profile);
    _requestInterceptor = new DocumentRequestInterceptor(_profile);
    _documentPage = new DocumentWebPage(_platformServices, _profile, this);
    _profile->installUrlSchemeHandler(DocumentSchemeHandler::scheme(), _schemeHandler);
    _profile->setUrlRequestInterceptor(_requestInterceptor);
    _profile->setSpellCheckEnabled(false);
    applySettings();
    _documentPage->setBackgroundColor(_backgroundColor);
    setPage(_documentPage);
    connect(_documentPage, &DocumentWebPage::grantReadPermissionRequested, this,
            &DocumentWebView::grantReadPermissionRequested);
    connect(_documentPage, &DocumentWebPage::showPreviewApplicationsRequested, this,
            &DocumentWebView::showPreviewApplicationsRequested);
    connect(_documentPage, &QWebEnginePage::loadFinished, this, &DocumentWebView::handleLoadFinished);
    connect(_documentPage, &QWebEnginePage::linkHovered, this,
            [this](const QString& url) { _hoveredLink = QUrl(url); });
}

DocumentWebView::~DocumentWebView() {
    // The page must go before the profile it was made with (both are children of the view).
    delete _documentPage;
}

void DocumentWebView::applySettings() {
    QWebEngineSettings* settings = _profile->settings();
    for (const auto attribute : {
             QWebEngineSettings::JavascriptEnabled,
             QWebEngineSettings::JavascriptCanOpenWindows,
             QWebEngineSettings::JavascriptCanAccessClipboard,
             QWebEngineSettings::JavascriptCanPaste,
             QWebEngineSettings::LocalStorageEnabled,
             QWebEngineSettings::LocalContentCanAccessRemoteUrls,
             QWebEngineSettings::LocalContentCanAccessFileUrls,
             QWebEngineSettings::PluginsEnabled,
             QWebEngineSettings::PdfViewerEnabled,
             QWebEngineSettings::DnsPrefetchEnabled,
             QWebEngineSettings::HyperlinkAuditingEnabled,
             QWebEngineSettings::AutoLoadIconsForPage,
             QWebEngineSettings::TouchIconsEnabled,
             QWebEngineSettings::NavigateOnDropEnabled,
             QWebEngineSettings::ErrorPageEnabled,
             QWebEngineSettings::FullScreenSupportEnabled,
             QWebEngineSettings::ScreenCaptureEnabled,
             QWebEngineSettings::WebGLEnabled,
             QWebEngineSettings::AllowRunningInsecureContent,
             QWebEngineSettings::AllowGeolocationOnInsecureOrigins,
             QWebEngineSettings::AllowWindowActivationFromJavaScript,
             QWebEngineSettings::FocusOnNavigationEnabled,
         }) {
        settings->setAttribute(attribute, false);
    }
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
}

void DocumentWebView::showPage(const QString& html) {
    QByteArray utf8 = html.toUtf8();
    if (utf8 == _currentPageHTML && (_currentPageShown || _isLoadingCurrentPage)) {
        // Rebuilds for changes the page does not show (a second decoded icon, a load state that
        // reads the same) would otherwise start its load again and delay it.
        if (_currentPageShown) {
            QTimer::singleShot(0, this, [this, page = _pageNumber] {
                if (page == _pageNumber) {
                    emit pageLoaded();
                }
            });
        }
        return;
    }
    if (_documentPage == nullptr) {
        makePage();
    }
    _currentPageURL = QUrl(QStringLiteral("%1:/page-%2.html")
                               .arg(QLatin1String(DocumentSchemeHandler::scheme()))
                               .arg(++_pageNumber));
    _documentPage->setCurrentPageURL(_currentPageURL);
    _currentPageHTML = std::move(utf8);
    _currentPageEncodedLength = percentEncodedLength(_currentPageHTML);
    _currentPageShown = false;
    _loadAttempts = 0;
    loadCurrentPage();
}

void DocumentWebView::loadCurrentPage() {
    ++_loadAttempts;
    _isLoadingCurrentPage = true;
    const QByteArray& utf8 = _currentPageHTML;
    if (_currentPageEncodedLength + dataURLPrefixLength < longestDataURL) {
        _schemeHandler->setPage({}, {});
        _documentPage->setHtml(QString::fromUtf8(utf8), _currentPageURL);
    } else {
        _schemeHandler->setPage(_currentPageURL, utf8);
        _documentPage->load(_currentPageURL);
    }
}

void DocumentWebView::setPageBackgroundColor(const QColor& color) {
    _backgroundColor = color;
    if (_documentPage != nullptr) {
        _documentPage->setBackgroundColor(color);
    }
    if (_cover) {
        QPalette coverPalette = _cover->palette();
        coverPalette.setColor(QPalette::Window, color);
        _cover->setPalette(coverPalette);
    }
}

void DocumentWebView::setFirstPageFadeIn(std::chrono::milliseconds delay,
                                         std::chrono::milliseconds duration) {
    _fadeInDelay = delay;
    _fadeInDuration = duration;
}

void DocumentWebView::handleLoadFinished(bool ok) {
    if (_currentPageShown) {
        // A cancelled navigation (a form, a link) also ends in loadFinished(false): nothing to do.
        return;
    }
    _isLoadingCurrentPage = false;
    // After setHtml the page reports either the base address or the page's own data: address,
    // depending on timing; no other main-frame address ever loads (navigation allows none).
    const QUrl loaded = _documentPage->url();
    const bool isCurrentPage = loaded == _currentPageURL || loaded.scheme() == QLatin1String("data");
    if (!ok || !isCurrentPage) {
        // A link's navigation that the engine started while the page was still loading replaces
        // that load, and is then cancelled: the page is loaded again.
        if (!ok && _loadAttempts < maximumLoadAttempts) {
            loadCurrentPage();
        }
        return;
    }
    _currentPageShown = true;
    if (!_firstPageLoaded) {
        _firstPageLoaded = true;
        QTimer::singleShot(ShellAnimation::isEnabled() ? _fadeInDelay : std::chrono::milliseconds(0), this,
                           &DocumentWebView::startFadeIn);
    }
    emit pageLoaded();
}

void DocumentWebView::startFadeIn() {
    if (!_cover) {
        return;
    }
    ShellAnimation::fade(_cover, 1.0, 0.0, static_cast<int>(_fadeInDuration.count()), [cover = _cover] {
        if (cover) {
            cover->deleteLater();
        }
    });
}

bool DocumentWebView::event(QEvent* event) {
    if (event->type() == QEvent::ChildAdded) {
        // The engine's widget that receives input is made on the first page; watch its clicks.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType() && child != _cover) {
            child->installEventFilter(this);
        }
    } else if (event->type() == QEvent::ChildPolished && _cover) {
        _cover->raise();
    }
    return QWebEngineView::event(event);
}

bool DocumentWebView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        setFocus(Qt::MouseFocusReason);
        _pressedLink = _hoveredLink;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto button = static_cast<QMouseEvent*>(event)->button();
        if ((button == Qt::LeftButton || button == Qt::MiddleButton) && _hoveredLink.isValid() &&
            !_hoveredLink.isEmpty() && _hoveredLink == _pressedLink && _documentPage != nullptr) {
            _documentPage->handleClickedLink(_hoveredLink);
        }
        _pressedLink.clear();
    }
    return QWebEngineView::eventFilter(watched, event);
}

void DocumentWebView::showEvent(QShowEvent* event) {
    if (_documentPage == nullptr) {
        makePage();
    }
    QWebEngineView::showEvent(event);
}

void DocumentWebView::resizeEvent(QResizeEvent* event) {
    QWebEngineView::resizeEvent(event);
    if (_cover) {
        _cover->setGeometry(rect());
    }
}

void DocumentWebView::contextMenuEvent(QContextMenuEvent* event) {
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    if (!request) {
        return;
    }
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("documentContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (request->linkUrl().isValid()) {
        menu->addAction(pageAction(QWebEnginePage::CopyLinkToClipboard));
    }
    if (!request->selectedText().isEmpty()) {
        menu->addAction(pageAction(QWebEnginePage::Copy));
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(event->globalPos());
}
