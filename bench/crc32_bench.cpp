// CRC-32 over buffers in memory: the 256-entry table a byte at a time, zlib, libdeflate, and
// Crc32Update as built. Run with --benchmark_min_time=1 for steadier figures.
#include "formats/Crc32.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <libdeflate.h>
#include <random>
#include <span>
#include <vector>
#include <zlib.h>

namespace {

const std::vector<std::uint8_t>& Buffer(std::size_t size) {
    static std::vector<std::uint8_t> bytes;
    if (bytes.size() < size) {
        std::mt19937 random(1);
        bytes.resize(size);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
    }
    return bytes;
}

template <typename Crc> void Run(benchmark::State& state, Crc crc) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::span<const std::uint8_t> bytes(Buffer(size).data(), size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

void BM_Crc32Table(benchmark::State& state) {
    Run(state, [](std::span<const std::uint8_t> b) { return eitool::Crc32Reference(b); });
}

void BM_Crc32Zlib(benchmark::State& state) {
    Run(state, [](std::span<const std::uint8_t> b) {
        return static_cast<std::uint32_t>(crc32_z(0, b.data(), b.size()));
    });
}

void BM_Crc32Libdeflate(benchmark::State& state) {
    Run(state,
        [](std::span<const std::uint8_t> b) { return libdeflate_crc32(0, b.data(), b.size()); });
}

void BM_Crc32Update(benchmark::State& state) {
    Run(state, [](std::span<const std::uint8_t> b) { return eitool::Crc32Update(0, b); });
}

} // namespace

BENCHMARK(BM_Crc32Table)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crc32Zlib)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crc32Libdeflate)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crc32Update)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
