#include "Code/Shell/ViewerLaunch.h"
#include "Code/Shell/ViewerLogFilter.h"
#include "ShellTestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString examples = QStringLiteral(LUMORA_EXAMPLES_DIR);

std::string problemOf(const QStringList& arguments) {
    const auto parsed = ViewerLaunch::parseArguments(arguments);
    const auto* problem = std::get_if<std::string>(&parsed);
    return problem ? *problem : std::string();
}

struct Run {
    int exitCode = -1;
    QString output;
    QString errors;
};

Run runViewer(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LUMORA_VIEWER_PATH), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(ViewerLogFilter, DropsOnlyTheMessagesOfHandledConditions) {
    EXPECT_TRUE(ViewerLogFilter::drops(
        "QICNSHandler::read(): Failed, compressed format \"jp2\" is not supported by your Qt library or this "
        "file is corrupt. OSType: \"ic10\""));
    EXPECT_TRUE(ViewerLogFilter::drops("Sandboxing disabled by user."));
    EXPECT_FALSE(ViewerLogFilter::drops("QICNSHandler::read(): The device wasn't parsed properly!"));
    EXPECT_FALSE(ViewerLogFilter::drops("Error writing preferences /home/a/LumoraViewer.ini"));
    EXPECT_FALSE(ViewerLogFilter::drops(""));
}

} // namespace

TEST(ViewerLaunch, ReadsItsCommandLine) {
    const auto parsed =
        ViewerLaunch::parseArguments({"--scope", examples, "--folder", examples, "--screenshot", "/tmp/x.png",
                                      "--select", "TextEditor", "--size", "800x600", "relative/App.app"});
    const auto* options = std::get_if<ViewerLaunch::Options>(&parsed);
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(options->scopes.has_value());
    EXPECT_EQ(options->scopes->size(), 1U);
    EXPECT_EQ(options->windowSize, QSize(800, 600));
    EXPECT_EQ(options->selectName, "TextEditor");
    ASSERT_EQ(options->files.size(), 1);
    EXPECT_TRUE(options->files.front().startsWith('/'));

    EXPECT_NE(problemOf({"--scope", "/nonexistent/folder"}), "");
    EXPECT_NE(problemOf({"--size", "huge", "--screenshot", "x.png"}), "");
    EXPECT_NE(problemOf({"--size", "100x100", "--screenshot", "x.png"}), "");
    EXPECT_NE(problemOf({"--select", "Mail"}), "");
    EXPECT_NE(problemOf({"--bogus"}), "");
    EXPECT_NE(problemOf({"--screenshot"}), "");
}

TEST(ViewerLaunch, HelpVersionAndUsageErrors) {
    const auto environment = QProcessEnvironment::systemEnvironment();
    const auto help = runViewer({"--help"}, environment);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains("usage: lumora-viewer"));
    // The help comes from the manual's source: every option the parser accepts must be in it.
    QFile source(QStringLiteral(LUMORA_SOURCE_DIR "/Code/Shell/ViewerLaunch.cpp"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QString code = QString::fromUtf8(source.readAll());
    static const QRegularExpression option(QStringLiteral("QLatin1String\\(\"(--[a-z][a-z-]*)\"\\)"));
    int options = 0;
    for (const auto& match : option.globalMatch(code)) {
        ++options;
        EXPECT_TRUE(help.output.contains(match.captured(1))) << match.captured(1).toStdString();
    }
    EXPECT_GE(options, 8);
    const auto version = runViewer({"--version"}, environment);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.output.startsWith("lumora-viewer "));
    const auto wrong = runViewer({"--bogus"}, environment);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.errors.startsWith("lumora-viewer: unknown option --bogus\nusage: lumora-viewer "))
        << wrong.errors.toStdString();
    EXPECT_LE(wrong.errors.count('\n'), 3) << "a usage error is not the whole help";
}

// The sandbox stays on for users: started as root without turning it off on purpose, the viewer
// says why it cannot start instead of turning it off itself.
TEST(ViewerLaunch, AsRootItExplainsInsteadOfDroppingTheSandbox) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root is refused";
    }
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
    environment.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
    const auto run = runViewer({"--scope", examples}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("sandbox")) << run.errors.toStdString();
}

TEST(ViewerLaunch, MissingResourcesAreNamed) {
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMORA_RESOURCES_DIR"), QStringLiteral("/nonexistent/Resources"));
    environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    const auto run = runViewer({"--scope", examples}, environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("/nonexistent/Resources")) << run.errors.toStdString();
}

// The whole program: the samples listed, the editor selected and its page painted.
TEST(ViewerLaunch, ScreenshotShowsTheSelectedApplicationsPage) {
    QTemporaryDir folder;
    const QString file = folder.filePath("viewer.png");
    const auto run = runViewer({"--scope", examples, "--folder", examples, "--extra-trust-anchors",
                                examples + "/DemoCertificateAuthority.pem", "--screenshot", file, "--select",
                                "TextEditor", "--size", "1000x640"},
                               QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    // A quiet start: the engine's report and the warnings of handled conditions stay out.
    for (const char* noise : {"qt.webenginecontext", "WebEngineContext used before", "Sandboxing disabled"}) {
        EXPECT_FALSE(run.errors.contains(QLatin1String(noise))) << run.errors.toStdString();
    }
    const QImage image(file);
    ASSERT_EQ(image.size(), QSize(1000, 640));
    // The selected row, the third, is highlighted beside its name; the one above it is not.
    EXPECT_NE(image.pixelColor(200, 166), image.pixelColor(200, 600)) << "no highlighted row";
    EXPECT_EQ(image.pixelColor(200, 122), image.pixelColor(200, 600)) << "the row above is highlighted";
    // The page's heading is dark text on the white page.
    EXPECT_TRUE(ShellTestSupport::hasDarkPixel(image, 400, 60, 700, 130));
    EXPECT_EQ(image.pixelColor(950, 300).lightness(), 255) << "the page is white";
}
