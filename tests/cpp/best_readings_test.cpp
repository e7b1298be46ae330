// The first K readings built without the readings that cannot be among them
// equal the first K of the full reading, reading for reading, over a large
// generated set of values (every magnitude of integer, decimals, string
// forms and their mutations) under several sets of options, for several K,
// ties at the K-th place included.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/best_readings.hpp"
#include "engine/extended_score.hpp"
#include "engine/identify.hpp"
#include "engine/score_rank.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {
namespace {

std::vector<std::string> generated_values(std::size_t count) {
    std::mt19937_64 rng(20261207);
    std::vector<std::string> const strings = {
        "2024-05-01T12:00:00+02:00", "20240501120000Z", "240501120000Z", "01HX5ZZKBKACTAV9WEVGEMMVRZ",
        "507f1f77bcf86cd799439011",  "0x6817855a",      "aed19dd607bddb01", "01dbbd07:d69dd1ae",
        "1700000000:5",              "45000.5",         "1.7e9",           "Wed, 01 May 2024 12:00:00 +0200",
        "2024-07-21 05:43:47",       "231114221320",    "",                "x"};
    // Values whose readings tie: zero and sentinels, small counts many
    // families read alike, round numbers of every clock.
    std::vector<std::string> values = {"0",          "-1",         "1",           "100",          "4294967295",
                                       "2147483647", "1700000000", "1700000000000", "1700000000000000",
                                       "1700000000000000000", "9223372036854775807", "-9223372036854775808",
                                       "133444736000000000", "65536", "86400", "1000000"};
    std::string const alphabet = "0123456789abcdefZT:+-. ";
    while (values.size() < count) {
        switch (rng() % 4) {
            case 0: {
                unsigned const bits = 1 + static_cast<unsigned>(rng() % 63);
                auto const n = static_cast<int64_t>(rng() >> (64 - bits));
                values.push_back(std::to_string(rng() % 5 == 0 ? -n : n));
                break;
            }
            case 1: {  // trailing zeros, as coarse clocks write
                auto n = static_cast<int64_t>(rng() >> (1 + rng() % 40));
                for (unsigned z = static_cast<unsigned>(rng() % 10); z > 0 && n < INT64_MAX / 10; --z) n *= 10;
                values.push_back(std::to_string(n));
                break;
            }
            case 2: {
                std::uniform_real_distribution<double> d(-1e12, 1e12);
                values.push_back(std::to_string(d(rng)));
                break;
            }
            default: {
                std::string s = strings[rng() % strings.size()];
                for (unsigned k = static_cast<unsigned>(rng() % 3); k > 0 && !s.empty(); --k) {
                    s[rng() % s.size()] = alphabet[rng() % alphabet.size()];
                }
                values.push_back(s);
            }
        }
    }
    return values;
}

struct NamedOptions {
    const char* name;
    ReadOptions options;
};

std::vector<NamedOptions> option_sets(std::span<const int64_t> neighbours) {
    ReadOptions extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    ReadOptions hinted = extended;
    hinted.context.artifact_hint = ArtifactHint("chrome history sqlite");
    ReadOptions reference_hinted;
    reference_hinted.context.artifact_hint = ArtifactHint("fat directory entry");
    ReadOptions windowed = extended;
    windowed.window = InstantWindow{PosixNs::from_seconds(946'684'800), PosixNs::from_seconds(978'307'200)};
    ReadOptions laid = extended;
    laid.context.byte_width = 8;
    laid.context.byte_order = ByteOrder::Little;
    ReadOptions near = extended;
    near.context.neighbours = neighbours;
    return {{"reference", ReadOptions{}},   {"extended", extended},      {"extended+hint", hinted},
            {"reference+hint", reference_hinted}, {"extended+window", windowed}, {"extended+width+order", laid},
            {"extended+neighbours", near}};
}

// Bit for bit: the same row, instant, score, components, notes and layout.
bool same_reading(const Candidate& a, const Candidate& b) {
    if (a.format != b.format || a.instant != b.instant) return false;
    if (std::bit_cast<uint64_t>(a.score) != std::bit_cast<uint64_t>(b.score)) return false;
    if (a.components.size() != b.components.size() || a.notes != b.notes) return false;
    for (std::size_t i = 0; i < a.components.size(); ++i) {
        if (a.components[i].kind != b.components[i].kind) return false;
        if (std::bit_cast<uint64_t>(a.components[i].value) != std::bit_cast<uint64_t>(b.components[i].value)) return false;
    }
    return a.layout.kind == b.layout.kind && a.layout.width == b.layout.width && a.layout.order == b.layout.order &&
           a.layout.is_signed == b.layout.is_signed;
}

TEST(BestReadings, FirstKEqualsTheFullRankingsFirstK) {
    std::vector<std::string> const values = generated_values(12'000);
    std::vector<int64_t> const neighbours = {1'699'999'000, 1'700'000'000, 1'700'000'500};
    for (NamedOptions const& set : option_sets(neighbours)) {
        std::vector<BestReadings> readers;
        std::vector<std::size_t> const ks = {1, 2, 3, 7, 0};
        for (std::size_t k : ks) readers.emplace_back(set.options, k);
        std::size_t differing = 0;
        for (std::string const& value : values) {
            std::vector<Candidate> const full = identify(value, set.options);
            for (std::size_t r = 0; r < ks.size(); ++r) {
                std::vector<Candidate> const best = readers[r].identify(value);
                std::size_t const want = ks[r] == 0 ? full.size() : std::min(ks[r], full.size());
                bool same = best.size() == want;
                for (std::size_t i = 0; same && i < want; ++i) {
                    // The shares too: the readings not built still weigh in them.
                    same = same_reading(best[i], full[i]) &&
                           std::bit_cast<uint64_t>(best[i].confidence) == std::bit_cast<uint64_t>(full[i].confidence);
                }
                if (!same && ++differing <= 5) {
                    ADD_FAILURE() << set.name << " K=" << ks[r] << " value '" << value << "': " << best.size()
                                  << " readings, want " << want;
                }
            }
        }
        EXPECT_EQ(differing, 0u) << set.name;
    }
}

// Integers read one after another with a memo kept over them (a column's
// values: runs within one magnitude, then jumps across magnitudes and signs)
// give the full reading's first K, the shares included.
TEST(BestReadings, MemoKeptOverAColumnGivesTheFullRankingsFirstK) {
    std::mt19937_64 rng(25);
    std::vector<int64_t> column;
    for (std::string const& value : generated_values(3'000)) {
        if (auto const n = parse_integer(value)) column.push_back(*n);
    }
    for (int run = 0; run < 40; ++run) {
        auto const start = static_cast<int64_t>(rng() >> (1 + rng() % 63)) * (run % 5 == 0 ? -1 : 1);
        auto const step = static_cast<int64_t>(1 + rng() % 1'000'000);
        for (int i = 0; i < 60; ++i) column.push_back(start + i * step);
    }
    // Each band's ends and their neighbours across it, one after another:
    // a value just past the band last met takes another band's order.
    for (int width = 5; width <= 62; ++width) {
        for (int64_t const sign : {int64_t{1}, int64_t{-1}}) {
            IntegerBand const band = band_of(sign * static_cast<int64_t>((uint64_t{1} << (width - 1)) + (rng() >> (65 - width))));
            for (int64_t const value : {band.first, band.last, band.last + 1, band.last, band.first - 1, band.first})
                column.push_back(value);
        }
    }
    std::vector<int64_t> const neighbours = {1'699'999'000, 1'700'000'000, 1'700'000'500};
    for (NamedOptions const& set : option_sets(neighbours)) {
        for (std::size_t k : {std::size_t{1}, std::size_t{3}}) {
            BestReadings const reader(set.options, k);
            BestReadingsMemo memo(reader);
            std::vector<Candidate> kept;
            std::size_t differing = 0;
            for (int64_t value : column) {
                std::string const text = std::to_string(value);
                std::vector<Candidate> const full = identify(text, set.options);
                reader.identify_integer(value, text, kept, memo);
                std::size_t const want = std::min(k, full.size());
                bool same = kept.size() == want;
                for (std::size_t i = 0; same && i < want; ++i) {
                    same = same_reading(kept[i], full[i]) &&
                           std::bit_cast<uint64_t>(kept[i].confidence) == std::bit_cast<uint64_t>(full[i].confidence);
                }
                if (!same && ++differing <= 5) ADD_FAILURE() << set.name << " K=" << k << " value " << text;
            }
            EXPECT_EQ(differing, 0u) << set.name << " K=" << k;
        }
    }
}

// Down to a floor: every reading scoring at least the floor has the place
// it has in the full ranking, for each reading's score taken as the floor.
TEST(BestReadings, DownToAFloorKeepsThePlacesAboveIt) {
    std::vector<std::string> const values = generated_values(3'000);
    std::vector<int64_t> const neighbours = {1'699'999'000, 1'700'000'000, 1'700'000'500};
    for (NamedOptions const& set : option_sets(neighbours)) {
        BestReadings const reader(set.options, 0);
        std::vector<Candidate> down;
        std::size_t differing = 0;
        for (std::string const& value : values) {
            std::vector<Candidate> const full = identify(value, set.options);
            for (std::size_t at = 0; at < full.size(); at += 3) {
                if (full[at].facts.string_form) continue;  // the floor is a numeric reading's score
                reader.identify_down_to(value, full[at].score, down);
                bool same = down.size() >= at + 1;
                // A text reading scoring the floor goes after every numeric
                // one that does, so it need not be there.
                auto const above = [&](const Candidate& c) {
                    return c.score > full[at].score || (c.score == full[at].score && !c.facts.string_form);
                };
                for (std::size_t i = 0; same && i < full.size() && above(full[i]); ++i) {
                    same = i < down.size() && same_reading(down[i], full[i]);
                }
                if (!same && ++differing <= 5) ADD_FAILURE() << set.name << " '" << value << "' floor at " << at;
            }
        }
        EXPECT_EQ(differing, 0u) << set.name;
    }
}

// The integer entry reads as the integer's decimal text does.
TEST(BestReadings, IntegerEntryEqualsItsDecimalText) {
    std::mt19937_64 rng(7);
    ReadOptions const extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    for (ReadOptions const& options : {ReadOptions{}, extended}) {
        BestReadings const reader(options, 2);
        for (int i = 0; i < 5000; ++i) {
            auto const n = static_cast<int64_t>(rng() >> (rng() % 64));
            std::string const text = std::to_string(i % 3 == 0 ? -n : n);
            std::vector<Candidate> const by_text = reader.identify(text);
            std::vector<Candidate> const by_integer = reader.identify_integer(i % 3 == 0 ? -n : n, text);
            ASSERT_EQ(by_text.size(), by_integer.size()) << text;
            for (std::size_t k = 0; k < by_text.size(); ++k) EXPECT_TRUE(same_reading(by_text[k], by_integer[k])) << text;
        }
    }
}

// The bound holds: no reading of a family scores above it, whatever the
// value, under each set of options.
TEST(BestReadings, NoReadingScoresAboveItsFamilysBound) {
    std::vector<std::string> const values = generated_values(4'000);
    std::vector<int64_t> const neighbours = {1'699'999'000, 1'700'000'000, 1'700'000'500};
    for (NamedOptions const& set : option_sets(neighbours)) {
        std::span<const NumericFamily> const rows =
            set.options.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES) : std::span<const NumericFamily>(REFERENCE_FAMILIES);
        std::vector<double> bounds;
        for (std::size_t i = 0; i < rows.size(); ++i) bounds.push_back(score_bound(i, set.options));
        for (std::string const& value : values) {
            if (value.empty() || value.find_first_not_of("-0123456789") != std::string::npos) continue;
            for (Candidate const& reading : identify(value, set.options)) {
                if (reading.facts.string_form || reading.layout.kind != InputLayout::Kind::None) continue;
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    if (FormatRef::of(rows[i]) != reading.format) continue;
                    EXPECT_LE(reading.score, bounds[i]) << set.name << " " << rows[i].id << " " << value;
                }
            }
        }
    }
}

// How many readings of values ScoreRank placed (decided), and how many of
// those differ from their place in the full ranking.
struct RankCheck {
    std::size_t decided = 0;
    std::size_t differing = 0;
};

RankCheck check_ranks(const NamedOptions& set, std::span<const std::string> values) {
    RankCheck out;
    std::vector<std::optional<ScoreRank>> ranks(NUMERIC_FAMILIES.size());
    for (std::string const& value : values) {
        int64_t const integer = *parse_integer(value);
        std::vector<Candidate> const full = identify(value, set.options);
        for (std::size_t at = 0; at < full.size(); ++at) {
            Candidate const& reading = full[at];
            if (reading.format.kind() != FormatKind::NumericFamily) continue;
            std::optional<ScoreRank>& rank = ranks[reading.format.row()];
            if (!rank) rank.emplace(reading.format, set.options);
            if (!rank->applies()) continue;
            auto const place = rank->rank(integer, value, reading.score);
            if (!place) continue;
            ++out.decided;
            if (*place != at + 1 && ++out.differing <= 5) {
                ADD_FAILURE() << set.name << " '" << value << "' " << reading.format_id() << ": rank " << *place
                              << ", placed " << at + 1;
            }
        }
    }
    return out;
}

// A numeric reading's rank from scores alone (ScoreRank) is its place in the
// full ranking, for every family a call reads, over integers of every
// magnitude and the tie-prone round ones, wherever the scores decide it.
TEST(ScoreRank, RankFromScoresIsThePlaceInTheFullRanking) {
    std::vector<std::string> values;
    for (std::string const& value : generated_values(6'000)) {
        std::string_view const text = trim_white_space(value);
        if (parse_integer(text)) values.emplace_back(text);
    }
    std::mt19937_64 rng(41);
    for (int i = 0; i < 3'000; ++i) {  // every magnitude, both signs, spread within each
        unsigned const bits = static_cast<unsigned>(i % 64);
        auto const n = static_cast<int64_t>(bits == 0 ? 0 : rng() >> (64 - bits));
        values.push_back(std::to_string(i % 7 == 0 ? -n : n));
    }
    std::vector<int64_t> const neighbours = {1'699'999'000, 1'700'000'000, 1'700'000'500};
    std::vector<NamedOptions> sets = option_sets(neighbours);
    ReadOptions reference_near;
    reference_near.context.neighbours = neighbours;
    sets.push_back({"reference+neighbours", reference_near});
    for (NamedOptions const& set : sets) {
        RankCheck const check = check_ranks(set, values);
        EXPECT_EQ(check.differing, 0u) << set.name;
        // The neighbours' column scores the extended reading: never by scores alone.
        bool const judged = set.options.extended && !set.options.context.neighbours.empty();
        // The extended reading's are decided at full marks only: fewer.
        if (judged) EXPECT_EQ(check.decided, 0u) << set.name;
        else EXPECT_GT(check.decided, set.options.extended ? 20u : values.size()) << set.name;
    }
}

// A rival family is passed over, without decoding, for values outside the
// run that decodes near the window or the typical era: the values at each
// end of those spans, for every count and identifier row, rank as the full
// ranking places them.
TEST(ScoreRank, RankAtTheEdgesOfTheSpansRivalsArePassedOver) {
    InstantWindow const window{PosixNs::from_seconds(946'684'800), PosixNs::from_seconds(1'893'456'000)};
    constexpr i128 HALF_ERA = 157'788'000'000'000'000;  // half of ERA_DECAY_NS
    std::vector<PosixNs> edges = {window.start, window.end, PosixNs{TYPICAL_START.ns - HALF_ERA},
                                  PosixNs{TYPICAL_END.ns + HALF_ERA}, TYPICAL_START, TYPICAL_END};
    std::vector<std::string> values;
    for (NumericFamily const& row : NUMERIC_FAMILIES) {
        Encoding const& encoding = row.encoding;
        if (encoding.tag != Encoding::Tag::Integer && encoding.tag != Encoding::Tag::Shifted) continue;
        std::vector<PosixNs> at = edges;
        at.push_back(row.window_start);
        at.push_back(row.window_end);
        i128 const unit = unit_ns(encoding.unit);
        int const shift = encoding.tag == Encoding::Tag::Shifted ? encoding.shift : 0;
        for (PosixNs const edge : at) {
            i128 const count = floor_div(edge.ns - row.epoch.ns, unit);
            for (i128 step : {i128{-1}, i128{0}, i128{1}}) {
                i128 const raw = (count + step) << shift;
                for (i128 low : {i128{0}, (i128{1} << shift) - 1}) {
                    if (raw + low >= INT64_MIN && raw + low <= INT64_MAX) values.push_back(std::to_string(static_cast<int64_t>(raw + low)));
                }
            }
        }
    }
    ReadOptions extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    ReadOptions reference_windowed;
    reference_windowed.window = window;
    ReadOptions extended_windowed = extended;
    extended_windowed.window = window;
    std::vector<NamedOptions> const sets = {{"reference", ReadOptions{}},
                                            {"reference+window", reference_windowed},
                                            {"extended", extended},
                                            {"extended+window", extended_windowed}};
    for (NamedOptions const& set : sets) {
        RankCheck const check = check_ranks(set, values);
        EXPECT_EQ(check.differing, 0u) << set.name;
        EXPECT_GT(check.decided, 0u) << set.name;
    }
}

}  // namespace
}  // namespace epochsift
