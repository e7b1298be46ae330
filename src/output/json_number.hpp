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

// The readings of one value repeat their scores and distances, so the
// last few number texts are kept, direct-mapped on the value's bits.
struct RecentDouble {
    uint64_t bits = 0;
    uint8_t length = 0;  // 0: nothing kept yet
    char text[MAX_DOUBLE_LEN];
};
struct RecentDoubles {
    std::array<RecentDouble, 32> slots{};
    RecentDouble& slot(double value) { return slots[(std::bit_cast<uint64_t>(value) * 0x9E37'79B9'7F4A'7C15u) >> 59]; }
};

// Writes the exact decimal value at p (room for MAX_INTEGER_LEN).
char* put_json_integer(char* p, i128 value);

// Writes the float rule's text, or null, at p (room for MAX_DOUBLE_LEN).
char* put_json_double(char* p, double value, RecentDoubles& recent_doubles);

void append_json_integer(std::string& out, i128 value);
void append_json_double(std::string& out, double value);

}  // namespace epochsift
