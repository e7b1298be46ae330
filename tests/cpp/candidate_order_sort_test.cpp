// rank against the plain stable sort with candidate_order, and rank_extended
// against a plain statement of its order: random lists full of ties, short
// and long.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <string>
#include <tuple>
#include <vector>

#include "engine/identify.hpp"
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
            readings[i].format = *find_format(IDS[rng() % std::size(IDS)]);
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

// rank_extended against a plain statement of its order: score descending,
// numeric families before string forms, prior descending, then list order;
// within a tie, readings naming an instant no reading above gives first.
std::vector<int64_t> plain_extended_order(const std::vector<Candidate>& readings) {
    auto const prior_of = [](const Candidate& c) {
        for (const ScoreComponent& component : c.components) {
            if (component.kind == Component::Prior) return component.value;
        }
        return 1.0;
    };
    auto const key = [&](const Candidate& c) { return std::make_tuple(-c.score, c.facts.string_form, -prior_of(c)); };
    std::vector<Candidate> sorted = readings;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Candidate& a, const Candidate& b) { return key(a) < key(b); });
    std::vector<int64_t> order;
    for (std::size_t start = 0; start < sorted.size();) {
        std::size_t end = start;
        while (end < sorted.size() && key(sorted[end]) == key(sorted[start])) ++end;
        std::vector<int64_t> fresh, repeated;
        for (std::size_t i = start; i < end; ++i) {
            bool const repeats = std::any_of(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(i),
                                             [&](const Candidate& above) { return above.instant == sorted[i].instant; });
            (repeats && end - start > 1 ? repeated : fresh).push_back(sorted[i].raw);
        }
        order.insert(order.end(), fresh.begin(), fresh.end());
        order.insert(order.end(), repeated.begin(), repeated.end());
        start = end;
    }
    return order;
}

TEST(RankExtended, SameAsPlainOrderWithRepeatedInstants) {
    constexpr double PRIORS[] = {1.0, 0.8, 0.6, 0.4};
    constexpr double EXTENDED_SCORES[] = {1.0, 0.75, 0.75, 0.5, 0.0, -0.0};
    std::mt19937_64 rng(23);
    for (int round = 0; round < 3000; ++round) {
        std::size_t const n = round % 10 == 0 ? 100 + rng() % 100 : rng() % 70;  // past the instant set too
        std::size_t const instants = 1 + rng() % (round % 2 == 0 ? 12 : 300);  // few (many repeats) or many
        std::vector<Candidate> readings(n);
        for (std::size_t i = 0; i < n; ++i) {
            readings[i].raw = static_cast<int64_t>(i);  // the original position
            readings[i].score = EXTENDED_SCORES[rng() % std::size(EXTENDED_SCORES)];
            // Instants that share their low or high 64 bits, and negative ones.
            auto const pick = static_cast<i128>(rng() % instants);
            readings[i].instant = PosixNs{pick % 3 == 0 ? -pick : pick % 3 == 1 ? pick << 64 : pick * 1'000'000'000};
            readings[i].facts.string_form = rng() % 4 == 0;
            readings[i].components = {{Component::Representable, 1.0}};
            if (rng() % 5 != 0) {
                readings[i].prior = PRIORS[rng() % std::size(PRIORS)];
                readings[i].components.push_back({Component::Prior, readings[i].prior});
            }
        }
        std::vector<int64_t> const expected = plain_extended_order(readings);
        rank_extended(readings);
        ASSERT_EQ(readings.size(), n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(readings[i].raw, expected[i]) << "round " << round << " at " << i;
    }
}

// The prior rank_extended orders by is the one the reading lists among its
// components, for every kind of extended reading.
TEST(RankExtended, PriorIsTheListedComponent) {
    ReadOptions extended;
    extended.extended = true;
    for (std::string_view value : {"1700000000", "1700000000123", "45000.5", "20240501120000", "6817855a",
                                   "0ujsswThIGTUYm2K8FjOOfXtY1K", "1700000000:5", "2024-05-01 12:00:00"}) {
        for (Candidate const& reading : identify(value, extended)) {
            double listed = 1.0;
            for (ScoreComponent const& component : reading.components) {
                if (component.kind == Component::Prior) listed = component.value;
            }
            EXPECT_EQ(reading.prior, listed) << value << " " << reading.format_id();
        }
    }
}

}  // namespace
}  // namespace epochsift
