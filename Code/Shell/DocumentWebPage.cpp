#include "Code/Shell/DocumentWebPage.h"

#include "Code/Shell/DocumentSchemeHandler.h"
#include "Code/Shell/NewWindowPage.h"
#include "Code/Shell/PlatformServices.h"

#include <QUrlQuery>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

DocumentWebPage::DocumentWebPage(PlatformServices& platformServices, QWebEngineProfile* profile,
                                 QObject* parent)
    : QWebEnginePage(profile, parent)
    , _platformServices(platformServices) {
    connect(this, &QWebEnginePage::featurePermissionRequested, this, &DocumentWebPage::denyFeature);
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
}

void DocumentWebPage::setCurrentPageURL(const QUrl& url) {
    _currentPageURL = url;
}

bool DocumentWebPage::opensOutsideTheProgram(const QUrl& url) {
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        return !url.host().isEmpty();
    }
    if (scheme == QLatin1String("mailto")) {
        return !url.path().isEmpty();
    }
    return false;
}

std::optional<QUrl> DocumentWebPage::grantReadPermissionFolder(const QUrl& submissionURL) {
    // QUrlQuery leaves '+' as it is; in a submitted form it stands for a space.
    QString query = submissionURL.query(QUrl::FullyEncoded);
    query.replace(QLatin1Char('+'), QLatin1String("%20"));
    const auto items = QUrlQuery(query).queryItems(QUrl::FullyDecoded);
    if (items.isEmpty() || items.front().first != QLatin1String("fileURL") ||
        items.front().second.isEmpty()) {
        return std::nullopt;
    }
    const QUrl folder(items.front().second);
    const bool localFolder = folder.isValid() && folder.scheme() == QLatin1String("file") &&
                             folder.host().isEmpty() && folder.path().startsWith(QLatin1Char('/')) &&
                             !folder.hasQuery() && !folder.hasFragment();
    return localFolder ? folder : QUrl();
}

void DocumentWebPage::handleNavigationFromNewWindow(const QUrl& url, NavigationType type) {
    if (type == NavigationTypeLinkClicked) {
        handleLinkNavigation(url);
    } else if (type == NavigationTypeFormSubmitted) {
        handleFormSubmission(url);
    }
}

bool DocumentWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    switch (type) {
    case NavigationTypeFormSubmitted:
        if (isMainFrame) {
            handleFormSubmission(url);
        }
        return false;
    case NavigationTypeLinkClicked:
        if (isMainFrame) {
            handleLinkNavigation(url);
        }
        return false;
    case NavigationTypeTyped:
    case NavigationTypeReload:
        // The page's own load: handed over on the page scheme, or as a data: URL whose base is the
        // current page's address. Going back to an earlier page, frames, redirects and anything
        // else are cancelled.
        return isMainFrame && (url.scheme() == QLatin1String("data") ||
                               url.adjusted(QUrl::RemoveFragment) == _currentPageURL);
    default:
        return false;
    }
}

QWebEnginePage* DocumentWebPage::createWindow(WebWindowType) {
    return new NewWindowPage(*this);
}

QStringList DocumentWebPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) {
    return {};
}

void DocumentWebPage::handleFormSubmission(const QUrl& url) {
    if (url.scheme() != QLatin1String(DocumentSchemeHandler::scheme())) {
        return;
    }
    const QString path = url.path();
    if (path == QLatin1String("/grantReadPermission")) {
        if (const auto folder = grantReadPermissionFolder(url)) {
            emit grantReadPermissionRequested(*folder);
        } else {
            _platformServices.beep();
        }
    } else if (path == QLatin1String("/showPreviewApplications")) {
        emit showPreviewApplicationsRequested();
    }
}

void DocumentWebPage::handleClickedLink(const QUrl& url) {
    _clickedLink = url;
    handleLink(url);
}

void DocumentWebPage::handleLinkNavigation(const QUrl& url) {
    if (!_clickedLink.isEmpty() && url == _clickedLink) {
        _clickedLink.clear();
        return;
    }
    handleLink(url);
}

void DocumentWebPage::handleLink(const QUrl& url) {
    if (!opensOutsideTheProgram(url) || !_platformServices.openURL(url)) {
        _platformServices.beep();
    }
}

void DocumentWebPage::denyFeature(const QUrl& securityOrigin, Feature feature) {
    setFeaturePermission(securityOrigin, feature, PermissionDeniedByUser);
}
