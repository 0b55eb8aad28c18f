// lumora-viewer-selection: how long the viewer takes from a change of the selection to the new
// page on screen, for documents that declare many connections. Writes two signed applications of
// CONNECTIONS connections each into a temporary folder, opens the main window offscreen on that
// folder, and selects them in turn REPETITIONS times. Each change is timed until a grab of the web
// view shows the new page, with the moments the page was built and loaded on the way.
//
//   lumora-viewer-selection [--connections N] [--repetitions N]
//
// LUMORA_SELECTION_PAGE_FILE=FILE keeps the last page built in FILE, for a look at what the engine
// has to lay out.

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/DocumentPageController.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/MainWindow.h"
#include "Code/Shell/PlatformServices.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"
#include "bench/macro/MacroBenchmarkSupport.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    int connections = 500;
    int repetitions = 20;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "lumora-viewer-selection: " << problem
              << "\nusage: lumora-viewer-selection [--connections N] [--repetitions N]\n";
    std::exit(2);
}

Settings parse(int argc, char** argv) {
    Settings settings;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const auto number = [&] {
            const long value = ++index < argc ? std::strtol(argv[index], nullptr, 10) : 0;
            if (value <= 0 || value > 100000) {
                usage(argument + " needs a positive number");
            }
            return static_cast<int>(value);
        };
        if (argument == "--connections") {
            settings.connections = number();
        } else if (argument == "--repetitions") {
            settings.repetitions = number();
        } else {
            usage("unknown argument " + argument);
        }
    }
    return settings;
}

/// A document declaring `count` connections, each with its own host, port and texts.
std::string declaration(const std::string& name, int count) {
    static const char* const relevances[] = {"Essential", "Default", "Analytics"};
    std::string json =
        "{\n  \"LumoraDictionaryVersion\": \"1.0\",\n  \"DeveloperName\": \"Example Networks\",\n"
        "  \"Website\": \"https://example.com/" +
        name + "\",\n  \"ApplicationDescription\": \"" + name +
        " talks to many servers\",\n  \"Connections\": [\n";
    for (int index = 0; index < count; ++index) {
        const std::string number = std::to_string(index);
        json += "    {\"Host\": \"server-" + number +
                ".example.com\", \"NetworkProtocol\": \"TCP\", \"Port\": \"" + std::to_string(1000 + index) +
                "\", \"Relevance\": \"" + relevances[index % 3] +
                "\", \"Purpose\": \"Exchanges the data of feature " + number +
                " with its server\", \"DenyConsequences\": \"Feature " + number + " stops working\"}";
        json += index + 1 < count ? ",\n" : "\n";
    }
    return json + "  ]\n}\n";
}

FixtureBundleBuilder::Bundle application(const std::string& name, int connections, std::uint32_t seed) {
    FixtureBundleBuilder::Bundle bundle;
    bundle.name = name + ".app";
    bundle.identifier = "com.example." + name;
    bundle.executableName = name;
    bundle.seed = seed;
    bundle.files = {{"Resources/Lumora.json", declaration(name, connections)}};
    return bundle;
}

