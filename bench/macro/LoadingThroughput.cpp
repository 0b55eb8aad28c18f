// lumora-loading-throughput: how fast verified loading fills the sidebar. Copies a sample
// application COUNT times into a temporary folder, then, in this fresh process, loads one extra
// copy alone (the first load pays for every process-wide set-up), the COUNT copies once (nothing
// cached yet), and the same copies again (the signature checker's cache), each pass on THREADS
// threads pulling from one queue as the viewer's load queue does.
//
//   lumora-loading-throughput [--threads N] [--count N] [--json] APPLICATION ANCHOR-FILE

#include "Code/Loading/LumoraLoader.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"
#include "ZRFoundation/Support/ZRParallelFor.h"
#include "bench/macro/MacroBenchmarkSupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Settings {
    unsigned threads = 8;
    std::size_t count = 400;
    bool json = false;
    fs::path application;
    fs::path anchorFile;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "lumora-loading-throughput: " << problem
              << "\nusage: lumora-loading-throughput [--threads N] [--count N] [--json] APPLICATION "
                 "ANCHOR-FILE\n";
    std::exit(2);
}

Settings parse(int argc, char** argv) {
    Settings settings;
    std::vector<std::string> positional;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const auto number = [&] {
            if (++index == argc) {
                usage(argument + " needs a number");
            }
            const long value = std::strtol(argv[index], nullptr, 10);
            if (value <= 0 || value > 100000) {
                usage(argument + " needs a positive number");
            }
            return static_cast<std::size_t>(value);
        };
        if (argument == "--threads") {
            settings.threads = static_cast<unsigned>(number());
        } else if (argument == "--count") {
            settings.count = number();
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

/// Loads every URL on `threads` threads; the number that failed.
std::size_t loadAll(const std::vector<ZRURL>& urls, unsigned threads, const LumoraLoader::Options& options) {
    std::atomic<std::size_t> failures{0};
    ZRParallelFor(urls.size(), threads, [&](std::size_t index) {
        try {
            (void)LumoraLoader::load(urls[index], options);
        } catch (...) {
            ++failures;
        }
    });
    return failures;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const auto settings = parse(argc, argv);
    std::string failure;
    const auto anchors = ZRTrustEvaluator::readCertificateFile(settings.anchorFile, failure);
    if (!anchors) {
        usage(failure);
    }
    LumoraLoader::Options options;
    options.extraTrustAnchors = *anchors;

    const MacroBenchmarkSupport::TemporaryFolder folder("lumora-throughput");
    std::vector<ZRURL> urls;
    for (const auto& copy :
         MacroBenchmarkSupport::copyApplication(settings.application, folder.path(), settings.count + 1)) {
        urls.push_back(ZRURL::fileURL(copy, true));
    }
    const ZRURL first = urls.front();
    urls.erase(urls.begin());

    auto start = Clock::now();
    std::size_t failures = loadAll({first}, 1, options);
    const double firstLoad = secondsSince(start);
    start = Clock::now();
    failures += loadAll(urls, settings.threads, options);
    const double firstPass = secondsSince(start);
    start = Clock::now();
    failures += loadAll(urls, settings.threads, options);
    const double secondPass = secondsSince(start);

    const double count = static_cast<double>(urls.size());
    if (settings.json) {
        std::printf("{\"threads\": %u, \"applications\": %zu, \"firstLoadMilliseconds\": %.2f, "
                    "\"firstPassPerSecond\": %.0f, \"secondPassPerSecond\": %.0f, \"failures\": %zu}\n",
                    settings.threads, urls.size(), firstLoad * 1000, count / firstPass, count / secondPass,
                    failures);
    } else {
        std::printf("%u thread(s), %zu applications: first load %.2f ms, first pass %.0f/s, second pass "
                    "%.0f/s%s\n",
                    settings.threads, urls.size(), firstLoad * 1000, count / firstPass, count / secondPass,
                    failures > 0 ? ", SOME FAILED TO LOAD" : "");
    }
    return failures > 0 ? 1 : 0;
}
