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

// 500 connections over a primary and two nested sources. Pairs of descriptions share their hosts
// and differ in protocol or port, so the abbreviated headings must name them to tell them apart.
Description makeDescription(std::size_t number) {
    const auto group = std::to_string(number / 2);
    std::vector<Rule> rules{Rule::host("api-" + group + ".example.com")};
    if (number % 5 == 0) {
        rules.push_back(Rule::fuzzyDomainWildcard("cdn-" + group + ".example.net"));
    }
    if (number % 7 == 0) {
        rules.push_back(Rule::fuzzyAnyConnectionWildcard());
    }
    const bool second = number % 2 == 1;
    return Description(number % 11 == 0, std::move(rules),
                       second && number % 4 == 1 ? NetworkProtocol::udp : NetworkProtocol::tcp,
                       PortSet::withPort(second ? 8443 : 443), Description::Relevance::default_,
                       "Keeps item " + std::to_string(number) +
                           " in sync, see [the notes](https://example.com/n).",
                       "Item " + std::to_string(number) + " stays on this computer.");
}

std::shared_ptr<const Lumora> document() {
    static const auto instance = [] {
        std::vector<std::shared_ptr<const Lumora::Source>> sources;
        std::size_t number = 0;
        for (const std::size_t count : {250, 125, 125}) {
            std::vector<Description> descriptions;
            for (std::size_t index = 0; index < count; ++index) {
                descriptions.push_back(makeDescription(number++));
            }
            const std::string path =
                "/Applications/Bench.app" +
                (sources.empty() ? std::string()
                                 : "/Contents/XPCServices/Helper" + std::to_string(sources.size()) + ".xpc");
            sources.push_back(std::make_shared<const Lumora::Source>(
                Lumora::Source::SourceType::internal, ZRURL::fileURL(path, true),
                ZRURL::fileURL(path + "/Contents/Resources/Lumora.plist", false), std::string("Bench Ltd"),
                ZRURL::URLWithString("https://example.com"), "A benchmark.", std::move(descriptions),
                std::vector<Lumora::ServiceDescription>{}, std::nullopt));
        }
        return std::make_shared<const Lumora>(sources.front(),
                                              std::vector(sources.begin() + 1, sources.end()));
    }();
    return instance;
}

Snapshot snapshot(bool showPorts, std::shared_ptr<const ConnectionInformation> connection) {
    ZRPreferredLanguages::overridePreferredLanguages(std::vector<std::string>{"en"});
    Snapshot::InstalledApplication application;
    application.bundlePath = "/Applications/Bench.app";
    application.infoDictionaryReadable = true;
    application.version = "1.0";
    application.copyright = "Copyright 2026 Bench Ltd";
    application.loadState = Snapshot::LoadState::loaded;
    application.document = document();
    Snapshot result;
    result.selection.push_back({"Bench", std::vector<std::uint8_t>(8 * 1024, 0x42), application});
    result.showPortsAndProtocols = showPorts;
    result.simulatedConnection = std::move(connection);
    return result;
}

void runPage(benchmark::State& state, const Snapshot& input) {
    std::size_t size = 0;
    for (auto _ : state) {
        const auto page = pageHTML(input);
        size = page.size();
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void PageWith500Connections(benchmark::State& state) {
    runPage(state, snapshot(true, nullptr));
}
BENCHMARK(PageWith500Connections)->Unit(benchmark::kMillisecond);

void PageWith500ConnectionsAbbreviated(benchmark::State& state) {
    runPage(state, snapshot(false, nullptr));
}
BENCHMARK(PageWith500ConnectionsAbbreviated)->Unit(benchmark::kMillisecond);

// A simulated connection that the "*" rules and one host cover: the page shows only those.
void PageWith500ConnectionsAndSimulatedConnection(benchmark::State& state) {
    using NetworkInformation = ConnectionInformation::NetworkInformation;
    const auto connection = std::make_shared<const ConnectionInformation>(
        ConnectionInformation::ProcessInformation("/Applications/Bench.app/Contents/MacOS/Bench"),
        NetworkInformation(false, {NetworkInformation::RemoteEndpoint::host("api-70.example.com")},
                           NetworkProtocol::tcp, PortSet::withPort(443)));
    runPage(state, snapshot(false, connection));
}
BENCHMARK(PageWith500ConnectionsAndSimulatedConnection)->Unit(benchmark::kMillisecond);

} // namespace
