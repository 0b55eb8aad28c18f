#include "Code/Model/LumoraMatching.h"

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Rule = Description::HostMatchingRule;
using NetworkInformation = ConnectionInformation::NetworkInformation;
using Endpoint = NetworkInformation::RemoteEndpoint;

// 1,000 descriptions over a primary and three nested sources, with every rule kind: hosts with
// and without wildcards, domains, address sets, the local network, packet capture and "*".
Description makeDescription(std::size_t number) {
    const auto n = std::to_string(number);
    std::vector<Rule> rules;
    switch (number % 8) {
    case 0:
        rules = {Rule::host("api-" + n + ".example.com"), Rule::host("mirror-" + n + ".example.net")};
        break;
    case 1:
        rules = {Rule::host("cdn-*-" + n + ".example.com")};
        break;
    case 2:
        rules = {Rule::fuzzyDomainWildcard("d" + n + ".example.org")};
        break;
    case 3:
        rules = {Rule::exactDomainWildcard("e" + n + ".example.org")};
        break;
    case 4:
        rules = {Rule::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString(
            "10." + std::to_string(number % 256) + ".0.0/16, 2001:db8::/32"))};
        break;
    case 5:
        rules = {Rule::localNetwork()};
        break;
    case 6:
        rules = {Rule::berkeleyPacketFilter()};
        break;
    default:
        rules = {Rule::fuzzyAnyConnectionWildcard()};
        break;
    }
    PortSet ports = PortSet::allPorts();
    if (number % 3 == 0) {
        ports = PortSet::withPort(443);
    }
    return Description(false, std::move(rules),
                       number % 2 == 0 ? std::optional(NetworkProtocol::tcp) : std::nullopt, std::move(ports),
                       Description::Relevance::default_, "Purpose " + n + ".", std::nullopt);
}

const Lumora& document() {
    static const Lumora instance = [] {
        std::vector<std::shared_ptr<const Lumora::Source>> sources;
        for (std::size_t s = 0; s < 4; ++s) {
            std::vector<Description> descriptions;
            for (std::size_t d = 0; d < 250; ++d) {
                descriptions.push_back(makeDescription(s * 250 + d));
            }
            const std::string path =
                "/Applications/Bench.app" +
                (s == 0 ? std::string() : "/Contents/XPCServices/Helper " + std::to_string(s) + ".xpc");
            sources.push_back(std::make_shared<const Lumora::Source>(
                Lumora::Source::SourceType::internal, ZRURL::fileURL(path, true),
                ZRURL::fileURL(path + "/Contents/Resources/Lumora.plist", false), std::nullopt, std::nullopt,
                "Benchmarks.", std::move(descriptions), std::vector<Lumora::ServiceDescription>{},
                std::nullopt));
        }
        return Lumora(sources.front(), std::vector(sources.begin() + 1, sources.end()));
    }();
    return instance;
}

ConnectionInformation connectionTo(std::vector<Endpoint> endpoints,
                                   std::optional<NetworkProtocol> networkProtocol, PortSet ports) {
    return ConnectionInformation(
        ConnectionInformation::ProcessInformation("/usr/bin/curl"),
        NetworkInformation(false, std::move(endpoints), networkProtocol, std::move(ports)));
}

void runMatching(benchmark::State& state, const ConnectionInformation& connection) {
    const auto& matched = document();
    std::size_t results = 0;
    for (auto _ : state) {
        const auto matches = matched.matchingConnectionDescriptions(connection);
        results = matches.size();
        benchmark::DoNotOptimize(matches.data());
    }
    state.counters["results"] = static_cast<double>(results);
}

void MatchHostExactly(benchmark::State& state) {
    runMatching(state, connectionTo({Endpoint::host("api-800.example.com")}, NetworkProtocol::tcp,
                                    PortSet::withPort(443)));
}
BENCHMARK(MatchHostExactly);

void MatchHostThroughWildcards(benchmark::State& state) {
    runMatching(state, connectionTo({Endpoint::host("cdn-eu-west-1-801.example.com")}, NetworkProtocol::tcp,
                                    PortSet::allPorts()));
}
BENCHMARK(MatchHostThroughWildcards);

void MatchUnknownHostFallsBackToEveryWildcard(benchmark::State& state) {
    runMatching(state,
                connectionTo({Endpoint::host("unknown.example.edu")}, std::nullopt, PortSet::allPorts()));
}
BENCHMARK(MatchUnknownHostFallsBackToEveryWildcard);

void MatchDomain(benchmark::State& state) {
    runMatching(state,
                connectionTo({Endpoint::domain("example.org")}, NetworkProtocol::udp, PortSet::withPort(53)));
}
BENCHMARK(MatchDomain);

void MatchAddresses(benchmark::State& state) {
    runMatching(state, connectionTo(
                           {Endpoint::ipAddresses(*NQIPAddressSet::addressSetFromDisplayString("10.44.1.2"))},
                           NetworkProtocol::tcp, PortSet::withPort(443)));
}
BENCHMARK(MatchAddresses);

void MatchLocalNetwork(benchmark::State& state) {
    runMatching(state, connectionTo({Endpoint::localNetwork()}, std::nullopt, PortSet::allPorts()));
}
BENCHMARK(MatchLocalNetwork);

void MatchPacketCapture(benchmark::State& state) {
    runMatching(state, connectionTo({Endpoint::berkeleyPacketFilter()}, std::nullopt, PortSet::allPorts()));
}
BENCHMARK(MatchPacketCapture);

void MatchWithoutEndpoints(benchmark::State& state) {
    runMatching(state, connectionTo({}, NetworkProtocol::tcp, PortSet::withPort(443)));
}
BENCHMARK(MatchWithoutEndpoints);

void MatchWithoutNetworkInformation(benchmark::State& state) {
    runMatching(state, ConnectionInformation(ConnectionInformation::ProcessInformation("/usr/bin/curl"),
                                             std::nullopt));
}
BENCHMARK(MatchWithoutNetworkInformation);

void MatchLabelAgainstPathologicalPattern(benchmark::State& state) {
    const std::string label(10000, 'a');
    for (auto _ : state) {
        benchmark::DoNotOptimize(LumoraMatching::labelMatchesPattern("*a*a*a*a*a*a*a*a*b", label));
    }
}
BENCHMARK(MatchLabelAgainstPathologicalPattern);

} // namespace
