// lumora-viewer-search: how long the window takes from a keystroke in the search field to the
// filtered list laid out and drawn, with a long list. Copies a sample application COUNT times
// into a temporary folder, opens the main window offscreen on that folder, waits for the initial
// loading, then types words and a phrase into the search field and deletes them again, one key at
// a time. Each key is timed from the key event to a grab of the list, which lays it out and
// draws it. The typed text passes through every case: the whole list, part of it (the name
// matches but the phrase does not), and none.
//
//   lumora-viewer-search [--count N] APPLICATION ANCHOR-FILE
//
// The environment must let the window run offscreen: bench/viewer-search.sh sets it.

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "Code/Shell/ApplicationsListView.h"
#include "Code/Shell/DocumentWebView.h"
#include "Code/Shell/MainWindow.h"
#include "Code/Shell/PlatformServices.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"
#include "bench/macro/MacroBenchmarkSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

void wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const auto line = MacroBenchmarkSupport::CommandLine::parse(
        argc, argv, "lumora-viewer-search [--count N] APPLICATION ANCHOR-FILE", {{"--count", 10000}}, 2,
        "an application and the file of its trust anchor", false);
    const std::size_t count = line.numbers.at("--count");
    MacroBenchmarkSupport::TemporaryFolder folder("lumora-viewer-search");
    const auto home = folder.path() / "home";
    const auto runtime = home / "runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    const auto applications = folder.path() / "Applications";
    MacroBenchmarkSupport::copyApplication(line.paths[0], applications, count);

    std::string failure;
    const auto anchors = ZRTrustEvaluator::readCertificateFile(line.paths[1], failure);
    if (!anchors) {
        std::cerr << "lumora-viewer-search: " << failure << '\n';
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
    auto window = std::make_unique<MainWindow>(preferences, sources, platformServices, nullptr);
    window->resize(1100, 720);
    window->show();
    const auto loadStart = Clock::now();
    window->startUpdating();
    while (!window->applicationsSourceController().initialLoadingFinished()) {
        wait(10);
    }
    const auto listed =
        window->applicationsSourceController().arrayController().arrangedApplications().size();
    std::printf("%zu applications listed in %.1f s\n", listed,
                std::chrono::duration<double>(Clock::now() - loadStart).count());
    // Let the first page and the list's fades end.
    wait(2000);

    QLineEdit& field = window->searchField();
    field.setFocus();
    const std::string typed = "text \"sharing x";
    std::vector<double> times;
    const auto key = [&](auto press) {
        const auto start = Clock::now();
        press();
        (void)window->listView().viewport()->grab();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Whatever else the key set off (the page of a new selection) runs between keys.
        wait(30);
    };
    for (const char character : typed) {
        key([&] { QTest::keyClick(&field, character); });
        std::printf("typed %-16s %5zu listed, %6.2f ms\n", ('"' + field.text().toStdString() + '"').c_str(),
                    window->applicationsSourceController().arrayController().arrangedApplications().size(),
                    times.back());
    }
    while (!field.text().isEmpty()) {
        key([&] { QTest::keyClick(&field, Qt::Key_Backspace); });
        std::printf("deleted to %-11s %5zu listed, %6.2f ms\n",
                    ('"' + field.text().toStdString() + '"').c_str(),
                    window->applicationsSourceController().arrayController().arrangedApplications().size(),
                    times.back());
    }
    std::printf("key to list laid out and drawn, %zu keys with %zu applications: median %.2f ms, max %.2f ms "
                "(goal: under 16 ms)\n",
                times.size(), listed, median(times), *std::max_element(times.begin(), times.end()));
    window.reset();
    InstalledApplication::lumoraLoadQueue().waitForDone();
    return 0;
}
