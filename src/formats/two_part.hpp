// Values written as two numbers: a 64-bit count split into two 32-bit words
// ("01dbbd07:d69dd1ae", a FILETIME shown as two DWORDs; the Windows cookie
// file's "low,high" decimal pair) and a Unix time as seconds and nanoseconds
// ("1700000000:123456789").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// The two words in the order the text wrote them.
struct WordPair {
    uint32_t first = 0;
    uint32_t second = 0;

    constexpr uint64_t first_high() const { return uint64_t{first} << 32 | second; }
    constexpr uint64_t first_low() const { return uint64_t{second} << 32 | first; }
};

// Two runs of 1 to 8 hex digits, each with an optional 0x, around one ":".
// Runs of decimal digits alone are left to the pairs below.
std::optional<WordPair> parse_hex_word_pair(std::string_view text);

// Two decimal numbers below 2^32 around one ",", low word first (the order
// of the Windows cookie file's expiry and creation lines).
std::optional<WordPair> parse_decimal_word_pair(std::string_view text);

// S:N with S 1 to 12 decimal digits (optionally negative) and N 1 to 9
// digits, as nanoseconds: the two fields of a struct timespec.
std::optional<PosixNs> parse_seconds_nanoseconds(std::string_view text);

}  // namespace epochsift
