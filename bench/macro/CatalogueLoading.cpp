// lumora-catalogue-loading: how long the viewer's list takes to fill. Copies a sample application
// COUNT times into a temporary folder, then times the catalogue from starting its sources until
// the initial loading has finished: discovery, every verified load and the sorted list.
//
//   lumora-catalogue-loading [--count N] [--json] APPLICATION ANCHOR-FILE

#include "Code/Catalogue/ApplicationsArrayController.h"
#include "Code/Catalogue/ApplicationsSourceController.h"
#include "Code/Catalogue/FolderApplicationsSource.h"
#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/Preferences.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"
#include "bench/macro/MacroBenchmarkSupport.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    std::size_t count;
    bool json;
    std::filesystem::path application;
    std::filesystem::path anchorFile;
};

Settings parse(int argc, char** argv) {
    const auto line = MacroBenchmarkSupport::CommandLine::parse(
        argc, argv, "lumora-catalogue-loading [--count N] [--json] APPLICATION ANCHOR-FILE",
        {{"--count", 1000}}, 2, "an application and the file of its trust anchor");
    return Settings{line.numbers.at("--count"), line.json, line.paths[0], line.paths[1]};
}

} // namespace

int main(int argc, char** argv) {
    const auto settings = parse(argc, argv);
    QCoreApplication application(argc, argv);
    std::string failure;
    const auto anchors = ZRTrustEvaluator::readCertificateFile(settings.anchorFile, failure);
    if (!anchors) {
        std::cerr << settings.anchorFile.string() << ": " << failure << "\n";
        return 2;
    }
    LumoraLoader::Options options;
    options.extraTrustAnchors = *anchors;
    LumoraLoadEnvironment::setLoaderOptions(options);

    const MacroBenchmarkSupport::TemporaryFolder folder("lumora-catalogue");
    MacroBenchmarkSupport::copyApplication(settings.application, folder.path(), settings.count);

    Preferences preferences{Preferences::InMemory{}};
    preferences.setSpotlightApplicationsSourceEnabled(false);
    preferences.setManuallyAddedApplicationsSourceEnabled(false);
    preferences.setApplicationsFolderApplicationsSourceEnabled(true);
    ApplicationsSourceController::Sources sources;
    sources.makeFolderApplicationsSource = [&folder] {
        return FolderApplicationsSource::make({ZRURL::fileURL(folder.path(), true)});
    };

    const auto start = Clock::now();
    ApplicationsSourceController controller(preferences, sources);
    controller.startUpdating();
    controller.waitForInitialLoading();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::size_t loaded = 0;
    for (const auto& listed : controller.arrayController().arrangedApplications()) {
        loaded += listed->isLumoraLoaded() ? 1 : 0;
    }
    const auto listed = controller.arrayController().arrangedApplications().size();
    if (settings.json) {
        std::printf("{\"applications\": %zu, \"loaded\": %zu, \"seconds\": %.3f, \"perSecond\": %.0f}\n",
                    listed, loaded, seconds, static_cast<double>(listed) / seconds);
    } else {
        std::printf("%zu applications listed (%zu with a document) in %.3f s: %.0f/s%s\n", listed, loaded,
                    seconds, static_cast<double>(listed) / seconds,
                    loaded == settings.count ? "" : ", SOME FAILED TO LOAD");
    }
    return loaded == settings.count ? 0 : 1;
}
