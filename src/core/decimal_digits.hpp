// The one decimal digit writer: digits two at a time from a table, written
// backwards from the end of a buffer, or at a fixed width.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace epochsift {

// |value| as unsigned, so INT64_MIN has a magnitude too.
constexpr uint64_t magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// The decimal zeros value ends in; zero has no significant digit to trail.
constexpr int trailing_decimal_zeros(uint64_t value) {
    if (value == 0) return 0;
    int zeros = 0;
    while (value % 10 == 0) {
        value /= 10;
        ++zeros;
    }
    return zeros;
}
static_assert(trailing_decimal_zeros(1'700'000'000) == 8 && trailing_decimal_zeros(0) == 0 &&
              trailing_decimal_zeros(magnitude(INT64_MIN)) == 0);

// "00" to "99": the decimal digits go out two at a time.
inline constexpr std::array<char, 200> DIGIT_PAIRS = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the digits of value so that they end at end; returns their start.
inline char* put_digits_before(char* end, uint64_t value) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, &DIGIT_PAIRS[2 * (value % 100)], 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, &DIGIT_PAIRS[2 * value], 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// Writes value (below 10^width) in exactly width digits, zero-padded; returns
// the end.
inline char* put_fixed_digits(char* out, uint64_t value, int width) {
    // Pairs from the end, the leading zeros with them: a variable-length
    // memset would be a library call for a byte or two.
    char* p = out + width;
    int left = width;
    for (; left >= 2; left -= 2) {
        p -= 2;
        std::memcpy(p, &DIGIT_PAIRS[2 * (value % 100)], 2);
        value /= 100;
    }
    if (left != 0) *--p = static_cast<char>('0' + value);
    return out + width;
}

}  // namespace epochsift
