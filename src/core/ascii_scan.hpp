// Byte-level scanning shared by the textual parsers: ASCII classes and
// fixed-width digit runs. No locale, no allocation.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace epochsift {

constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text equals lower (given in lower case) with ASCII letters folded.
constexpr bool equals_ignoring_ascii_case(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != lower[i]) return false;
    }
    return true;
}

// Value of a base64url symbol ("A"-"Z", "a"-"z", "0"-"9", "-", "_"), or -1.
constexpr int base64url_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

// Value of an ASCII hex digit of either case, or -1.
constexpr int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Big-endian value of a run of ASCII hex digits (at most 16), or nothing.
constexpr std::optional<uint64_t> hex_number(std::string_view text) {
    if (text.empty() || text.size() > 16) return std::nullopt;
    uint64_t value = 0;
    for (char const c : text) {
        int const digit = hex_value(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return value;
}

// Whether every byte of text is below 0x80 (ASCII, so UTF-8): eight bytes a step.
inline bool all_ascii(std::string_view text) {
    uint64_t high = 0;
    std::size_t i = 0;
    for (; text.size() - i >= 8; i += 8) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        high |= word;
    }
    for (; i < text.size(); ++i) high |= static_cast<unsigned char>(text[i]);
    return (high & 0x8080808080808080u) == 0;
}

constexpr bool all_ascii_digits(std::string_view text) {
    for (char const c : text) {
        if (!is_ascii_digit(c)) return false;
    }
    return true;
}

// Whether text has an ASCII digit anywhere, eight bytes at a time: a byte
// is a digit when its xor with '0' is below 10, and the borrow test for a
// byte below 10 in a word is exact for "any" (a false mark only ever sits
// above a true one).
inline bool contains_ascii_digit(std::string_view text) {
    constexpr uint64_t ONES = 0x0101'0101'0101'0101u;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        uint64_t const x = word ^ ('0' * ONES);
        if (((x - 10 * ONES) & ~x & (0x80 * ONES)) != 0) return true;
    }
    for (; i < text.size(); ++i) {
        if (is_ascii_digit(text[i])) return true;
    }
    return false;
}

// A run of exactly text.size() ASCII digits (at most 9) as a number.
constexpr std::optional<int32_t> fixed_digits(std::string_view text) {
    if (text.empty() || text.size() > 9 || !all_ascii_digits(text)) return std::nullopt;
    int32_t value = 0;
    for (char const c : text) value = value * 10 + (c - '0');
    return value;
}

// The value of the two ASCII digits at text[at], known to be digits.
constexpr int32_t two_digits_at(std::string_view text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// The 1-based index of text in names (three lower-case letters each), ASCII
// letters compared in any case.
// The names are all three letters long, so the text is folded once.
template <std::size_t N>
constexpr std::optional<int> index_ignoring_ascii_case(std::string_view text,
                                                       const std::array<std::string_view, N>& names) {
    if (text.size() != 3) return std::nullopt;
    char const folded[3] = {ascii_lower(text[0]), ascii_lower(text[1]), ascii_lower(text[2])};
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == std::string_view(folded, 3)) return static_cast<int>(i + 1);
    }
    return std::nullopt;
}

// The three pieces of text between two separators, or nothing when there are
// fewer or more than three. No container is built.
constexpr std::optional<std::array<std::string_view, 3>> split_three(std::string_view text, char separator) {
    std::size_t const first = text.find(separator);
    if (first == std::string_view::npos) return std::nullopt;
    std::size_t const second = text.find(separator, first + 1);
    if (second == std::string_view::npos || text.find(separator, second + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    return std::array<std::string_view, 3>{text.substr(0, first), text.substr(first + 1, second - first - 1),
                                           text.substr(second + 1)};
}

}  // namespace epochsift
