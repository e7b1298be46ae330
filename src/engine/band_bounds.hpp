// Bounds on a family's score for the integers of one magnitude band.
//
// A family's bound over every value (BestReadings) sets each component that
// depends on the value to its best. Most of those the instant decides: the
// distance from the epoch and the era. Over a band of values of one sign
// and nearly one magnitude, a count's instants fill one interval, so their
// best over the band is known from its two ends: a Unix-seconds value of
// 2023 read as milliseconds lies in January 1970, and no value of its band
// reads as a typical instant there. The bound is the same weighted sum as
// the reading's score, with no value lowered, so it stays at or above it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

struct NumericFamily;

// The values of one sign sharing their bit width and the three bits below
// the leading one (every value of magnitude below 16 in one band a sign).
struct IntegerBand {
    int64_t first = 0;
    int64_t last = 0;
    uint16_t key = 0;  // below BAND_KEYS, one a band
};

inline constexpr std::size_t BAND_KEYS = 2 * 65 * 8;

IntegerBand band_of(int64_t raw);

// Whether no value of the band has a reading in the family: a packed layout
// that takes none of the band's values (their width, sign or kind), or a
// count whose instants over the band all lie outside the calendar range or
// fail to decode. windowed: the family's row with the caller's window in place.
bool band_reads_none(const NumericFamily& windowed, IntegerBand band);

// components: the family's bound components over every value (the order a
// reading lists them, each that depends on the value at its best); the
// instant's measures are lowered to their best over the band's instants,
// where the family's instants rise with its values. windowed: the family's
// row with the caller's window in place.
ComponentList band_bound_components(const NumericFamily& windowed, ComponentList components, IntegerBand band,
                                    const ReadOptions& options);

}  // namespace epochsift
