// Unswizzle and swizzle of whole square 4-bit and 8-bit textures (512, 1024 and 4096 pixels a
// side) against memcpy of the same number of bytes, in one run: the routines as exported (the
// fastest this processor runs), each vector implementation the processor has, the portable walk
// and the table-driven reference. Bytes per second count the image once (W x H / 2 or W x H
// bytes), as for memcpy. Run with --benchmark_min_time=1 for steadier figures, and
// --benchmark_filter=Memcpy|/exported to see the exported routines only.
#include "images/Ps2util.h"
#include "images/ps2/Fast.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using eitool::ps2detail::ImageRoutine;
using eitool::ps2detail::ImageRoutines;

const std::int64_t kSides[] = {512, 1024, 4096};

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

void Convert(benchmark::State& state, int depth, ImageRoutine routine) {
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

void Register(const std::string& name, int depth, ImageRoutine routine) {
    auto* bench =
        benchmark::RegisterBenchmark(name.c_str(), [depth, routine](benchmark::State& state) {
            Convert(state, depth, routine);
        });
    for (const std::int64_t side : kSides) {
        bench->Arg(side);
    }
}

void RegisterAll() {
    std::vector<ImageRoutines> implementations = {{eitool::UnswizzleImage4, eitool::SwizzleImage4,
                                                   eitool::UnswizzleImage8, eitool::SwizzleImage8,
                                                   "exported"}};
    for (const ImageRoutines& vector : eitool::ps2detail::VectorRoutines()) {
        implementations.push_back(vector);
    }
    implementations.push_back(eitool::ps2detail::PortableRoutines());
    implementations.push_back({eitool::UnswizzleImage4Reference, eitool::SwizzleImage4Reference,
                               eitool::UnswizzleImage8Reference, eitool::SwizzleImage8Reference,
                               "reference"});

    for (const int depth : {4, 8}) {
        const std::string suffix = std::to_string(depth);
        auto* memcpyBench = benchmark::RegisterBenchmark(
            ("Memcpy" + suffix).c_str(),
            [depth](benchmark::State& state) { Memcpy(state, depth); });
        for (const std::int64_t side : kSides) {
            memcpyBench->Arg(side);
        }
        for (const ImageRoutines& r : implementations) {
            const std::string name = r.name;
            Register("Unswizzle" + suffix + "/" + name, depth,
                     depth == 4 ? r.unswizzle4 : r.unswizzle8);
            Register("Swizzle" + suffix + "/" + name, depth, depth == 4 ? r.swizzle4 : r.swizzle8);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
