// The blob scanner's throughput on one thread: the default scan (what
// `epochsift --scan` runs) over random bytes,
// where nearly every offset passes some probe's range and almost nothing
// may be shown. Bytes per second (of CPU time: the scan runs on the calling
// thread) is Google Benchmark's bytes_per_second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/scan_buffer.hpp"
#include "engine/scan_plan.hpp"

namespace {

using namespace epochsift;

std::vector<uint8_t> const& random_blob() {
    static std::vector<uint8_t> const blob = [] {
        std::mt19937_64 rng(1);
        std::vector<uint8_t> out(std::size_t{8} << 20);
        for (auto& b : out) b = static_cast<uint8_t>(rng());
        return out;
    }();
    return blob;
}

void BM_ScanRandom(benchmark::State& state) {
    auto const planned = make_scan_plan({});
    std::vector<uint8_t> const& blob = random_blob();
    bool const all = state.range(0) != 0;
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = scan_buffer(*planned.plan, blob, all, 1).size();
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(blob.size()));
    state.counters["hits_per_MB"] = static_cast<double>(hits) / static_cast<double>(blob.size() >> 20);
}
BENCHMARK(BM_ScanRandom)->Arg(0)->ArgName("all")->Unit(benchmark::kMillisecond);

}  // namespace