/// Runs the event loop for about `milliseconds`.
void wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Whether `image` shows more than one colour, sampled every seventh pixel.
bool showsMoreThanOneColour(const QImage& image) {
    if (image.isNull()) {
        return false;
    }
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            if (image.pixel(x, y) != first) {
                return true;
            }
        }
    }
    return false;
}

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Timing {
    double built = 0;
    double loaded = 0;
    double painted = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const Settings settings = parse(argc, argv);
    MacroBenchmarkSupport::TemporaryFolder folder("lumora-viewer-selection");
    // Whatever the web engine and Qt write stays in the temporary folder.
    const auto home = folder.path() / "home";
    const auto runtime = home / "runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);

    const auto applications = folder.path() / "Applications";
    std::filesystem::create_directories(applications);
    const auto authority = FixtureCertificateHierarchy::make();
    std::ofstream(folder.path() / "anchor.pem") << authority.root.pem();
    FixtureSigner::Options signing;
    signing.signer = &authority.developerIDLeaf;
    signing.chain = {&authority.intermediate, &authority.root};
    signing.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
    const std::vector<QString> names{QStringLiteral("ManyConnectionsA"), QStringLiteral("ManyConnectionsB")};
    for (std::size_t index = 0; index < names.size(); ++index) {
        FixtureBundleBuilder::write(applications,
                                    application(names[index].toStdString(), settings.connections,
                                                static_cast<std::uint32_t>(31 + index)),
                                    signing);
    }
    std::string failure;
    const auto anchors = ZRTrustEvaluator::readCertificateFile(folder.path() / "anchor.pem", failure);
    if (!anchors) {
        std::cerr << "lumora-viewer-selection: " << failure << '\n';
        return 1;
    }
    auto environment = LumoraLoadEnvironment::standard();
    environment.loaderOptions.extraTrustAnchors = *anchors;
    LumoraLoadEnvironment::setCurrent(environment);

    DocumentWebView::registerPageScheme();
    QApplication qtApplication(argc, argv);
    Preferences preferences{Preferences::InMemory{}};
    preferences.setSpotlightApplicationsSourceEnabled(false);
    DesktopPlatformServices platformServices;
    ApplicationsSourceController::Sources sources;
    sources.makeFolderApplicationsSource = [applications] {
        return FolderApplicationsSource::make({ZRURL::fileURL(applications, true)});
    };
    sources.startAccessing = [](const std::filesystem::path&) { return true; };
    auto window = std::make_unique<MainWindow>(preferences, sources, platformServices, nullptr);
    window->resize(1100, 720);
    window->show();
    auto& sourceController = window->applicationsSourceController();
    window->startUpdating();
    while (!sourceController.initialLoadingFinished()) {
        wait(10);
    }
    auto& list = sourceController.arrayController();
    std::vector<std::shared_ptr<Application>> selections;
    for (const auto& name : names) {
        for (const auto& candidate : list.arrangedApplications()) {
            if (candidate->displayName() == name) {
                selections.push_back(candidate);
            }
        }
    }
    if (selections.size() != names.size()) {
        std::cerr << "lumora-viewer-selection: the generated applications are not listed\n";
        return 1;
    }

    std::optional<Clock::time_point> built;
    std::optional<Clock::time_point> loaded;
    QObject::connect(&window->documentPageController(), &DocumentPageController::pageChanged,
                     [&](const QString&) { built = Clock::now(); });
    QObject::connect(window.get(), &MainWindow::pageShown, [&] { loaded = Clock::now(); });
    std::size_t pageBytes = 0;
    QObject::connect(&window->documentPageController(), &DocumentPageController::pageChanged,
                     [&](const QString& html) {
                         pageBytes = static_cast<std::size_t>(html.toUtf8().size());
                         if (const char* file = std::getenv("LUMORA_SELECTION_PAGE_FILE")) {
                             std::ofstream(file) << html.toStdString();
                         }
                     });

    QImage shown = window->webView().grab().toImage();
    // Selects `application` the way a click in the list does and waits until the view shows a
    // page other than the one before; none when it never does.
    // The wait sleeps in the event loop (the web engine's own work runs on this thread too); once
    // the page has loaded, the view is grabbed every 2 ms until it shows the new page.
    const auto select = [&](const std::shared_ptr<Application>& application) -> std::optional<Timing> {
        built.reset();
        loaded.reset();
        std::optional<Clock::time_point> painted;
        QEventLoop loop;
        QTimer grabTimer;
        grabTimer.setInterval(2);
        QObject::connect(&grabTimer, &QTimer::timeout, &loop, [&] {
            const QImage page = window->webView().grab().toImage();
            if (page != shown && showsMoreThanOneColour(page)) {
                painted = Clock::now();
                shown = page;
                loop.quit();
            }
        });
        const auto shownConnection =
            QObject::connect(window.get(), &MainWindow::pageShown, &loop, [&] { grabTimer.start(); });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        const auto start = Clock::now();
        window->listView().setCurrentIndex(window->listView().model()->index(list.rowOf(*application), 0));
        loop.exec();
        QObject::disconnect(shownConnection);
        if (!painted || !loaded) {
            return std::nullopt;
        }
        return Timing{built ? millisecondsBetween(start, *built) : 0, millisecondsBetween(start, *loaded),
                      millisecondsBetween(start, *painted)};
    };

    // The first page fades in over more than a second: show it, and let the fade end first.
    if (!select(selections[1])) {
        std::cerr << "lumora-viewer-selection: the first page never showed\n";
        return 1;
    }
    wait(2000);
    shown = window->webView().grab().toImage();
    const auto grabStart = Clock::now();
    (void)window->webView().grab().toImage();
    const double grabMilliseconds = millisecondsBetween(grabStart, Clock::now());

    std::vector<double> builtTimes;
    std::vector<double> loadedTimes;
    std::vector<double> paintedTimes;
    for (int repetition = 0; repetition < settings.repetitions; ++repetition) {
        const auto timing = select(selections[static_cast<std::size_t>(repetition) % selections.size()]);
        if (!timing) {
            std::cerr << "lumora-viewer-selection: the page of selection " << repetition + 1
                      << " never showed\n";
            return 1;
        }
        std::printf("selection %2d: page built %6.1f ms, loaded %6.1f ms, painted %6.1f ms\n", repetition + 1,
                    timing->built, timing->loaded, timing->painted);
        builtTimes.push_back(timing->built);
        loadedTimes.push_back(timing->loaded);
        paintedTimes.push_back(timing->painted);
        // Let the engine settle, as between two clicks.
        wait(200);
        shown = window->webView().grab().toImage();
    }
    std::printf("%d connections per document, page of %.1f KB, one grab of the view %.1f ms\n",
                settings.connections, static_cast<double>(pageBytes) / 1024.0, grabMilliseconds);
    std::printf("selection to page built:   median %6.1f ms, max %6.1f ms\n", median(builtTimes),
                *std::max_element(builtTimes.begin(), builtTimes.end()));
    std::printf("selection to page loaded:  median %6.1f ms, max %6.1f ms\n", median(loadedTimes),
                *std::max_element(loadedTimes.begin(), loadedTimes.end()));
    std::printf("selection to page painted: median %6.1f ms, max %6.1f ms (goal: under 100 ms)\n",
                median(paintedTimes), *std::max_element(paintedTimes.begin(), paintedTimes.end()));

    window.reset();
    InstalledApplication::lumoraLoadQueue().waitForDone();
    return 0;
}
