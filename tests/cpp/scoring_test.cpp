// Score components that depend on what a caller knows about the value (byte
// width, byte order, artifact, neighbours) and the weighted mean.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/interpret_int.hpp"
#include "engine/score.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {
namespace {

const NumericFamily& row(std::string_view id) {
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        if (family.id == id) return family;
    }
    ADD_FAILURE() << "no row " << id;
    return NUMERIC_FAMILIES[0];
}

std::vector<Component> kinds(const Candidate& reading) {
    std::vector<Component> out;
    for (ScoreComponent const& c : reading.components) out.push_back(c.kind);
    return out;
}

double component(const Candidate& reading, Component kind) {
    for (ScoreComponent const& c : reading.components) {
        if (c.kind == kind) return c.value;
    }
    ADD_FAILURE() << "no component " << static_cast<int>(kind);
    return NAN;
}

// A prior never moves a score; no weight at all gives zero.
TEST(OverallScore, PrevalenceIsNoPartOfTheScore) {
    ScoreComponent const rare[] = {{Component::Representable, 1.0}, {Component::Prevalence, 0.5}};
    EXPECT_EQ(overall_score(rare), 1.0);
    ScoreComponent const only_prior[] = {{Component::Prevalence, 1.0}};
    EXPECT_EQ(overall_score(only_prior), 0.0);
}

// The distance is the exact nanosecond count rounded once to binary64: 2^53 + 3
// ns is a tie between 2^53 + 2 and 2^53 + 4 and goes to the even one (a
// truncating conversion would give 2^53 + 2).
TEST(Components, EpochDistanceRoundsTheCountToNearestEven) {
    int64_t const raw = (int64_t{1} << 53) + 3;
    EXPECT_EQ(epoch_distance(row("unix_ns"), PosixNs{raw}), 9007199254740996.0 / TWO_YEARS);
}

