// ExchangeSortOrder on directories of a million entries.
#include "formats/ExchangeSort.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Offsets = std::vector<std::uint32_t>;

constexpr std::size_t kEntries = 1000000;

// 900,000 distinct offsets and 100,000 more that repeat some of them, in random file order.
Offsets TenPercentTies() {
    std::mt19937 random(1);
    Offsets offsets(kEntries);
    const std::size_t distinct = kEntries * 9 / 10;
    for (std::size_t i = 0; i < distinct; ++i) {
        offsets[i] = static_cast<std::uint32_t>(i * 4096);
    }
    for (std::size_t i = distinct; i < kEntries; ++i) {
        offsets[i] = offsets[random() % distinct];
    }
    std::shuffle(offsets.begin(), offsets.end(), random);
    return offsets;
}

Offsets Distinct() {
    std::mt19937 random(2);
    Offsets offsets(kEntries);
    for (std::size_t i = 0; i < kEntries; ++i) {
        offsets[i] = static_cast<std::uint32_t>(i * 2048);
    }
    std::shuffle(offsets.begin(), offsets.end(), random);
    return offsets;
}

// 1000 groups of 1000 equal offsets, each spread over the whole directory with every smaller
// offset between two of its members: each queue turns over and over between arrivals.
Offsets Interleaved() {
    Offsets offsets(kEntries);
    for (std::size_t i = 0; i < kEntries; ++i) {
        offsets[i] = static_cast<std::uint32_t>(i % 1000);
    }
    return offsets;
}

// A few values only, randomly placed: large groups with short runs between arrivals.
Offsets FourValues() {
    std::mt19937 random(3);
    Offsets offsets(kEntries);
    for (auto& offset : offsets) {
        offset = random() % 4;
    }
    return offsets;
}

void Run(benchmark::State& state, const Offsets& offsets) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(eitool::ExchangeSortOrder(offsets).data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(offsets.size()));
}

void BM_SortTenPercentTies(benchmark::State& state) {
    Run(state, TenPercentTies());
}
void BM_SortDistinct(benchmark::State& state) {
    Run(state, Distinct());
}
void BM_SortInterleavedGroups(benchmark::State& state) {
    Run(state, Interleaved());
}
void BM_SortFourValues(benchmark::State& state) {
    Run(state, FourValues());
}
void BM_SortAllEqual(benchmark::State& state) {
    Run(state, Offsets(kEntries, 7));
}

} // namespace

BENCHMARK(BM_SortTenPercentTies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortDistinct)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortInterleavedGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFourValues)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAllEqual)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
