#pragma once

#include <QWidget>

class PlatformServices;
class QTextBrowser;
class QUrl;

/// The documentation of the declaration format for application developers, compiled into the
/// program and shown rendered. Nothing in it loads from outside the program; its web and mail
/// links open in the desktop's programs, every other link is refused with a beep.
class DeclarationFormatWindow : public QWidget {
    Q_OBJECT

public:
    /// The document inside the program's resources.
    static constexpr const char* documentResourcePath = ":/docs/declaration-format.md";

    /// `platformServices` must outlive the window.
    explicit DeclarationFormatWindow(PlatformServices& platformServices, QWidget* parent = nullptr);

    /// The document's Markdown text; empty if the resource is missing from the build.
    static QString documentText();

private:
    void openLink(const QUrl& url);
    /// Scrolls to the heading that a link such as "#translations" names; false when there is none.
    bool scrollToHeading(const QString& fragment);

    PlatformServices& _platformServices;
    QTextBrowser* _textBrowser = nullptr;
};
