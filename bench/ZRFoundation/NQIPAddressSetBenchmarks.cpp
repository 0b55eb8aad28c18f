#include "ZRFoundation/IPAddress/NQIPAddressSet.h"
#include "ZRFoundation/IPAddress/NQMutableIPAddressSet.h"

#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

// 1,000 disjoint IPv4 ranges of 16 addresses, 32 apart, plus the same pattern in IPv6.
NQIPAddressSet spreadSet(std::uint32_t offset) {
    NQMutableIPAddressSet set;
    for (std::uint32_t i = 0; i < 500; ++i) {
        const std::uint32_t first = 0x0A000000U + offset + i * 32;
        set.addAddressesInRange(
            NQIPAddressRange::rangeWithFirstAddress(NQIPAddress::ipv4(first), NQIPAddress::ipv4(first + 15)));
        set.addAddressesInRange(
            NQIPAddressRange::rangeWithFirstAddress(NQIPAddress::ipv6(0x20010db8ULL << 32, first),
                                                    NQIPAddress::ipv6(0x20010db8ULL << 32, first + 15)));
    }
    return set;
}

void ParseLocalNetworkAddressesText(benchmark::State& state) {
    const std::string text = NQIPAddressSet::localNetworkAddresses().displayString();
    for (auto _ : state) {
        auto set = NQIPAddressSet::addressSetFromDisplayString(text);
        benchmark::DoNotOptimize(set);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(ParseLocalNetworkAddressesText);

void ContainsAddressIn1000Ranges(benchmark::State& state) {
    const auto set = spreadSet(0);
    std::mt19937 random(7);
    std::vector<NQIPAddress> probes;
    for (int i = 0; i < 1024; ++i) {
        probes.push_back(NQIPAddress::ipv4(0x0A000000U + static_cast<std::uint32_t>(random() % (500 * 32))));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(set.containsAddress(probes[next++ % probes.size()]));
    }
}
BENCHMARK(ContainsAddressIn1000Ranges);

void IntersectsSetOf1000RangesWithoutOverlap(benchmark::State& state) {
    // Interleaved ranges that never overlap: the worst case, every pair is passed.
    const auto a = spreadSet(0);
    const auto b = spreadSet(16);
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.intersectsSet(b));
    }
}
BENCHMARK(IntersectsSetOf1000RangesWithoutOverlap);

void BuildSetBy10000RandomInsertions(benchmark::State& state) {
    std::mt19937 random(11);
    std::vector<NQIPAddressRange> ranges;
    for (int i = 0; i < 10000; ++i) {
        const auto first = static_cast<std::uint32_t>(0x0A000000U + random() % 0x01000000U);
        ranges.push_back(NQIPAddressRange::rangeWithFirstAddress(
            NQIPAddress::ipv4(first), NQIPAddress::ipv4(first + static_cast<std::uint32_t>(random() % 64))));
    }
    for (auto _ : state) {
        NQMutableIPAddressSet set;
        for (const auto& range : ranges) {
            set.addAddressesInRange(range);
        }
        benchmark::DoNotOptimize(set.addressRanges().size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * ranges.size()));
}
BENCHMARK(BuildSetBy10000RandomInsertions)->Unit(benchmark::kMillisecond);

} // namespace
