// A magnitude band holds every value of its sign, bit width and three bits
// below the leading one; no reading of a value in a band scores above the
// family's bound over that band.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string_view>
#include <vector>

#include "engine/band_bounds.hpp"
#include "engine/best_readings.hpp"
#include "engine/interpret_int.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {
namespace {

constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX = std::numeric_limits<int64_t>::max();

// The band's defining facts, from the value alone.
struct Shape {
    bool negative;
    int width;
    uint64_t top;  // the bits below the leading one, three of them; all of a small value
    bool operator==(const Shape&) const = default;
};

Shape shape_of(int64_t raw) {
    uint64_t const magnitude = raw < 0 ? static_cast<uint64_t>(-(raw + 1)) : static_cast<uint64_t>(raw);
    int const width = 64 - std::countl_zero(magnitude);
    if (width <= 4) return {raw < 0, 0, 0};
    return {raw < 0, width, (magnitude >> (width - 4)) & 7};
}

std::vector<int64_t> edge_and_random_values() {
    std::vector<int64_t> values = {MIN, MIN + 1, -17, -16, -15, -1, 0, 1, 15, 16, 17, 31, 32, 1'700'000'000, MAX - 1, MAX};
    std::mt19937_64 rng(1207);
    for (int i = 0; i < 4'000; ++i) {
        auto const n = static_cast<int64_t>(rng() >> (rng() % 64));
        values.push_back(i % 4 == 0 ? -n : n);
    }
    return values;
}

TEST(IntegerBand, HoldsEveryValueOfItsShapeAndNoOther) {
    std::vector<uint16_t> keys_seen(BAND_KEYS, 0);
    for (int64_t raw : edge_and_random_values()) {
        IntegerBand const band = band_of(raw);
        ASSERT_LT(band.key, BAND_KEYS);
        ASSERT_LE(band.first, raw);
        ASSERT_GE(band.last, raw);
        // Its ends share its shape and key; the values just past them do not.
        EXPECT_EQ(shape_of(band.first), shape_of(raw)) << raw;
        EXPECT_EQ(shape_of(band.last), shape_of(raw)) << raw;
        EXPECT_EQ(band_of(band.first).key, band.key) << raw;
        EXPECT_EQ(band_of(band.last).key, band.key) << raw;
        if (band.first != MIN) EXPECT_NE(shape_of(band.first - 1), shape_of(raw)) << raw;
        if (band.last != MAX) EXPECT_NE(shape_of(band.last + 1), shape_of(raw)) << raw;
    }
    // One key a shape: two values share a key exactly when they share a shape.
    std::vector<int64_t> const values = edge_and_random_values();
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        EXPECT_EQ(band_of(values[i]).key == band_of(values[i + 1]).key, shape_of(values[i]) == shape_of(values[i + 1]))
            << values[i] << " " << values[i + 1];
    }
}

struct NamedOptions {
    const char* name;
    ReadOptions options;
};

// Every family, every set of options that changes the bound: no reading of
// a value scores above the family's bound over the value's band. The values
// are spread over every magnitude and both signs, with the band's own ends.
TEST(IntegerBand, NoReadingScoresAboveItsFamilysBandBound) {
    ReadOptions const extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    ReadOptions windowed = extended;
    windowed.window = InstantWindow{PosixNs::from_seconds(946'684'800), PosixNs::from_seconds(978'307'200)};
    ReadOptions hinted = extended;
    hinted.context.artifact_hint = ArtifactHint("discord snowflake");
    std::vector<NamedOptions> const sets = {
        {"reference", ReadOptions{}}, {"extended", extended}, {"extended+window", windowed}, {"extended+hint", hinted}};
    std::vector<int64_t> values = edge_and_random_values();
    std::size_t const randoms = values.size();
    for (std::size_t i = 0; i < randoms; i += 7) {
        IntegerBand const band = band_of(values[i]);
        values.push_back(band.first);
        values.push_back(band.last);
    }
    for (NamedOptions const& set : sets) {
        std::span<const NumericFamily> const rows = set.options.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES)
                                                                         : std::span<const NumericFamily>(REFERENCE_FAMILIES);
        std::size_t tight = 0;  // bounds below the bound over every value: the band told something
        for (std::size_t f = 0; f < rows.size(); ++f) {
            NumericFamily const windowed_family = windowed_row(rows[f], set.options);
            ComponentList const everywhere = score_bound_components(f, set.options);
            for (int64_t raw : values) {
                auto const scored = family_score(windowed_family, raw, set.options, shaped_like_identifier(raw, set.options));
                if (!scored) continue;
                double const bound =
                    components_score(band_bound_components(windowed_family, everywhere, band_of(raw), set.options), set.options);
                EXPECT_LE(scored->score, bound) << set.name << " " << rows[f].id << " " << raw;
                if (bound < components_score(everywhere, set.options)) ++tight;
            }
        }
        EXPECT_GT(tight, 0u) << set.name;
    }
}

