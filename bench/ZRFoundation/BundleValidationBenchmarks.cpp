// Full resource validation of a large signed bundle (10,000 files, about 1 GiB), and a check
// answered from the cache. LUMORA_BENCH_BUNDLE_FILES and LUMORA_BENCH_FILE_KIB scale the bundle;
// the sha256sum benchmark hashes the same files for comparison.

#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

std::size_t environmentValue(const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value ? static_cast<std::size_t>(std::strtoull(value, nullptr, 10)) : fallback;
}

struct LargeBundle {
    fs::path folder;
    fs::path bundle;
    std::vector<std::uint8_t> anchor;
    std::uint64_t bytes = 0;

    LargeBundle() {
        const std::size_t files = environmentValue("LUMORA_BENCH_BUNDLE_FILES", 10000);
        const std::size_t fileSize = environmentValue("LUMORA_BENCH_FILE_KIB", 100) * 1024;
        char pattern[] = "/tmp/lumora-bench-bundle-XXXXXX";
        folder = mkdtemp(pattern);
        const auto hierarchy = FixtureCertificateHierarchy::make();
        anchor = hierarchy.root.der();
        FixtureBundleBuilder::Bundle large;
        large.name = "Large.app";
        large.identifier = "com.example.large";
        large.executableName = "Large";
        std::mt19937 random(5);
        std::string contents(fileSize, '\0');
        for (std::size_t i = 0; i < files; ++i) {
            for (auto& c : contents) {
                c = static_cast<char>(random());
            }
            large.files.push_back(
                {"Resources/Data" + std::to_string(i / 100) + "/file" + std::to_string(i) + ".bin",
                 contents});
            bytes += fileSize;
        }
        FixtureSigner::Options signing;
        signing.signer = &hierarchy.developerIDLeaf;
        signing.chain = {&hierarchy.intermediate, &hierarchy.root};
        signing.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
        bundle = FixtureBundleBuilder::write(folder, large, signing);
    }
    ~LargeBundle() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
};

LargeBundle& largeBundle() {
    static LargeBundle bundle;
    return bundle;
}

void FullResourceValidationOfLargeBundle(benchmark::State& state) {
    auto& bundle = largeBundle();
    for (auto _ : state) {
        const auto result = ZRCodeSignatureChecker::checkFileURL(
            bundle.bundle, ZRCodeSignatureCheckValidateResources | ZRCodeSignatureCheckIgnoreCache,
            {bundle.anchor});
        if (result->validity() != ZRCodeSignatureCheckResult::validityValid) {
            state.SkipWithError("the bundle did not validate");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bundle.bytes));
}
BENCHMARK(FullResourceValidationOfLargeBundle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The baseline: sha256sum over the same files, in one process as usually run.
void Sha256sumOfLargeBundleFiles(benchmark::State& state) {
    auto& bundle = largeBundle();
    const std::string command = "find '" + (bundle.bundle / "Contents" / "Resources").string() +
                                "' -type f -print0 | xargs -0 sha256sum > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sha256sum failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bundle.bytes));
}
BENCHMARK(Sha256sumOfLargeBundleFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void CachedBundleCheck(benchmark::State& state) {
    auto& bundle = largeBundle();
    (void)ZRCodeSignatureChecker::checkFileURL(bundle.bundle, ZRCodeSignatureCheckResourceInfos,
                                               {bundle.anchor});
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRCodeSignatureChecker::checkFileURL(
            bundle.bundle, ZRCodeSignatureCheckResourceInfos, {bundle.anchor}));
    }
}
BENCHMARK(CachedBundleCheck);

} // namespace
