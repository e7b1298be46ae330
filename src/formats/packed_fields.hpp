// Bit, byte and digit access shared by the packed codecs.
#pragma once

#include <cstdint>

#include "core/civil.hpp"

namespace epochsift::packed_fields {

// raw, taken as unsigned, is below 2^bits (so no negative raw fits).
constexpr bool fits_bits(int64_t raw, unsigned bits) {
    return static_cast<uint64_t>(raw) < (uint64_t{1} << bits);
}

// The unsigned field of `width` bits starting at bit `low`.
constexpr unsigned bits(uint64_t raw, unsigned low, unsigned width) {
    return static_cast<unsigned>((raw >> low) & ((uint64_t{1} << width) - 1));
}

// Byte i, b0 being the least significant.
constexpr unsigned byte_at(uint64_t raw, unsigned i) { return bits(raw, 8 * i, 8); }

constexpr uint32_t byte_reversed(uint32_t word) { return __builtin_bswap32(word); }

// A field as the calendar takes it; every value a byte or less can hold is
// kept, and the calendar rejects those beyond a field's range.
constexpr int32_t as_field(unsigned field) { return static_cast<int32_t>(field); }

// The year, less the layout's base, fits a field that holds 0 to max_offset.
constexpr bool year_fits(const CivilTime& civil, int base, int max_offset) {
    return civil.year >= base && civil.year - base <= max_offset;
}

}  // namespace epochsift::packed_fields