// The distance rises linearly over two years of 365 days (63,072,000 s)
// and saturates there: half at one year, short of 1 a second before.
TEST(Components, EpochDistanceSaturatesAtTwoYears) {
    NumericFamily const& ns = row("unix_ns");
    int64_t const two_years = int64_t{63'072'000} * 1'000'000'000;
    struct Case {
        int64_t raw;
        double distance;
    };
    for (Case const& c : {Case{two_years / 2, 0.5}, Case{two_years / 4, 0.25}, Case{two_years, 1.0},
                          Case{two_years * 3, 1.0}, Case{INT64_MAX, 1.0}}) {
        EXPECT_EQ(epoch_distance(ns, PosixNs{c.raw}), c.distance) << c.raw;
    }
    // A second short (a nanosecond short rounds to the full two years in binary64).
    EXPECT_LT(epoch_distance(ns, PosixNs{two_years - 1'000'000'000}), 1.0);
    EXPECT_GT(epoch_distance(ns, PosixNs{two_years - 1'000'000'000}), 0.999);
}

TEST(ContextComponents, AddedOnlyUnderTheirConditions) {
    int64_t const neighbours[] = {1700000000};
    NumericFamily const& seconds = row("unix");
    auto const base_kinds = kinds(*build_candidate(seconds, 1700000000, IntContext{}));
    EXPECT_EQ(base_kinds, (std::vector<Component>{Component::Representable, Component::InWindow, Component::GranularityMatch, Component::MagnitudeFit,
                                                         Component::EpochDistance, Component::Prevalence, Component::NotSentinel}));

    struct Case {
        IntContext context;
        std::vector<Component> extra;
    };
    std::span<const int64_t> const none;
    Case const cases[] = {
        // a byte order without a width says nothing
        {{.artifact_hint = {}, .neighbours = none, .byte_order = ByteOrder::Big, .byte_width = {}}, {}},
        {{.artifact_hint = {}, .neighbours = none, .byte_order = {}, .byte_width = 8}, {Component::ByteWidthMatch}},
        {{.artifact_hint = {}, .neighbours = none, .byte_order = ByteOrder::Little, .byte_width = 8},
         {Component::ByteWidthMatch, Component::EndianMatch}},
        {{.artifact_hint = "", .neighbours = none, .byte_order = {}, .byte_width = {}}, {Component::ArtifactMatch}},
        {{.artifact_hint = {}, .neighbours = neighbours, .byte_order = {}, .byte_width = {}},
         {Component::NeighbourMonotonicity}},
        {{.artifact_hint = "x", .neighbours = neighbours, .byte_order = ByteOrder::Big, .byte_width = 4},
         {Component::ByteWidthMatch, Component::EndianMatch, Component::ArtifactMatch, Component::NeighbourMonotonicity}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto const reading = build_candidate(seconds, 1700000000, cases[i].context);
        ASSERT_TRUE(reading);
        auto expected = base_kinds;
        expected.insert(expected.end(), cases[i].extra.begin(), cases[i].extra.end());
        EXPECT_EQ(kinds(*reading), expected) << "case " << i;
        EXPECT_EQ(reading->score, overall_score(reading->components)) << "case " << i;
    }
}

// The two components of a value's byte width, taken by what they share.
// The byte-order evidence of a raw value whose own reading is decoded here,
// as the integer path decodes it before the evidence is weighed.
double endian_of_raw(const NumericFamily& family, int64_t raw, uint8_t width) {
    return endian_match(family, raw, decodes_into_window(family, raw), width);
}

TEST(ContextComponents, ByteWidthAndEndianMatch) {
    struct Case {
        double (*component)(const NumericFamily&, int64_t, uint8_t);
        std::string_view id;
        int64_t raw;
        uint8_t width;
        double expected;
    };
    Case const cases[] = {
        {byte_width_match, "unix", 1700000000, 4, 1.0},
        {byte_width_match, "unix", 1700000000, 8, 0.5},     // needs 4 bytes, no more than the usual 4
        {byte_width_match, "unix", 1700000000000, 8, 0.0},  // needs 6 bytes, more than the usual 4
        {byte_width_match, "unix", -1, 2, 0.5},             // |-1| needs one byte
        {byte_width_match, "unix", 255, 2, 0.5},
        {byte_width_match, "unix", INT64_MIN, 2, 0.0},      // its magnitude needs all 8 bytes
        {byte_width_match, "unix_ms", INT64_MIN, 2, 0.5},   // usual width 8
        {byte_width_match, "fat", 1700000000, 4, 1.0},      // packed layouts count as 4 bytes
        {byte_width_match, "ns40", 1700000000000, 7, 0.0},  // also the 7-byte ones
        {endian_of_raw, "unix", 1700000000, 4, 1.0},             // swapped 15815525 lands in 1970
        {endian_of_raw, "unix", 1700000000, 2, 1.0},             // no swapped value; given in window
        {endian_of_raw, "unix", 0x50000060, 4, 0.5},             // swapped 0x60000050 is in the window too
        {endian_of_raw, "unix", 0, 4, 0.0},                      // given outside the window
        {endian_of_raw, "unix", 15815525, 4, 0.0},               // ... whatever the swapped value does
        {endian_of_raw, "unix_ms", 1700000000000, 4, 1.0},       // above 32 bits: no 4-byte swap
        {endian_of_raw, "unix_ns", 0x1A00000000000019, 8, 0.5},  // swapped 0x190000000000001A, 2027
        {endian_of_raw, "discord", -1, 8, 0.0},                  // a codec error counts as outside
    };
    for (Case const& c : cases) {
        EXPECT_EQ(c.component(row(c.id), c.raw, c.width), c.expected)
            << (c.component == endian_of_raw ? "endian " : "width ") << c.id << " " << c.raw << " width " << int{c.width};
    }
}

TEST(ContextComponents, ArtifactMatch) {
    struct Case {
        std::string_view id;
        std::string_view hint;
        double expected;
    };
    Case const cases[] = {
        {"webkit", "Chrome History", 1.0},  // chrome in the label, history in the source
        {"unix", "Chrome History", 0.2},
        {"ksuid", "ksuid", 1.0},                // the id is part of the haystack
        {"unix", "\xCE\xA9unix", 1.0},          // a non-ASCII letter separates tokens
        {"webkit", "s since", 1.0},             // since occurs in the label
        {"hfsplus", "hfs+", 1.0},
        {"unix", "posix/linux", 1.0},
        {"webkit", "\xC2\xB5s", 0.2},           // µ is no token character; s is too short
    };
    for (Case const& c : cases) {
        EXPECT_EQ(artifact_match(row(c.id), c.hint), c.expected) << c.id << " '" << c.hint << "'";
    }
    // AD is the abbreviation of active's own source, but two letters make no token.
    for (NumericFamily const& family : NUMERIC_FAMILIES) EXPECT_EQ(artifact_match(family, "AD"), 0.2) << family.id;
}

// Searching with ASCII case folding is the full lowercase mapping only while
// the haystack's non-ASCII characters are their own lower case.
TEST(ContextComponents, HaystackNonAsciiIsCaseless) {
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        for (std::string_view text : {family.id, family.source, family.label}) {
            std::string rest(text);
            for (std::string_view c : {"\xC2\xB5", "\xC2\xA7", "\xE2\x80\x94", "\xE2\x88\x92"}) {  // µ § — −
                for (std::size_t at; (at = rest.find(c)) != std::string::npos;) rest.erase(at, c.size());
            }
            EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](unsigned char ch) { return ch < 0x80; })) << text;
        }
    }
}

TEST(ContextComponents, NeighbourMonotonicity) {
    struct Case {
        std::string_view id;
        std::vector<int64_t> neighbours;
        double expected;
    };
    Case const cases[] = {
        {"unix", {1700000000, 1700000100, 1700000050}, 1.0},
        {"snowflake", {5, 3}, 0.0},  // both decode to the epoch: equal instants, unequal values
        {"unix", {0}, 0.0},
        {"unix", {1700000000, 1700000100, 0}, 0.5},  // out-of-window pairs stay in the denominator
        {"unix", {1700000000, 0, 1700000100}, 0.0},
        {"discord", {-1, -2}, 0.0},                  // codec errors
    };
    for (Case const& c : cases) {
        EXPECT_EQ(neighbour_monotonicity(row(c.id), c.neighbours), c.expected) << c.id;
    }
    // The value itself plays no part.
    int64_t const neighbours[] = {1700000000, 1700000100};
    for (int64_t raw : {int64_t{1700000000}, int64_t{0}, int64_t{-5}}) {
        auto const reading = build_candidate(
            row("unix"), raw, IntContext{.artifact_hint = {}, .neighbours = neighbours, .byte_order = {}, .byte_width = {}});
        ASSERT_TRUE(reading);
        EXPECT_EQ(component(*reading, Component::NeighbourMonotonicity), 1.0) << raw;
    }
}

}  // namespace
}  // namespace epochsift
