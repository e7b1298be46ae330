// Hostile input for the whole engine: the fuzzer's seed forms and texts
// built to make a parser recurse, each answer checked for the properties
// every answer has. Built like every test, so CI runs it plain, under
// AddressSanitizer and UBSan, and under valgrind.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base64url_encode.hpp"
#include "reading_properties.hpp"

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

TEST(Hostile, EverySeedFormReadsWithTheReadingProperties) {
    auto const seeds = seed_corpus();
    ASSERT_GE(seeds.size(), 30u);
    for (auto const& [name, text] : seeds) {
        EXPECT_EQ(test_support::reading_faults(text), "") << name;
        // NaN and a 20-digit number read as nothing; raw bytes, lines of a
        // column and the extended inputs only in their own readings (the
        // fuzzer checks those); every other seed reads.
        bool const own_reading = name.starts_with("bytes_") || name.starts_with("column_") ||
                                 name.starts_with("hex_") || name.starts_with("wall_clock_") || name == "ksuid" ||
                                 name == "word_pair";
        bool const reads_nothing = own_reading || name == "float_nan" || name == "float_overflow_digits";
        EXPECT_EQ(identify(text).empty(), reads_nothing) << name;
        if (name.starts_with("hex_") || name.starts_with("wall_clock_") || name == "ksuid" || name == "word_pair") {
            EXPECT_FALSE(identify(text, ReadOptions{.extended = true}).empty()) << name;
        }
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

std::string nested(char open, char close, std::size_t depth) {
    return std::string(depth, open).append(depth, close);
}

// Joins with append: GCC 12 warns falsely on literal + string.
std::string cat(std::string a, std::string_view b, std::string_view c = {}) { return a.append(b).append(c); }

TEST(Hostile, DeepNestingOnASmallStack) {
    constexpr std::size_t DEPTH = std::size_t{1} << 18;
    using test_support::base64url;
    std::pair<std::string, std::string> const texts[] = {
        {"brackets", nested('[', ']', DEPTH)},
        {"jwt nested arrays", cat(".", base64url(nested('[', ']', DEPTH)), ".")},
        {"rfc2822 nested comment", cat("Tue, 1 Jul 2003 10:52:37 +0200 ", nested('(', ')', DEPTH))},
        {"rfc2822 comment first", cat(nested('(', ')', DEPTH), "Tue, 1 Jul 2003 10:52:37 +0200")},
    };
    for (auto const& [name, text] : texts) {
        std::string faults = "not run";
        on_small_stack([&] { faults = test_support::reading_faults(text); });
        EXPECT_EQ(faults, "") << name;
    }
}

}  // namespace
}  // namespace epochsift
