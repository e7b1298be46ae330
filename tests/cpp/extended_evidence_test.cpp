// The extended reading's evidence, each component against the rule its
// documents state: the README's era (full credit from 1995 to 2041, falling
// over ten years outside) and its worked example, Twitter's Snowflake layout
// (41-bit milliseconds, 10-bit worker, 12-bit sequence) for the identifier
// structure, and the producer clock resolutions for trailing zeros.
#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "engine/extended_score.hpp"
#include "engine/identify.hpp"
#include "formats/catalog.hpp"

namespace epochsift {
namespace {

const NumericFamily& family(std::string_view id) { return NUMERIC_FAMILIES[find_format(id)->row()]; }

constexpr int64_t JULIAN_YEAR = 31'557'600;  // 365.25 days: the README's "ten years" as a span
constexpr int64_t Y1995 = 788'918'400;       // 1995-01-01T00:00:00Z
constexpr int64_t Y2041 = 2'240'611'200;     // 2041-01-01T00:00:00Z

TEST(PlausibleEra, FullCreditFrom1995To2041FallingOverTenYears) {
    struct Case {
        int64_t seconds;
        double expected;
    };
    const Case cases[] = {
        {Y1995, 1.0},
        {Y2041 - 1, 1.0},
        {1'700'000'000, 1.0},
        {Y1995 - 1, 1.0 - 1e9 / 3.15576e17},  // one second outside
        {Y1995 - 5 * JULIAN_YEAR, 0.5},
        {Y2041 + 5 * JULIAN_YEAR, 0.5},
        {Y1995 - 10 * JULIAN_YEAR, 0.0},
        {Y2041 + 10 * JULIAN_YEAR, 0.0},
        {0, 0.0},  // 1970: 25 years before
    };
    for (Case const& c : cases) {
        EXPECT_NEAR(plausible_era(PosixNs::from_seconds(c.seconds), false, false), c.expected, 1e-12) << c.seconds;
    }
    // The caller's window decides alone.
    EXPECT_EQ(plausible_era(PosixNs::from_seconds(0), true, true), 1.0);
    EXPECT_EQ(plausible_era(PosixNs::from_seconds(1'700'000'000), true, false), 0.0);
}

// A Snowflake identifier with this sequence number at a fixed time and worker.
int64_t snowflake(int64_t sequence) { return (int64_t{1'700'000'000'000 - 1'288'834'974'657} << 22) | (5 << 12) | sequence; }

TEST(IdStructure, SequenceFieldUsesAtMostHalfItsBits) {
    struct Case {
        int64_t sequence;
        double expected;
    };
    const Case cases[] = {
        {0, 1.0},      {1, 1.0},
        {63, 1.0},     // six bits: half the field
        {64, 5.0 / 6}, // seven bits
        {511, 0.5},    // nine bits
        {2048, 0.0},   // twelve bits: a full field
        {4095, 0.0},
    };
    for (Case const& c : cases) {
        EXPECT_DOUBLE_EQ(id_structure(family("snowflake"), snowflake(c.sequence)), c.expected) << c.sequence;
        EXPECT_DOUBLE_EQ(id_structure(family("discord"), snowflake(c.sequence)), c.expected) << c.sequence;
    }
    EXPECT_EQ(id_structure(family("unix_ms"), snowflake(4095)), 1.0);  // a count has no such field
    EXPECT_EQ(id_structure(family("snowflake"), -1), 1.0);
    // Sonyflake keeps an 8-bit sequence above a 16-bit machine id.
    EXPECT_EQ(id_structure(family("sony"), int64_t{15} << 16), 1.0);
    EXPECT_EQ(id_structure(family("sony"), int64_t{255} << 16), 0.0);
}

TEST(ResolutionFit, TrailingZerosAgainstProducerClocks) {
    struct Case {
        std::string_view id;
        int64_t raw;
        double expected;
    };
    const Case cases[] = {
        {"unix_ns", 1'700'000'000'123'456'789, 1.0},
        {"unix_ns", 1'700'000'000'123'456'780, 0.75},  // one zero: no producer clock
        {"unix_ns", 1'700'000'000'123'456'700, 1.0},   // 100 ns ticks
        {"unix_ns", 1'700'000'000'123'000'000, 1.0},   // microseconds
        {"unix_ns", -1'700'000'000'123'456'780, 0.75},
        {"unix_us", 1'700'000'000'123'450, 1.0},
        {"unix_ms", 1'700'000'000'120, 1.0},
        {"unix", 1'700'000'000, 1.0},
        {"filetime", 133'444'736'000'000'000, 1.0},
        {"snowflake", 1'700'000'000'000'000'000, 1.0},  // identifiers: not a count of the unit
    };
    for (Case const& c : cases) EXPECT_EQ(resolution_fit(family(c.id), c.raw), c.expected) << c.id << " " << c.raw;
}

// A count from a coarser clock ends in decimal zeros, which clear the low
// bits an identifier's sequence lives in: three or more of them and the value
// is never taken for an identifier; the value one above is.
TEST(IdStructure, ThreeTrailingZerosAreNoIdentifier) {
    int64_t const time_field = int64_t{1'700'000'000'000 - 1'288'834'974'657} << 22;
    bool found = false;
    for (int64_t worker = 0; worker < 1024 && !found; ++worker) {
        for (int64_t sequence = 0; sequence < 32 && !found; ++sequence) {
            int64_t const raw = time_field | worker << 12 | sequence;
            if (raw % 1000 != 0 || raw % 10000 == 0) continue;
            found = true;
            EXPECT_FALSE(identifier_shaped(raw)) << raw;
            EXPECT_TRUE(identifier_shaped(raw + 1)) << raw + 1;
        }
    }
    EXPECT_TRUE(found);
}

// The README's worked example of the extended reading.
TEST(ExtendedScore, ReadmeExample) {
    ReadOptions extended;
    extended.extended = true;
    std::vector<Candidate> const readings = identify("1700000000", extended);
    ASSERT_GE(readings.size(), 3u);
    EXPECT_EQ(readings[0].format_id(), "unix");
    EXPECT_EQ(readings[0].score, 1.0);
    EXPECT_EQ(readings[1].format_id(), "gps");
    EXPECT_EQ(readings[1].score, 0.9666666666666667);
    EXPECT_EQ(readings[2].format_id(), "tai");
    EXPECT_EQ(readings[2].score, 0.9500000000000001);
}

// A date written as bare digits names its form less surely than a count's
// family: its reading weighs like a family of the Specialised tier.
TEST(ExtendedScore, BareDigitDatesWeighAsSpecialised) {
    ReadOptions extended;
    extended.extended = true;
    bool seen = false;
    for (Candidate const& reading : identify("20240501120000", extended)) {
        if (!reading.facts.string_form || !reading.facts.zone_unstated) continue;
        seen = true;
        EXPECT_EQ(reading.prior, 0.6) << reading.format_id();
    }
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace epochsift
