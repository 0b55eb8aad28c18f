#include "Code/Shell/NewWindowPage.h"

#include "Code/Shell/DocumentWebPage.h"

#include <QTimer>

namespace {

/// How long the page waits for its first navigation before it gives up and goes.
constexpr int unusedPageLifetimeMilliseconds = 10000;

} // namespace

NewWindowPage::NewWindowPage(DocumentWebPage& openingPage)
    : QWebEnginePage(openingPage.profile(), &openingPage)
    , _openingPage(openingPage) {
    QTimer::singleShot(unusedPageLifetimeMilliseconds, this, &QObject::deleteLater);
}

bool NewWindowPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (isMainFrame) {
        _openingPage.handleNavigationFromNewWindow(url, type);
        deleteLater();
    }
    return false;
}
