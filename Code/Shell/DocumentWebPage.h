#pragma once

#include <QUrl>
#include <QWebEnginePage>
#include <optional>

class PlatformServices;

/// The document page's navigation rules. The page only ever shows what the program hands it: its
/// two forms become signals, links to the web and to mail leave the program, every other
/// navigation is cancelled (with the system beep for links that cannot be followed). Requests
/// for permissions or file access are denied.
class DocumentWebPage : public QWebEnginePage {
    Q_OBJECT
public:
    DocumentWebPage(PlatformServices& platformServices, QWebEngineProfile* profile,
                    QObject* parent = nullptr);

    /// The page shown now; only navigations to it load.
    void setCurrentPageURL(const QUrl& url);

    /// Whether a link may be opened by the desktop: http and https addresses with a host, and
    /// mailto addresses.
    static bool opensOutsideTheProgram(const QUrl& url);
    /// The folder named by the grant form's submission URL: nothing when its first query item is
    /// not a "fileURL" with a value; an invalid URL when that value is not the URL of a local
    /// folder. A '+' in the query is a space (as a form with the GET method encodes it).
    static std::optional<QUrl> grantReadPermissionFolder(const QUrl& submissionURL);

    /// Applies the link and form rules to a navigation begun in a window the page asked to open.
    void handleNavigationFromNewWindow(const QUrl& url, NavigationType type);
    /// Applies the link rule to a link the user clicked. The engine drops clicks on some links
    /// without asking (javascript:, schemes it has no handler for such as mailto:, data: in the
    /// page itself), so clicks are handled when they happen; the navigation the engine may still
    /// ask for afterwards is then only cancelled.
    void handleClickedLink(const QUrl& url);

signals:
    void grantReadPermissionRequested(const QUrl& folderURL);
    void showPreviewApplicationsRequested();

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                            const QStringList& acceptedMimeTypes) override;

private:
    void handleFormSubmission(const QUrl& url);
    void handleLink(const QUrl& url);
    void handleLinkNavigation(const QUrl& url);
    void denyFeature(const QUrl& securityOrigin, Feature feature);

    PlatformServices& _platformServices;
    QUrl _currentPageURL;
    /// The link handled at its click, whose navigation request is still to come.
    QUrl _clickedLink;
};
