#include "Code/Shell/ViewerLaunch.h"

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/DiskOperationQueue.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/StandardApplicationsSources.h"
#include "Code/Shell/AppController.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/MainWindow.h"
#include "Code/Shell/PlatformServices.h"
#include "Code/Shell/ShellAnimation.h"
#include "Code/Shell/SingleInstance.h"
#include "Code/Shell/ViewerLogFilter.h"
#include "LumoraVersion.h"
#include "LumoraViewerManual.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRCryptoLibrary.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

namespace ViewerLaunch {

namespace {

std::optional<QSize> parseSize(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool widthOK = false;
    bool heightOK = false;
    const int width = parts[0].toInt(&widthOK);
    const int height = parts[1].toInt(&heightOK);
    if (!widthOK || !heightOK || width < 320 || height < 240 || width > 8192 || height > 8192) {
        return std::nullopt;
    }
    return QSize(width, height);
}

std::optional<std::string> addFolder(const QString& option, const QString& value,
                                     std::optional<std::vector<std::filesystem::path>>& folders) {
    const QFileInfo info(value);
    if (!info.isDir()) {
        return option.toStdString() + " " + value.toStdString() + ": no such folder";
    }
    if (!folders) {
        folders.emplace();
    }
    folders->push_back(QtStrings::toPath(info.absoluteFilePath()));
    return std::nullopt;
}

/// Whether the web engine's sandbox was turned off on purpose, as the test environment and
/// scripts/run-viewer.sh do.
bool isSandboxDisabledOnPurpose() {
    const char* disabled = std::getenv("QTWEBENGINE_DISABLE_SANDBOX");
    const char* flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    return (disabled != nullptr && std::string_view(disabled) == "1") ||
           (flags != nullptr && std::string_view(flags).find("--no-sandbox") != std::string_view::npos);
}

/// Milliseconds since the kernel started this process (its start time in /proc/self/stat, in clock
/// ticks since boot), so that loading the libraries counts too; none if that cannot be read.
std::optional<double> millisecondsSinceProcessStart() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // The command name in parentheses may hold spaces: the fields after it start at its end.
    const QByteArray text = stat.readAll();
    const qsizetype nameEnd = text.lastIndexOf(')');
    if (nameEnd < 0) {
        return std::nullopt;
    }
    // Fields from the state (the third) on; the start time is the twenty-second.
    const QList<QByteArray> fields = text.mid(nameEnd + 2).split(' ');
    constexpr qsizetype startTimeField = 22 - 3;
    bool ok = false;
    const qulonglong startTicks =
        fields.size() > startTimeField ? fields[startTimeField].toULongLong(&ok) : 0;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (!ok || ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return std::nullopt;
    }
    const double nowMilliseconds =
        static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
    return nowMilliseconds - static_cast<double>(startTicks) * 1000.0 / static_cast<double>(ticksPerSecond);
}

/// Whether `image` shows more than one colour, sampled every seventh pixel.
bool showsMoreThanOneColour(const QImage& image) {
    if (image.isNull()) {
        return false;
    }
    const QRgb first = image.pixel(image.width() / 2, std::min(40, image.height() - 1));
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            if (image.pixel(x, y) != first) {
                return true;
            }
        }
    }
    return false;
}

/// Renders the window once the selection's page has painted, writes `file` and quits.
class ScreenshotTaker : public QObject {
public:
    ScreenshotTaker(MainWindow& window, QString file, std::optional<QString> selectName,
                    bool reportFirstPaint)
        : QObject(&window)
        , _window(window)
        , _file(std::move(file))
        , _selectName(std::move(selectName))
        , _reportsFirstPaint(reportFirstPaint) {
        connect(&window.applicationsSourceController(),
                &ApplicationsSourceController::didFinishInitialLoading, this, &ScreenshotTaker::select);
        connect(&window, &MainWindow::pageShown, this, [this] {
            if (_selected) {
                _polls = 0;
                _pollTimer.start();
                if (_reportsFirstPaint) {
                    _firstPaintTimer.start();
                }
            }
        });
        _pollTimer.setInterval(50);
        connect(&_pollTimer, &QTimer::timeout, this, &ScreenshotTaker::poll);
        _firstPaintTimer.setInterval(2);
        connect(&_firstPaintTimer, &QTimer::timeout, this, &ScreenshotTaker::pollFirstPaint);
        if (_reportsFirstPaint) {
            connect(&window.applicationsSourceController(),
                    &ApplicationsSourceController::initialLoadingProgressed, this, [this] {
                        if (!std::exchange(_reportedProgress, true)) {
                            report("loading progress shown");
                        }
                    });
        }
        if (window.applicationsSourceController().initialLoadingFinished()) {
            select();
        }
    }

private:
    void select() {
        auto& list = _window.applicationsSourceController().arrayController();
        if (_selectName) {
            for (const auto& application : list.arrangedApplications()) {
                if (application->displayName().compare(*_selectName, Qt::CaseInsensitive) == 0) {
                    list.setSelectedApplication(application);
                    break;
                }
            }
            if (!list.selectedApplication()) {
                std::cerr << "lumora-viewer: no listed application is named " << _selectName->toStdString()
                          << "; the screenshot shows no selection\n";
            }
        }
        _selected = true;
        // The page for the selection follows; its load restarts the polling.
        _window.documentPageController().setNeedsRebuild();
    }

