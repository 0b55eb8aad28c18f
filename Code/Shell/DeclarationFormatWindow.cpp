#include "Code/Shell/DeclarationFormatWindow.h"

#include "Code/Shell/PlatformServices.h"
#include "Code/Shell/ShellText.h"

#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

constexpr const char* declarationFormatTable = "DeclarationFormat";

/// A text browser that loads nothing but the program's own resources: an image or style sheet
/// that the document names elsewhere (a web address, a local file) stays empty.
class OfflineTextBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        if (name.scheme() == QLatin1String("qrc") && name.path().startsWith(QLatin1String("/docs/"))) {
            return QTextBrowser::loadResource(type, name);
        }
        return {};
    }
};

/// The anchor name that Markdown renderers give a heading: lower case, spaces as hyphens, other
/// punctuation left out.
QString anchorForHeading(const QString& heading) {
    QString anchor;
    for (const QChar character : heading.trimmed().toLower()) {
        if (character.isLetterOrNumber() || character == QLatin1Char('-') || character == QLatin1Char('_')) {
            anchor.append(character);
        } else if (character.isSpace()) {
            anchor.append(QLatin1Char('-'));
        }
    }
    return anchor;
}

bool isExternalLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                             scheme == QLatin1String("mailto"));
}

} // namespace

DeclarationFormatWindow::DeclarationFormatWindow(PlatformServices& platformServices, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , _platformServices(platformServices) {
    setWindowTitle(ShellText::localized("windowTitle", declarationFormatTable));
    _textBrowser = new OfflineTextBrowser(this);
    _textBrowser->setObjectName(QStringLiteral("document"));
    _textBrowser->setAccessibleName(ShellText::localized("documentAccessibleName", declarationFormatTable));
    _textBrowser->setOpenLinks(false);
    _textBrowser->setOpenExternalLinks(false);
    _textBrowser->setSearchPaths({});
    _textBrowser->setMarkdown(documentText());
    _textBrowser->document()->setDocumentMargin(16);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_textBrowser);
    resize(780, 860);

    connect(_textBrowser, &QTextBrowser::anchorClicked, this, &DeclarationFormatWindow::openLink);
}

QString DeclarationFormatWindow::documentText() {
    QFile file(QString::fromLatin1(documentResourcePath));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

void DeclarationFormatWindow::openLink(const QUrl& url) {
    if (isExternalLink(url)) {
        _platformServices.openURL(url);
        return;
    }
    const bool isLinkWithinDocument = url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment();
    if (isLinkWithinDocument && scrollToHeading(url.fragment())) {
        return;
    }
    _platformServices.beep();
}

bool DeclarationFormatWindow::scrollToHeading(const QString& fragment) {
    for (QTextBlock block = _textBrowser->document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0 && anchorForHeading(block.text()) == fragment) {
            QTextCursor cursor(block);
            _textBrowser->setTextCursor(cursor);
            // The heading at the top of the view, not merely somewhere inside it.
            auto* scrollBar = _textBrowser->verticalScrollBar();
            scrollBar->setValue(scrollBar->value() + _textBrowser->cursorRect(cursor).top());
            return true;
        }
    }
    return false;
}
