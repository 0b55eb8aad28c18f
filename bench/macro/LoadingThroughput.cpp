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
    unsigned threads;
    std::size_t count;
    bool json;
    fs::path application;
    fs::path anchorFile;
};

Settings parse(int argc, char** argv) {
    const auto line = MacroBenchmarkSupport::CommandLine::parse(
        argc, argv, "lumora-loading-throughput [--threads N] [--count N] [--json] APPLICATION ANCHOR-FILE",
        {{"--threads", 8}, {"--count", 400}}, 2, "an application and the file of its trust anchor");
    return Settings{static_cast<unsigned>(line.numbers.at("--threads")), line.numbers.at("--count"),
                    line.json, line.paths[0], line.paths[1]};
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
        std::cerr << settings.anchorFile.string() << ": " << failure << "\n";
        return 2;
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