    /// A grab right after loading is still blank: wait until the page shows more than one colour,
    /// and the fade-in of the list has ended when there is one.
    void poll() {
        ++_polls;
        const bool painted = showsMoreThanOneColour(_window.webView().grab().toImage());
        const bool fading = ShellAnimation::isEnabled() && _polls * _pollTimer.interval() < 1600;
        if ((!painted || fading) && _polls < 200) {
            return;
        }
        _pollTimer.stop();
        const bool saved = _window.grab().save(_file, "PNG");
        if (!saved) {
            std::cerr << "lumora-viewer: cannot write " << _file.toStdString() << '\n';
        }
        QCoreApplication::exit(saved ? 0 : 1);
    }

    /// The engine's own widget shows the page as soon as it has painted; the whole view shows it
    /// once the cover over the first page starts to fade.
    void pollFirstPaint() {
        if (!_reportedPaint) {
            QWidget* engineWidget = _window.webView().focusProxy();
            if (engineWidget != nullptr && showsMoreThanOneColour(engineWidget->grab().toImage())) {
                _reportedPaint = true;
                report("first page painted");
            }
        } else if (showsMoreThanOneColour(_window.webView().grab().toImage())) {
            report("first page visible");
            _firstPaintTimer.stop();
        }
    }

    static void report(const char* what) {
        if (const auto milliseconds = millisecondsSinceProcessStart()) {
            std::cerr << "lumora-viewer: " << what << " after " << static_cast<long>(*milliseconds)
                      << " ms\n";
        } else {
            std::cerr << "lumora-viewer: " << what << "; the process start time is unknown\n";
        }
    }

    MainWindow& _window;
    QString _file;
    std::optional<QString> _selectName;
    bool _reportsFirstPaint;
    bool _reportedPaint = false;
    bool _reportedProgress = false;
    QTimer _firstPaintTimer;
    QTimer _pollTimer;
    int _polls = 0;
    bool _selected = false;
};

} // namespace

std::string usageText() {
    return std::string(LumoraViewerManual::help);
}

std::variant<Options, std::string> parseArguments(const QStringList& arguments) {
    Options options;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        const auto value = [&]() -> std::optional<QString> {
            if (index + 1 >= arguments.size()) {
                return std::nullopt;
            }
            return arguments[++index];
        };
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.showHelp = true;
        } else if (argument == QLatin1String("--version")) {
            options.showVersion = true;
        } else if (argument == QLatin1String("--scope") || argument == QLatin1String("--folder")) {
            const auto folder = value();
            if (!folder) {
                return argument.toStdString() + " needs a folder";
            }
            if (auto problem =
                    addFolder(argument, *folder,
                              argument == QLatin1String("--scope") ? options.scopes : options.folders)) {
                return *problem;
            }
        } else if (argument == QLatin1String("--extra-trust-anchors")) {
            const auto file = value();
            if (!file) {
                return "--extra-trust-anchors needs a file";
            }
            options.extraTrustAnchorsFile = QtStrings::toPath(*file);
        } else if (argument == QLatin1String("--screenshot")) {
            options.screenshotFile = value();
            if (!options.screenshotFile) {
                return "--screenshot needs a file name";
            }
        } else if (argument == QLatin1String("--select")) {
            options.selectName = value();
            if (!options.selectName) {
                return "--select needs an application's name";
            }
        } else if (argument == QLatin1String("--size")) {
            const auto text = value();
            const auto size = text ? parseSize(*text) : std::nullopt;
            if (!size) {
                return "--size needs WIDTHxHEIGHT, from 320x240 to 8192x8192";
            }
            options.windowSize = *size;
        } else if (argument == QLatin1String("--report-first-paint")) {
            options.reportFirstPaint = true;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return "unknown option " + argument.toStdString();
        } else {
            options.files.append(QFileInfo(argument).absoluteFilePath());
        }
    }
    if ((options.selectName || options.windowSize != QSize(1100, 720) || options.reportFirstPaint) &&
        !options.screenshotFile) {
        return "--select, --size and --report-first-paint belong to --screenshot";
    }
    return options;
}

