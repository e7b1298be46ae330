// What a raw number denotes in one numeric family: exact for integers,
// rounded to whole nanoseconds for floats.
#pragma once

#include <cstdint>
#include <optional>

#include "core/instant.hpp"
#include "formats/codec_error.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

// The instant raw denotes in the family; exact, never rounded. A float row
// has no integer reading.
CodecResult<PosixNs> decode_integer(const NumericFamily& family, int64_t raw);

// A UTC instant as the row's scale labels it (TAI rows add the leap
// seconds); decode_integer takes the label back to the instant.
PosixNs to_row_scale(const NumericFamily& family, PosixNs instant);

// x counted in a float row's unit, rounded to whole nanoseconds (halves away
// from zero) and moved to its epoch; nothing when out of range.
std::optional<PosixNs> decode_float(const NumericFamily& family, double x);

}  // namespace epochsift
