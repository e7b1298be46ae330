// Hostile input for the whole engine: the fuzzer's seed forms, megabyte
// texts run on a small stack, and many threads at once. Built like every
// test, so CI runs it plain and under AddressSanitizer and UBSan.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/identify.hpp"
#include "output/reading_json.hpp"

#include "base64url_encode.hpp"

namespace epochsift {
namespace {

std::vector<std::pair<std::string, std::string>> seed_corpus() {
    // The seeds live beside the fuzzer, one form per file.
    auto const dir = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "seeds";
    std::vector<std::pair<std::string, std::string>> seeds;
    for (auto const& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::sort(seeds.begin(), seeds.end());
    return seeds;
}

// The paths share only read-only tables, built once on first use; threads
// that race to that first use (this test runs first in its binary) still all get the single-threaded answer.
TEST(Hostile, ThreadsGetTheSingleThreadedResults) {
    auto const seeds = seed_corpus();
    std::vector<std::string> expected;
    std::vector<std::vector<std::string>> got(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t) {
        threads.emplace_back([&seeds, &got, t] {
            for (int round = 0; round < 5; ++round) {
                for (std::size_t i = 0; i < seeds.size(); ++i) {
                    got[t].push_back(identify_json(seeds[(i + t) % seeds.size()].second));
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (auto const& seed : seeds) expected.push_back(identify_json(seed.second));
    for (std::size_t t = 0; t < got.size(); ++t) {
        ASSERT_EQ(got[t].size(), 5 * seeds.size());
        for (std::size_t k = 0; k < got[t].size(); ++k) {
            std::size_t const i = (k % seeds.size() + t) % seeds.size();
            EXPECT_EQ(got[t][k], expected[i]) << "thread " << t << ", " << seeds[i].first;
        }
    }
}

// identify_json is the JSON form of identify, ranked by score, best first.
void expect_consistent(std::string_view text, std::string const& name) {
    auto const readings = identify(text);
    std::string written;
    append_json_candidates(written, readings);
    EXPECT_EQ(identify_json(text), written) << name;
    EXPECT_TRUE(std::is_sorted(readings.begin(), readings.end(),
                               [](Candidate const& a, Candidate const& b) { return a.score > b.score; }))
        << name;
}

TEST(Hostile, EverySeedFormReads) {
    auto const seeds = seed_corpus();
    ASSERT_GE(seeds.size(), 30u);
    for (auto const& [name, text] : seeds) {
        expect_consistent(text, name);
        // NaN and a 20-digit number read as nothing; every other seed reads.
        bool const reads_nothing = name == "float_nan" || name == "float_overflow_digits";
        EXPECT_EQ(identify_json(text) == "[]", reads_nothing) << name;
    }
}

// Runs the work on a thread with a 1 MiB stack: a parser that recursed once
// per bracket, parenthesis or JSON level would overflow it on these texts.
void on_small_stack(std::function<void()> work) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, std::size_t{1} << 20), 0);
    pthread_t thread;
    auto trampoline = [](void* arg) -> void* {
        (*static_cast<std::function<void()>*>(arg))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, trampoline, &work), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
}

// Joins the pieces with append: GCC 12 warns falsely on literal + string.
std::string cat(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (auto const piece : pieces) out.append(piece);
    return out;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out.append(piece);
    return out;
}

using test_support::base64url;

// Every character with the Unicode White_Space property, as UTF-8.
constexpr std::string_view WHITE_SPACE =
    "\t\n\v\f\r \xc2\x85\xc2\xa0\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x81\xe2\x80\x82\xe2\x80\x83\xe2\x80\x84"
    "\xe2\x80\x85\xe2\x80\x86\xe2\x80\x87\xe2\x80\x88\xe2\x80\x89\xe2\x80\x8a\xe2\x80\xa8\xe2\x80\xa9"
    "\xe2\x80\xaf\xe2\x81\x9f\xe3\x80\x80";

TEST(Hostile, MegabyteTextsReturnWithoutDeepRecursion) {
    constexpr std::size_t N = std::size_t{1} << 20;
    std::string const nul(N, '\0');
    std::string const space_half = repeat(WHITE_SPACE, N / 2 / WHITE_SPACE.size());
    std::pair<std::string, std::string> const texts[] = {
        {"digits", std::string(N, '7')},
        {"leading zeros", cat({std::string(N, '0'), "1700000000"})},
        {"long decimal", cat({std::string(N / 2, '1'), ".", std::string(N / 2, '1')})},
        {"huge exponent", cat({"1e", std::string(N, '9')})},
        {"white space", repeat(WHITE_SPACE, N / WHITE_SPACE.size())},
        {"white space around", cat({space_half, "1700000000", space_half})},
        {"dots", std::string(N, '.')},
        {"hyphens", std::string(N, '-')},
        {"colons", std::string(N, ':')},
        {"brackets", cat({std::string(N / 2, '['), std::string(N / 2, ']')})},
        {"annotations", cat({"2024-05-01T12:00:00Z", repeat("[a=b]", N / 5)})},
        {"ei= repeated", repeat("ei=", N / 3)},
        {"jwt nested arrays", cat({".", base64url(cat({std::string(N / 3, '['), std::string(N / 3, ']')})), "."})},
        {"jwt nested objects", cat({".", base64url(cat({repeat("{\"a\":", N / 8), "1", std::string(N / 8, '}')})), "."})},
        {"rfc2822 nested comment", cat({"Tue, 1 Jul 2003 10:52:37 +0200 ", std::string(N / 2, '('), std::string(N / 2, ')')})},
        {"rfc2822 comment first", cat({std::string(N / 2, '('), std::string(N / 2, ')'), "Tue, 1 Jul 2003 10:52:37 +0200"})},
        {"pdf digits", cat({"D:", std::string(N, '2')})},
        {"asn1 fraction", cat({"20240501120000.", std::string(N, '1'), "Z"})},
        {"nul bytes", nul},
        {"nul inside a value", cat({"17000", nul, "00000"})},
    };
    for (auto const& [name, text] : texts) {
        std::string json;
        on_small_stack([&] { json = identify_json(text); });
        EXPECT_TRUE(json.size() >= 2 && json.front() == '[' && json.back() == ']') << name;
    }
}

}  // namespace
}  // namespace epochsift
