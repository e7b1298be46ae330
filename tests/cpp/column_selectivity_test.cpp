// The column verdict's specificity table, built with shortcuts (a count's
// search ends at its first hit, the draws are taken by index), equals bit
// for bit the table the plain sampling builds: every family, every bit
// length, every draw in sequence.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/column_selectivity.hpp"
#include "engine/extended_score.hpp"
#include "formats/numeric_decode.hpp"

namespace epochsift {
namespace {

uint64_t plain_next_random(uint64_t& state) {
    uint64_t z = (state += 0x9E37'79B9'7F4A'7C15u);
    z = (z ^ (z >> 30)) * 0xBF58'476D'1CE4'E5B9u;
    z = (z ^ (z >> 27)) * 0x94D0'49BB'1331'11EBu;
    return z ^ (z >> 31);
}

// Every family sampled at every length in sequence, then a count's figures in closed form.
Specificity plain_specificity() {
    Specificity table;
    for (std::size_t f = 0; f < NUMERIC_FAMILIES.size(); ++f) {
        uint64_t state = SPECIFICITY_SEED;
        NumericFamily const& family = NUMERIC_FAMILIES[f];
        bool const is_float = family.encoding.tag == Encoding::Tag::Float;
        std::array<int, 64> hits_at{};
        for (int bits = 0; bits < 64; ++bits) {
            int hits = 0;
            for (int i = 0; i < SPECIFICITY_SAMPLES; ++i) {
                uint64_t const low = bits == 0 ? 0 : uint64_t{1} << (bits - 1);
                uint64_t const span = bits == 0 ? 1 : low;
                uint64_t const r = low + plain_next_random(state) % span;
                if (is_float) {
                    double const x = static_cast<double>(r) + static_cast<double>(plain_next_random(state) >> 11) * 0x1p-53;
                    auto const instant = decode_float(family, x);
                    hits += instant && typical_instant(*instant);
                } else if (bits > 0) {
                    auto const instant = decode_integer(family, static_cast<int64_t>(r));
                    hits += instant && typical_instant(*instant) && structure_fits(family, static_cast<int64_t>(r), *instant);
                }
            }
            double const share = std::max(hits, 1) / static_cast<double>(SPECIFICITY_SAMPLES);
            (is_float ? table.floating : table.integer)[f][bits] = static_cast<float>(-std::log(share));
            hits_at[static_cast<std::size_t>(bits)] = hits;
        }
        if (is_float) continue;
        double typical_count = 0.0;
        for (int bits = 1; bits < 64; ++bits) {
            typical_count += hits_at[static_cast<std::size_t>(bits)] / static_cast<double>(SPECIFICITY_SAMPLES) *
                             std::ldexp(1.0, bits - 1);
        }
        if (typical_count <= 0.0) continue;
        Encoding const& encoding = family.encoding;
        if (encoding.tag != Encoding::Tag::Packed) {
            double const span_units =
                static_cast<double>(TYPICAL_END.ns - TYPICAL_START.ns) / static_cast<double>(unit_ns(encoding.unit));
            int const low_bits = encoding.tag == Encoding::Tag::Integer ? 0 : static_cast<int>(encoding.shift);
            typical_count = span_units * std::ldexp(1.0, low_bits - family.sequence.width / 2);
        }
        for (int bits = 1; bits < 64; ++bits) {
            table.integer[f][bits] = static_cast<float>((bits - 1) * std::log(2.0) - std::log(typical_count));
        }
    }
    return table;
}

TEST(ColumnSpecificity, EqualsThePlainSamplingBitForBit) {
    Specificity const plain = plain_specificity();
    Specificity const& built = column_selectivity();
    for (std::size_t f = 0; f < NUMERIC_FAMILIES.size(); ++f) {
        for (std::size_t bits = 0; bits < 64; ++bits) {
            EXPECT_EQ(std::bit_cast<uint32_t>(built.integer[f][bits]), std::bit_cast<uint32_t>(plain.integer[f][bits]))
                << NUMERIC_FAMILIES[f].id << " integer, " << bits << " bits";
            EXPECT_EQ(std::bit_cast<uint32_t>(built.floating[f][bits]), std::bit_cast<uint32_t>(plain.floating[f][bits]))
                << NUMERIC_FAMILIES[f].id << " float, " << bits << " bits";
        }
    }
}

// The draws by index are the sequence's draws in turn.
TEST(ColumnSpecificity, DrawByIndexIsTheSequence) {
    uint64_t state = SPECIFICITY_SEED;
    for (uint64_t k = 0; k < 100'000; ++k) ASSERT_EQ(specificity_draw(k), plain_next_random(state)) << k;
}

}  // namespace
}  // namespace epochsift
