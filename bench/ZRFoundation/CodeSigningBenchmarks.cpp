// A full signature check of a 100 MiB executable against plain SHA-256 of the same file (the
// sha256sum program and an in-process digest), and a check answered from the cache.

#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t executableSize = 100ULL * 1024 * 1024;

struct LargeExecutable {
    std::filesystem::path folder;
    std::filesystem::path bothDirectories;
    std::filesystem::path sha256Only;
    std::vector<ZRTrustEvaluator::Certificate> anchors;

    LargeExecutable() {
        folder = std::filesystem::temp_directory_path() / ("lumora-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        const auto hierarchy = FixtureCertificateHierarchy::make();
        anchors = {hierarchy.root.der()};
        FixtureMachOBuilder::Executable executable;
        executable.codeSize = executableSize;
        FixtureSigner::Options options;
        options.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
        options.signer = &hierarchy.developerIDLeaf;
        options.chain = {&hierarchy.intermediate, &hierarchy.root};
        bothDirectories = write("both", FixtureSigner::sign(executable, options));
        options.hashTypes = {2};
        sha256Only = write("sha256", FixtureSigner::sign(executable, options));
    }
    ~LargeExecutable() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const auto path = folder / name;
        std::ofstream stream(path, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
};

const LargeExecutable& largeExecutable() {
    static const LargeExecutable shared;
    return shared;
}

void checkFully(benchmark::State& state, const std::filesystem::path& path) {
    const auto& fixture = largeExecutable();
    for (auto _ : state) {
        const auto result =
            ZRCodeSignatureChecker::checkFileURL(path, ZRCodeSignatureCheckIgnoreCache, fixture.anchors);
        if (result->validity() != 1) {
            state.SkipWithError("the benchmark executable does not validate");
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void BM_CodeSignatureFullCheckSHA1AndSHA256(benchmark::State& state) {
    checkFully(state, largeExecutable().bothDirectories);
}
BENCHMARK(BM_CodeSignatureFullCheckSHA1AndSHA256)->Unit(benchmark::kMillisecond);

void BM_CodeSignatureFullCheckSHA256(benchmark::State& state) {
    checkFully(state, largeExecutable().sha256Only);
}
BENCHMARK(BM_CodeSignatureFullCheckSHA256)->Unit(benchmark::kMillisecond);

void BM_Sha256sumProgram(benchmark::State& state) {
    const auto& path = largeExecutable().sha256Only;
    const std::string command = "sha256sum '" + path.string() + "' >/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("sha256sum failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}
BENCHMARK(BM_Sha256sumProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sha256OfMappedFile(benchmark::State& state) {
    std::error_code error;
    const auto file = ZRMappedFile::open(largeExecutable().sha256Only, ZRMappedFile::Links::follow, error);
    unsigned char digest[32];
    for (auto _ : state) {
        EVP_Digest(file->bytes().data(), file->bytes().size(), digest, nullptr, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file->bytes().size()));
}
BENCHMARK(BM_Sha256OfMappedFile)->Unit(benchmark::kMillisecond);

void BM_CodeSignatureCachedCheck(benchmark::State& state) {
    const auto& fixture = largeExecutable();
    ZRCodeSignatureChecker::checkFileURL(fixture.sha256Only, 0, fixture.anchors);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            ZRCodeSignatureChecker::checkFileURL(fixture.sha256Only, 0, fixture.anchors));
    }
}
BENCHMARK(BM_CodeSignatureCachedCheck)->Unit(benchmark::kMicrosecond);

} // namespace
