#include "Code/Shell/DeclarationFormatWindow.h"
#include "MissingLocalizationReport.h"
#include "RecordingPlatformServices.h"

#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <vector>

#include <gtest/gtest.h>

namespace {

class DeclarationFormatWindowTest : public ::testing::Test {
protected:
    QTextBrowser* browser() {
        auto* found = window.findChild<QTextBrowser*>(QStringLiteral("document"));
        EXPECT_NE(found, nullptr);
        return found;
    }
    void click(const QString& link) { emit browser()->anchorClicked(QUrl(link)); }

    RecordingPlatformServices platformServices;
    DeclarationFormatWindow window{platformServices};
};

TEST_F(DeclarationFormatWindowTest, ShowsTheDocumentCompiledIntoTheProgram) {
    QFile source(QStringLiteral(LUMORA_SOURCE_DIR "/docs/declaration-format.md"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QString firstLine = QString::fromUtf8(source.readLine()).trimmed();
    ASSERT_TRUE(firstLine.startsWith(QLatin1String("# ")));

    const QTextBlock first = browser()->document()->firstBlock();
    EXPECT_EQ(first.blockFormat().headingLevel(), 1);
    EXPECT_EQ(first.text(), firstLine.mid(2));
    EXPECT_FALSE(window.windowTitle().isEmpty());
    EXPECT_FALSE(window.isModal());
}

TEST_F(DeclarationFormatWindowTest, WebAndMailLinksReachTheDesktop) {
    click(QStringLiteral("https://example.com/editor"));
    click(QStringLiteral("HTTP://example.com/"));
    click(QStringLiteral("mailto:developer@example.com"));
    ASSERT_EQ(platformServices.openedURLs.size(), 3);
    EXPECT_EQ(platformServices.openedURLs[0], QUrl(QStringLiteral("https://example.com/editor")));
    EXPECT_EQ(platformServices.openedURLs[2].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(platformServices.beeps, 0);
}

TEST_F(DeclarationFormatWindowTest, OtherLinksOnlyBeep) {
    for (const char* link : {"javascript:alert(1)", "file:///etc/passwd", "lumora-page://document/",
                             "data:text/html,<b>x</b>", "/etc/passwd", "#no-such-heading"}) {
        click(QString::fromLatin1(link));
    }
    EXPECT_TRUE(platformServices.openedURLs.isEmpty());
    EXPECT_EQ(platformServices.beeps, 6);
}

TEST_F(DeclarationFormatWindowTest, LinksWithinTheDocumentMoveToTheirHeading) {
    click(QStringLiteral("#translations"));
    EXPECT_EQ(browser()->textCursor().block().text(), QStringLiteral("Translations"));
    click(QStringLiteral("#the-code-signature-requirement"));
    EXPECT_EQ(browser()->textCursor().block().text(), QStringLiteral("The code signature requirement"));
    EXPECT_EQ(platformServices.beeps, 0);
    EXPECT_TRUE(platformServices.openedURLs.isEmpty());
}

TEST_F(DeclarationFormatWindowTest, LoadsNothingFromOutsideTheProgram) {
    for (const char* resource : {"https://example.com/tracker.png", "file:///etc/hostname", "/etc/hostname",
                                 "qrc:/other/picture.png"}) {
        EXPECT_FALSE(browser()
                         ->loadResource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(resource)))
                         .isValid())
            << resource;
    }
    EXPECT_TRUE(browser()
                    ->loadResource(QTextDocument::MarkdownResource,
                                   QUrl(QStringLiteral("qrc:/docs/declaration-format.md")))
                    .isValid());
}

TEST(DeclarationFormatStrings, EveryKeyTheWindowUsesIsInTheTable) {
    RecordingPlatformServices platformServices;
    EXPECT_EQ(missingLocalizationsReported("DeclarationFormat",
                                           [&] { DeclarationFormatWindow window(platformServices); }),
              "");
}

} // namespace
