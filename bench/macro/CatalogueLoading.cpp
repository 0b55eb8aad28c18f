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
    std::size_t count = 1000;
    bool json = false;
    std::filesystem::path application;
    std::filesystem::path anchorFile;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "lumora-catalogue-loading: " << problem
              << "\nusage: lumora-catalogue-loading [--count N] [--json] APPLICATION ANCHOR-FILE\n";
    std::exit(2);
}

Settings parse(int argc, char** argv) {
    Settings settings;
    std::vector<std::string> positional;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--count") {
            const long value = ++index < argc ? std::strtol(argv[index], nullptr, 10) : 0;
            if (value <= 0 || value > 100000) {
                usage("--count needs a positive number");
            }
            settings.count = static_cast<std::size_t>(value);
        } else if (argument == "--json") {
            settings.json = true;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        usage("needs an application and the file of its trust anchor");
    }
    settings.application = positional[0];
    settings.anchorFile = positional[1];
    return settings;
}

} // namespace

int main(int argc, char** argv) {
    const auto settings = parse(argc, argv);
    QCoreApplication application(argc, argv);
    std::string failure;
    const auto anchors = ZRTrustEvaluator::readCertificateFile(settings.anchorFile, failure);
    if (!anchors) {
        usage(failure);
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