std::optional<std::string> startProblem() {
    if (::geteuid() == 0 && !isSandboxDisabledOnPurpose()) {
        return "running as root, where the web engine's sandbox cannot start, and lumora-viewer does not "
               "turn it off by itself. Run it as a normal user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to "
               "run without the sandbox knowingly (scripts/run-viewer.sh does so, with a notice).";
    }
    if (auto problem = ZRBundle::mainBundleResourcesProblem("MainWindow")) {
        return problem;
    }
    return std::nullopt;
}

int run(int argc, char** argv) {
#ifdef __GLIBC__
    // The C library gives each thread that allocates a heap arena of its own, up to eight per core.
    // Loads of a long list run on a dozen threads, and the objects they leave behind are spread
    // over all those arenas, each keeping its free space: four arenas hold about 10 MB less with
    // 10,000 applications listed, and load them as fast. Before any thread starts.
    ::mallopt(M_ARENA_MAX, 4);
#endif
    // Before anything else can start the crypto library (Qt's network stack would), so that it
    // never tears itself down at exit under threads still using it.
    ZRCryptoLibrary::initialize();
    QStringList arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.append(QString::fromLocal8Bit(argv[index]));
    }
    const auto parsed = parseArguments(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        // The problem and the usage line; the whole help would bury the one line that matters.
        const std::string_view help = LumoraViewerManual::help;
        std::cerr << "lumora-viewer: " << *problem << '\n'
                  << help.substr(0, help.find('\n')) << "\nRun 'lumora-viewer --help' for every option.\n";
        return 2;
    }
    const auto& options = std::get<Options>(parsed);
    if (options.showHelp) {
        std::cout << usageText();
        return 0;
    }
    if (options.showVersion) {
        std::cout << "lumora-viewer " << LumoraVersionString << '\n';
        return 0;
    }
    if (const auto problem = startProblem()) {
        std::cerr << "lumora-viewer: " << *problem << '\n';
        return 1;
    }
    LumoraLoader::Options loading;
    if (options.extraTrustAnchorsFile) {
        std::string failure;
        const auto anchors = ZRTrustEvaluator::readCertificateFile(*options.extraTrustAnchorsFile, failure);
        if (!anchors) {
            std::cerr << "lumora-viewer: --extra-trust-anchors: " << failure << '\n';
            return 2;
        }
        loading.extraTrustAnchors = *anchors;
    }

    ViewerLogFilter::install();
    DocumentWebView::registerPageScheme();
    // The web engine shares its OpenGL contexts with the application; set before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(LumoraApplicationID));
    QApplication::setApplicationName(QStringLiteral("LumoraViewer"));
    QApplication::setApplicationVersion(QString::fromLatin1(LumoraVersionString));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(LumoraApplicationID));
    LumoraLoadEnvironment::setLoaderOptions(loading);

    const bool takesScreenshot = options.screenshotFile.has_value();
    SingleInstance singleInstance;
    if (!takesScreenshot) {
        switch (singleInstance.forwardToRunningInstance(options.files)) {
        case SingleInstance::Forwarding::forwarded:
            return 0;
        case SingleInstance::Forwarding::failed:
            std::cerr << "lumora-viewer: a viewer is running but did not take the files; try again\n";
            return 1;
        case SingleInstance::Forwarding::noRunningInstance:
            break;
        }
        if (!singleInstance.listen()) {
            std::cerr << "lumora-viewer: cannot listen on " << singleInstance.serverName().toStdString()
                      << "; later starts open windows of their own\n";
        }
    }

    // A screenshot shows a fresh window: nothing is read from or written to the user's settings.
    std::unique_ptr<Preferences> preferences = takesScreenshot
                                                   ? std::make_unique<Preferences>(Preferences::InMemory{})
                                                   : std::make_unique<Preferences>();
    DesktopPlatformServices platformServices;
    AppController controller(*preferences, platformServices,
                             standardApplicationsSources(*preferences, {options.scopes, options.folders}));
    QObject::connect(&singleInstance, &SingleInstance::argumentsReceived, &controller,
                     &AppController::openFiles);
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &AppController::applicationWillTerminate);
    controller.openFiles(options.files);
    controller.applicationDidFinishLaunching();
    if (takesScreenshot) {
        // The picture shows the window as it rests; timing the first paint keeps the fades the
        // user sees.
        ShellAnimation::setEnabled(options.reportFirstPaint);
        controller.mainWindow()->resize(options.windowSize);
        new ScreenshotTaker(*controller.mainWindow(), *options.screenshotFile, options.selectName,
                            options.reportFirstPaint);
    }
    const int status = QApplication::exec();
    // Walks stop with the window; a walk of a hung volume cannot. After 2 s the process ends
    // without them, since destroying the queues would wait for them.
    if (!DiskOperationQueue::stopBackgroundWork(std::chrono::seconds(2))) {
        std::cout.flush();
        std::cerr.flush();
        std::_Exit(status);
    }
    return status;
}

} // namespace ViewerLaunch