// A band said to read nothing in a family has no reading there: its ends
// and values within it, each decoded in full. Values of every magnitude and
// both signs, so that the packed layouts' widths and the counts' instants
// past the calendar are crossed.
TEST(IntegerBand, ABandThatReadsNoneHasNoReading) {
    ReadOptions const extended{.extended = true, .context = {}, .window = {}, .zones = {}};
    std::vector<int64_t> const values = edge_and_random_values();
    std::mt19937_64 rng(2612);
    std::size_t none = 0;
    for (NumericFamily const& row : NUMERIC_FAMILIES) {
        for (std::size_t i = 0; i < values.size(); i += 3) {
            IntegerBand const band = band_of(values[i]);
            if (!band_reads_none(row, band)) continue;
            ++none;
            auto const span = static_cast<uint64_t>(band.last) - static_cast<uint64_t>(band.first);
            int64_t const within = static_cast<int64_t>(static_cast<uint64_t>(band.first) + (span == 0 ? 0 : rng() % span));
            for (int64_t raw : {band.first, band.last, values[i], within}) {
                EXPECT_FALSE(family_score(row, raw, extended, false)) << row.id << " " << raw;
            }
        }
    }
    EXPECT_GT(none, 0u);
}

// Where the layouts' documented widths and the calendar's end say so.
TEST(IntegerBand, ReadsNoneOfTheBandsPastAWidthOrTheCalendar) {
    auto const row = [](std::string_view id) -> const NumericFamily& {
        for (NumericFamily const& family : NUMERIC_FAMILIES) {
            if (family.id == id) return family;
        }
        return NUMERIC_FAMILIES[0];
    };
    int64_t const filetime_2011 = 129'500'000'000'000'000;  // 2^56.8: past every FAT, DVR or GSM word
    EXPECT_TRUE(band_reads_none(row("fat"), band_of(filetime_2011)));
    EXPECT_TRUE(band_reads_none(row("gsm"), band_of(filetime_2011)));
    EXPECT_FALSE(band_reads_none(row("logtime"), band_of(filetime_2011)));  // eight bytes
    EXPECT_TRUE(band_reads_none(row("fat"), band_of(-5)));                  // a u32 is never negative
    // 1.3e17 seconds is some four billion years past 1970; as days, more still.
    EXPECT_TRUE(band_reads_none(row("unix"), band_of(filetime_2011)));
    EXPECT_TRUE(band_reads_none(row("unix_days"), band_of(1'700'000'000)));
    EXPECT_FALSE(band_reads_none(row("unix"), band_of(1'700'000'000)));
    EXPECT_TRUE(band_reads_none(row("snowflake"), band_of(-1'700'000'000)));  // an identifier is never negative
    EXPECT_FALSE(band_reads_none(row("filetime"), band_of(filetime_2011)));
}

}  // namespace
}  // namespace epochsift
