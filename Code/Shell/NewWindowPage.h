#pragma once

#include <QWebEnginePage>

class DocumentWebPage;

/// Stands in for the window a `target=_blank` link asks for: the engine hands the link's address to
/// this page as its first navigation, which is passed back to the document page's rules and
/// cancelled. The page then deletes itself (it holds a renderer process while it lives).
class NewWindowPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit NewWindowPage(DocumentWebPage& openingPage);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    DocumentWebPage& _openingPage;
};
