// Opening a download again when its extraction is cached: the viewer's path at its next start
// (the cache finds the folder, the applications inside are found) and then loading the one
// application inside, verified, with the signature cache emptied each time.

#include "Code/Archives/ArchiveExtractionCache.h"
#include "Code/Archives/ChildProcess.h"
#include "Code/Loading/LumoraLoader.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckerCache.h"
#include "tools/FixtureSigner/FixtureBundleBuilder.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>

namespace {

namespace fs = std::filesystem;

struct CachedDownload {
    fs::path folder;
    fs::path archive;
    LumoraLoader::Options options;
    std::unique_ptr<ArchiveExtractionCache> cache;
    bool ready = false;

    CachedDownload() {
        char pattern[] = "/tmp/lumora-bench-archive-XXXXXX";
        folder = mkdtemp(pattern);
        const auto hierarchy = FixtureCertificateHierarchy::make();
        options.extraTrustAnchors = {hierarchy.root.der()};
        FixtureSigner::Options signing;
        signing.signer = &hierarchy.developerIDLeaf;
        signing.chain = {&hierarchy.intermediate, &hierarchy.root};
        signing.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
        FixtureBundleBuilder::Bundle bundle;
        bundle.name = "Example.app";
        bundle.identifier = "com.example.download";
        bundle.executableName = "Example";
        bundle.files = {{"Resources/Lumora.plist",
                         "<plist version=\"1.0\"><dict><key>ApplicationDescription</key><string>Example"
                         "</string><key>Connections</key><array><dict><key>Host</key><string>api.example.com"
                         "</string><key>Purpose</key><string>Syncs</string></dict></array></dict></plist>"}};
        FixtureBundleBuilder::write(folder / "tree", bundle, signing);
        archive = folder / "Example.zip";
        ChildProcess::Options zip;
        zip.arguments = {"7zz", "a", "-snl", "-bd", "--", archive.string(), "Example.app"};
        zip.workingDirectory = folder / "tree";
        cache = std::make_unique<ArchiveExtractionCache>(folder / "cache");
        ready =
            ChildProcess::run(zip).succeeded() && cache->open(SevenZip(), archive, {}).contents.succeeded();
    }
    ~CachedDownload() {
        std::error_code error;
        fs::remove_all(folder, error);
    }
};

void ReopenCachedDownload(benchmark::State& state) {
    static CachedDownload download;
    if (!download.ready) {
        state.SkipWithError("the download could not be made (is 7zz installed?)");
        return;
    }
    const bool loads = state.range(0) == 1;
    const SevenZip sevenZip;
    for (auto _ : state) {
        ZRCodeSignatureCheckerCache::sharedInstance().removeAllEntries();
        const auto opened = download.cache->open(sevenZip, download.archive, {});
        if (!opened.reused || opened.contents.applications.size() != 1) {
            state.SkipWithError("the cached extraction was not reused");
            return;
        }
        if (loads) {
            benchmark::DoNotOptimize(LumoraLoader::load(
                ZRURL::fileURL(opened.contents.applications.front().bundle, true), download.options));
        }
    }
    state.SetLabel(loads ? "reopen and load" : "reopen");
}
BENCHMARK(ReopenCachedDownload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
