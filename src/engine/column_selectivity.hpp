// How specific each numeric family's structure is, for the column verdict:
// ln(1 / share of raw values of bit length b that the family reads at a
// typical instant), for integers (b = 1..63) and for floats (by the bit
// length of the integer part, 0..63).
//
// For integers the figure is per instant, not per bit length: a fitting
// value weighs ln(2^(b-1) / N), where N is how many raw values of any
// length the family reads at a typical instant. Two layouts that differ in
// their epoch alone (Twitter's and Discord's snowflakes) then weigh the
// same, whatever the size of the value, and the prior parts them; a layout
// valid for half of all values (FAT's) weighs twice the one valid for all.
#pragma once

#include <array>
#include <cstdint>

#include "core/instant.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

inline constexpr int SPECIFICITY_SAMPLES = 512;  // raw values drawn per family and bit length
inline constexpr uint64_t SPECIFICITY_SEED = 20261206;

struct Specificity {
    std::array<std::array<float, 64>, NUMERIC_FAMILIES.size()> integer{};
    std::array<std::array<float, 64>, NUMERIC_FAMILIES.size()> floating{};
};

// The table, built on first use (thread-safe); prepare_column_selectivity
// builds it ahead, on a thread that would otherwise wait.
const Specificity& column_selectivity();
void prepare_column_selectivity();

// The table built afresh.
Specificity build_column_selectivity();

// The k-th draw (from 0) of the table's fixed sequence, splitmix64 from
// SPECIFICITY_SEED, as a family's sampling takes it.
uint64_t specificity_draw(uint64_t k);

// Whether a family's reading of raw at instant fits the column: a typical
// instant, and an identifier's structure (a small sequence field, a time at
// least a year past the scheme's epoch).
bool typical_instant(PosixNs instant);
bool structure_fits(const NumericFamily& family, int64_t raw, PosixNs instant);

}  // namespace epochsift
