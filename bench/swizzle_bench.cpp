// Unswizzle and swizzle of whole 4-bit and 8-bit textures against memcpy of the same number of
// bytes: the routines as built (the fastest this processor runs), the portable walk, and the
// table-driven reference. Sizes 512 x 512, 1024 x 1024 and 4096 x 4096. Bytes per second count
// the image once (W x H / 2 or W x H bytes), as for memcpy. Run with --benchmark_min_time=1s
// for steadier figures.
#include "images/Ps2util.h"
#include "images/Ps2utilFast.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Routine = void (*)(std::int32_t, std::int32_t, const std::uint8_t*, std::uint8_t*);

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::mt19937 random(7);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

std::size_t ImageBytes(std::int64_t side, int depth) {
    const auto pixels = static_cast<std::size_t>(side * side);
    return depth == 4 ? pixels / 2 : pixels;
}

void Finish(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

void Memcpy(benchmark::State& state, int depth) {
    const std::size_t bytes = ImageBytes(state.range(0), depth);
    const auto in = RandomBytes(bytes);
    std::vector<std::uint8_t> out(bytes);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), bytes);
        benchmark::ClobberMemory();
    }
    Finish(state, bytes);
}

void Convert(benchmark::State& state, int depth, Routine routine) {
    const auto side = static_cast<std::int32_t>(state.range(0));
    const std::size_t bytes = ImageBytes(side, depth);
    const auto in = RandomBytes(bytes);
    std::vector<std::uint8_t> out(bytes);
    for (auto _ : state) {
        routine(side, side, in.data(), out.data());
        benchmark::ClobberMemory();
    }
    Finish(state, bytes);
}

const eitool::ps2detail::ImageRoutines& Portable() {
    static const auto routines = eitool::ps2detail::PortableRoutines();
    return routines;
}

void BM_Memcpy4(benchmark::State& state) {
    Memcpy(state, 4);
}
void BM_Memcpy8(benchmark::State& state) {
    Memcpy(state, 8);
}
void BM_Unswizzle4(benchmark::State& state) {
    Convert(state, 4, eitool::UnswizzleImage4);
}
void BM_Swizzle4(benchmark::State& state) {
    Convert(state, 4, eitool::SwizzleImage4);
}
void BM_Unswizzle8(benchmark::State& state) {
    Convert(state, 8, eitool::UnswizzleImage8);
}
void BM_Swizzle8(benchmark::State& state) {
    Convert(state, 8, eitool::SwizzleImage8);
}
void BM_Unswizzle4Portable(benchmark::State& state) {
    Convert(state, 4, Portable().unswizzle4);
}
void BM_Swizzle4Portable(benchmark::State& state) {
    Convert(state, 4, Portable().swizzle4);
}
void BM_Unswizzle8Portable(benchmark::State& state) {
    Convert(state, 8, Portable().unswizzle8);
}
void BM_Swizzle8Portable(benchmark::State& state) {
    Convert(state, 8, Portable().swizzle8);
}
void BM_Unswizzle4Reference(benchmark::State& state) {
    Convert(state, 4, eitool::UnswizzleImage4Reference);
}
void BM_Swizzle4Reference(benchmark::State& state) {
    Convert(state, 4, eitool::SwizzleImage4Reference);
}
void BM_Unswizzle8Reference(benchmark::State& state) {
    Convert(state, 8, eitool::UnswizzleImage8Reference);
}
void BM_Swizzle8Reference(benchmark::State& state) {
    Convert(state, 8, eitool::SwizzleImage8Reference);
}

void Sizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(512)->Arg(1024)->Arg(4096);
}

BENCHMARK(BM_Memcpy4)->Apply(Sizes);
BENCHMARK(BM_Unswizzle4)->Apply(Sizes);
BENCHMARK(BM_Swizzle4)->Apply(Sizes);
BENCHMARK(BM_Memcpy8)->Apply(Sizes);
BENCHMARK(BM_Unswizzle8)->Apply(Sizes);
BENCHMARK(BM_Swizzle8)->Apply(Sizes);
BENCHMARK(BM_Unswizzle4Portable)->Apply(Sizes);
BENCHMARK(BM_Swizzle4Portable)->Apply(Sizes);
BENCHMARK(BM_Unswizzle8Portable)->Apply(Sizes);
BENCHMARK(BM_Swizzle8Portable)->Apply(Sizes);
BENCHMARK(BM_Unswizzle4Reference)->Apply(Sizes);
BENCHMARK(BM_Swizzle4Reference)->Apply(Sizes);
BENCHMARK(BM_Unswizzle8Reference)->Apply(Sizes);
BENCHMARK(BM_Swizzle8Reference)->Apply(Sizes);

} // namespace

BENCHMARK_MAIN();
