// rank against the plain stable sort with candidate_order: random lists full
// of ties on score, path and prevalence, short and long.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/ranking.hpp"

namespace epochsift {
namespace {

// Rare and common identifiers, with shared prefixes for the byte-wise key.
constexpr std::string_view IDS[] = {"unix", "unix_ms", "hfs", "hfsplus", "bcd", "active", "filetime", "ns40",
                                    "ns40le", "dttm", "cocoa", "ksuid", "sony", "snowflake"};
constexpr double SCORES[] = {1.0, 7.0 / 9.0, 7.0 / 9.0, 0.5, 4.0 / 9.0, 0.0};

TEST(Rank, SameAsStableSortWithCandidateOrder) {
    std::mt19937_64 rng(17);
    for (int round = 0; round < 3000; ++round) {
        std::size_t const n = round % 10 == 0 ? 65 + rng() % 40 : rng() % 50;  // past the stack keys too
        std::vector<Candidate> readings(n);
        for (std::size_t i = 0; i < n; ++i) {
            readings[i].format_id = IDS[rng() % std::size(IDS)];
            readings[i].score = SCORES[rng() % std::size(SCORES)];
            readings[i].instant = PosixNs{static_cast<i128>(i)};  // the original position
            readings[i].facts.rare = rng() % 3 == 0;
            readings[i].facts.string_form = rng() % 4 == 0;
            readings[i].notes = {static_cast<Note>(rng() % NOTE_COUNT)};
        }
        std::vector<Candidate> expected = readings;
        std::stable_sort(expected.begin(), expected.end(), candidate_order);
        rank(readings);
        ASSERT_EQ(readings.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(readings[i].instant, expected[i].instant) << "round " << round << " at " << i;
            ASSERT_EQ(readings[i].notes, expected[i].notes);
        }
    }
}

}  // namespace
}  // namespace epochsift
