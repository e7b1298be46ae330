// Micro-benchmarks of the engine's hot pieces, with Google Benchmark.
//
//   epochsift_bench [benchmark flags]      run the benchmarks
//   epochsift_bench --probe VALUE COUNT    run identify_json(VALUE) COUNT times
//                                          inside probe_loop, for callgrind
//   epochsift_bench --probe-extended VALUE COUNT   the same with the extended reading
//
// The probe mode lets bench/callgrind.sh count the instructions of exactly
// COUNT calls (valgrind --toggle-collect on probe_loop), after one warm-up
// call that builds the registry.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/identify.hpp"
#include "engine/interpret_float.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"
#include "output/reading_json.hpp"
#include "core/instant.hpp"

namespace {

using namespace epochsift;

// One input of each class, the same four that bench/callgrind.sh counts.
constexpr std::string_view INTEGER_INPUT = "1700000000";
constexpr std::string_view DECIMAL_INPUT = "45000.5";
constexpr std::string_view MATCHING_STRING_INPUT = "2024-05-01T12:00:00+02:00";
constexpr std::string_view JUNK_INPUT = "field counter system update tunnel";

// Texts that no string form accepts, each stopping the parsers at a
// different depth.
constexpr std::array<std::string_view, 4> NON_MATCHING_TEXTS = {
    "banana",
    "1f5220bb399e7a895e6268b9bea6e03e1c7ad543",
    "/portal/thread/autumn.json",
    "Amount against banana plasma scheme linear update wallet argument helper handle portal window socket proxy "
    "lizard sketch scheme scheme temple tender thread ticket timber token tomato tower tunnel update valley.",
};

// Instants across the window, with and without fractions, and one negative.
constexpr std::array<i128, 6> INSTANTS = {
    1'700'000'000'000'000'000, 1'699'999'999'123'456'789, 631'152'000'000'000'000,
    2'208'988'799'999'000'000, i128{-11'644'473'600} * NS_PER_SECOND, 946'684'800'500'000'000,
};

void BM_IntegerPath(benchmark::State& state, int64_t raw) {
    for (auto _ : state) {
        std::vector<Candidate> readings = interpret_int_with_context(raw, IntContext{});
        benchmark::DoNotOptimize(readings.data());
    }
}
BENCHMARK_CAPTURE(BM_IntegerPath, unix_seconds, int64_t{1'700'000'000});
BENCHMARK_CAPTURE(BM_IntegerPath, snowflake, int64_t{1'541'815'603'606'036'480});

void BM_FloatPath(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<Candidate> readings = interpret_float(45000.5);
        benchmark::DoNotOptimize(readings.data());
    }
}
BENCHMARK(BM_FloatPath);

// Rendering into a caller's buffer (no allocation), per instant.
void BM_RenderIntoBuffer(benchmark::State& state) {
    char buffer[RFC3339_MAX_LEN];
    for (auto _ : state) {
        for (i128 ns : INSTANTS) {
            benchmark::DoNotOptimize(PosixNs{ns}.write_rfc3339(buffer));
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(INSTANTS.size()));
}
BENCHMARK(BM_RenderIntoBuffer);

// Rendering as the paths use it: an owned string per reading.
void BM_RenderToString(benchmark::State& state) {
    for (auto _ : state) {
        for (i128 ns : INSTANTS) {
            std::optional<std::string> text = PosixNs{ns}.to_rfc3339();
            benchmark::DoNotOptimize(text->data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(INSTANTS.size()));
}
BENCHMARK(BM_RenderToString);

// Writing the readings of an integer into a fresh 128-byte buffer, as
// identify_json does.
void BM_JsonWrite(benchmark::State& state) {
    std::vector<Candidate> const readings = identify(INTEGER_INPUT);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        out.reserve(128);
        append_json_candidates(out, readings);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    state.counters["readings"] = static_cast<double>(readings.size());
}
BENCHMARK(BM_JsonWrite);

void BM_JsonString(benchmark::State& state) {
    constexpr std::string_view TEXT =
        "consistent with Windows FILETIME (100ns since 1601) [[MS-DTYP] §2.3.3 FILETIME] — a reading, not a "
        "determination";
    std::string out;
    for (auto _ : state) {
        out.clear();
        append_json_string(out, TEXT);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(TEXT.size()));
}
BENCHMARK(BM_JsonString);

void BM_JsonNumbers(benchmark::State& state) {
    constexpr std::array<double, 6> SCORES = {1.0, 0.7777777777777778, 0.5555576976101386, 0.0, 0.5, 1e-7};
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (double score : SCORES) append_json_double(out, score);
        append_json_integer(out, INSTANTS[1]);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_JsonNumbers);

void BM_StringPathNonMatching(benchmark::State& state) {
    std::string_view const text = NON_MATCHING_TEXTS[static_cast<std::size_t>(state.range(0))];
    for (auto _ : state) {
        std::vector<Candidate> readings = interpret_string(text);
        benchmark::DoNotOptimize(readings.data());
    }
    state.SetLabel(std::string(text.substr(0, 24)));
}
BENCHMARK(BM_StringPathNonMatching)->DenseRange(0, NON_MATCHING_TEXTS.size() - 1);

void BM_StringPathMatching(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<Candidate> readings = interpret_string(MATCHING_STRING_INPUT);
        benchmark::DoNotOptimize(readings.data());
    }
}
BENCHMARK(BM_StringPathMatching);

// The whole engine per input class, as the binding calls it.
void BM_IdentifyJson(benchmark::State& state, std::string_view input) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string json = identify_json(input);
        bytes = json.size();
        benchmark::DoNotOptimize(json.data());
    }
    state.counters["out_bytes"] = static_cast<double>(bytes);
}
BENCHMARK_CAPTURE(BM_IdentifyJson, integer, INTEGER_INPUT);
BENCHMARK_CAPTURE(BM_IdentifyJson, decimal, DECIMAL_INPUT);
BENCHMARK_CAPTURE(BM_IdentifyJson, matching_string, MATCHING_STRING_INPUT);
BENCHMARK_CAPTURE(BM_IdentifyJson, junk, JUNK_INPUT);

// Kept out of line so that callgrind can collect exactly its calls.
[[gnu::noinline]] std::size_t probe_loop(std::string_view value, long count, const ReadOptions& options) {
    std::size_t bytes = 0;
    for (long i = 0; i < count; ++i) bytes += identify_json(value, options).size();
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    bool const extended = argc >= 2 && std::strcmp(argv[1], "--probe-extended") == 0;
    if (argc >= 2 && (extended || std::strcmp(argv[1], "--probe") == 0)) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: %s --probe|--probe-extended VALUE COUNT\n", argv[0]);
            return 2;
        }
        ReadOptions options;
        options.extended = extended;
        std::string_view const value = argv[2];
        long const count = std::strtol(argv[3], nullptr, 10);
        std::size_t const warm = identify_json(value, options).size();  // builds the registry outside the count
        std::size_t const bytes = probe_loop(value, count, options);
        std::printf("%zu bytes per call\n", count > 0 ? bytes / static_cast<std::size_t>(count) : warm);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
