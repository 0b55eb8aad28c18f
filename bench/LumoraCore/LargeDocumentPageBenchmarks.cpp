#include "Code/Model/LumoraSource.h"
#include "Code/Presentation/DocumentPage.h"
#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using Snapshot = DocumentPageSnapshot;

// Declarations with many connections in their smallest form: a host and a purpose, no protocol,
// all ports. The page is built with its default settings (abbreviated headings).
std::shared_ptr<const Lumora> document(std::size_t count, bool distinctHosts) {
    std::vector<Description> descriptions;
    descriptions.reserve(count);
    for (std::size_t number = 0; number < count; ++number) {
        const std::string host =
            distinctHosts ? "host-" + std::to_string(number) + ".example.com" : "example.com";
        descriptions.emplace_back(false, std::vector<Rule>{Rule::host(host)}, std::nullopt,
                                  PortSet::allPorts(), Description::Relevance::default_, "Syncs.",
                                  std::nullopt);
    }
    const auto primary = std::make_shared<const Lumora::Source>(
        Lumora::Source::SourceType::internal, ZRURL::fileURL("/Applications/Bench.app", true),
        ZRURL::fileURL("/Applications/Bench.app/Contents/Resources/Lumora.plist", false),
        std::string("Bench Ltd"), ZRURL::URLWithString("https://example.com"), "A benchmark.",
        std::move(descriptions), std::vector<Lumora::ServiceDescription>{}, std::nullopt);
    return std::make_shared<const Lumora>(primary, std::vector<std::shared_ptr<const Lumora::Source>>{});
}

Snapshot snapshot(std::size_t count, bool distinctHosts) {
    ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{"en"});
    Snapshot::InstalledApplication application;
    application.bundlePath = "/Applications/Bench.app";
    application.infoDictionaryReadable = true;
    application.version = "1.0";
    application.loadState = Snapshot::LoadState::loaded;
    application.document = document(count, distinctHosts);
    Snapshot result;
    result.selection.push_back({"Bench", {}, application});
    return result;
}

void runPage(benchmark::State& state, bool distinctHosts) {
    const auto input = snapshot(static_cast<std::size_t>(state.range(0)), distinctHosts);
    std::size_t size = 0;
    for (auto _ : state) {
        const auto page = pageHTML(input);
        size = page.size();
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void PageWithMinimalConnections(benchmark::State& state) {
    runPage(state, false);
}
BENCHMARK(PageWithMinimalConnections)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void PageWithMinimalConnectionsToDistinctHosts(benchmark::State& state) {
    runPage(state, true);
}
BENCHMARK(PageWithMinimalConnectionsToDistinctHosts)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace
