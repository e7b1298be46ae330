// JSON numbers: exact 128-bit integers, and binary64 values by the float
// rule (shortest round-trip digits, "1.0" for one, exponent form outside
// 1e-5 <= |x| < 1e16, null for NaN and infinities).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>

#include "core/instant.hpp"

namespace epochsift {

// "-" and the 39 digits of 2^127.
inline constexpr std::size_t MAX_INTEGER_LEN = 40;
// "-0.00000" and 17 digits, or 17 digits, ".", "e-" and 3 exponent digits.
inline constexpr std::size_t MAX_DOUBLE_LEN = 32;

// Readings repeat their scores and distances, within one value and from
// one value to the next (a family's prior, the usual fractions of a
// weighted mean), so recent number texts are kept in sets of two slots
// chosen by the value's bits, the newer text first. Only the bits are
// cleared: 0, the bits of +0.0, which is written as a literal and never
// kept, marks an empty slot.
struct RecentDoubles {
    static constexpr std::size_t SLOTS = 256;
    static constexpr std::size_t WAYS = 2;  // one way alone: values sharing a slot pushed each other out every call
    std::array<uint64_t, SLOTS> bits{};
    std::array<uint8_t, SLOTS> lengths;
    std::array<std::array<char, MAX_DOUBLE_LEN>, SLOTS> texts;
    // The first slot of value_bits's set.
    static std::size_t set(uint64_t value_bits) { return ((value_bits * 0x9E37'79B9'7F4A'7C15u) >> 57) * WAYS; }
};
static_assert(std::has_single_bit(RecentDoubles::SLOTS) && RecentDoubles::SLOTS == RecentDoubles::WAYS << (64 - 57));

// The calling thread's texts, kept from call to call.
RecentDoubles& thread_recent_doubles();

// Writes the exact decimal value at p (room for MAX_INTEGER_LEN).
char* put_json_integer(char* p, i128 value);

// Writes the float rule's text, or null, at p (room for MAX_DOUBLE_LEN).
char* put_json_double(char* p, double value, RecentDoubles& recent_doubles);

void append_json_integer(std::string& out, i128 value);
void append_json_double(std::string& out, double value);

}  // namespace epochsift
