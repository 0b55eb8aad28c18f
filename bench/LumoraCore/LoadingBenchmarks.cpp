// Loading 500 generated, signed applications with their documents: with the signature cache
// emptied first (cold) and as it is left by the previous pass (warm), on one thread and on two.
// The cache keeps at most 100 entries, so a warm pass over 500 applications mostly re-checks.

#include "Code/Loading/LumoraLoader.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckerCache.h"
#include "ZRFoundation/Support/ZRParallelFor.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

constexpr int applicationCount = 500;

struct GeneratedApplications {
    fs::path folder;
    std::vector<ZRURL> urls;
    LumoraLoader::Options options;

    GeneratedApplications() {
        char pattern[] = "/tmp/lumora-bench-apps-XXXXXX";
        folder = mkdtemp(pattern);
        const auto hierarchy = FixtureCertificateHierarchy::make();
        options.extraTrustAnchors = {hierarchy.root.der()};
        FixtureSigner::Options signing;
        signing.signer = &hierarchy.developerIDLeaf;
        signing.chain = {&hierarchy.intermediate, &hierarchy.root};
        signing.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
        for (int i = 0; i < applicationCount; ++i) {
            FixtureBundleBuilder::Bundle bundle;
            bundle.name = "App" + std::to_string(i) + ".app";
            bundle.identifier = "com.example.app" + std::to_string(i);
            bundle.executableName = "App";
            bundle.seed = static_cast<std::uint32_t>(i + 1);
            bundle.files = {
                {"Resources/Lumora.plist",
                 "<plist version=\"1.0\"><dict><key>ApplicationDescription</key><string>App " +
                     std::to_string(i) +
                     "</string><key>Connections</key><array><dict><key>Host</key><string>api.example.com"
                     "</string><key>Purpose</key><string>Syncs</string></dict></array></dict></plist>"},
                {"Resources/en.lproj/Lumora.strings", "\"Syncs\" = \"Keeps data in sync\";"}};
            urls.push_back(ZRURL::fileURL(FixtureBundleBuilder::write(folder, bundle, signing), true));
        }
    }
    ~GeneratedApplications() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
};

GeneratedApplications& applications() {
    static GeneratedApplications generated;
    return generated;
}

void loadAll(GeneratedApplications& apps, unsigned threadCount, benchmark::State& state) {
    std::atomic<int> failures{0};
    ZRParallelFor(apps.urls.size(), threadCount, [&](std::size_t index) {
        try {
            benchmark::DoNotOptimize(LumoraLoader::load(apps.urls[index], apps.options));
        } catch (...) {
            ++failures;
        }
    });
    if (failures > 0) {
        state.SkipWithError("an application failed to load");
    }
}

void Load500Applications(benchmark::State& state) {
    auto& apps = applications();
    const bool cold = state.range(0) == 1;
    const auto threadCount = static_cast<unsigned>(state.range(1));
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            ZRCodeSignatureCheckerCache::sharedInstance().removeAllEntries();
            state.ResumeTiming();
        }
        loadAll(apps, threadCount, state);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * apps.urls.size()));
    state.SetLabel(std::string(cold ? "cold" : "warm") + ", " + std::to_string(threadCount) + " thread(s)");
}
BENCHMARK(Load500Applications)
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 2})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace
