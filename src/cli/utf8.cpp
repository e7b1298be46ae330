#include "cli/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace epochsift::cli {

namespace {

Utf8Char decode_at(std::string_view text, std::size_t i) {
    auto const byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    std::size_t const left = text.size() - i;
    unsigned char const b0 = byte(0);
    if (b0 < 0x80) return {b0, 1};
    auto const continuation = [&](std::size_t k, unsigned char low, unsigned char high) {
        return k < left && byte(k) >= low && byte(k) <= high;
    };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (!continuation(1, 0x80, 0xBF)) return {0, 0};
        return {char32_t(b0 & 0x1F) << 6 | (byte(1) & 0x3F), 2};
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        // E0 excludes overlong forms, ED excludes the surrogates.
        unsigned char const low = b0 == 0xE0 ? 0xA0 : 0x80;
        unsigned char const high = b0 == 0xED ? 0x9F : 0xBF;
        if (!continuation(1, low, high) || !continuation(2, 0x80, 0xBF)) return {0, 0};
        return {char32_t(b0 & 0x0F) << 12 | char32_t(byte(1) & 0x3F) << 6 | (byte(2) & 0x3F), 3};
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        // F0 excludes overlong forms, F4 stops at U+10FFFF.
        unsigned char const low = b0 == 0xF0 ? 0x90 : 0x80;
        unsigned char const high = b0 == 0xF4 ? 0x8F : 0xBF;
        if (!continuation(1, low, high) || !continuation(2, 0x80, 0xBF) || !continuation(3, 0x80, 0xBF)) {
            return {0, 0};
        }
        return {char32_t(b0 & 0x07) << 18 | char32_t(byte(1) & 0x3F) << 12 | char32_t(byte(2) & 0x3F) << 6 |
                    (byte(3) & 0x3F),
                4};
    }
    return {0, 0};
}

struct Range {
    char32_t first, last;
};

// Characters that take no column: combining marks, joiners, variation selectors.
constexpr Range ZERO_WIDTH[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x2028, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// East Asian wide and full-width blocks, and the emoji planes.
constexpr Range WIDE[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool in_ranges(const Range (&ranges)[N], char32_t c) {
    for (const Range& r : ranges) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

std::size_t char_width(char32_t c) {
    if (c < 0x300) return 1;
    if (in_ranges(ZERO_WIDTH, c)) return 0;
    return in_ranges(WIDE, c) ? 2 : 1;
}

}  // namespace

Utf8Char decode_utf8(std::string_view text, std::size_t i) { return decode_at(text, i); }

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain ASCII eight bytes at a time: most values are digits.
        if (text.size() - i >= 8) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        std::size_t const length = decode_at(text, i).length;
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::size_t display_width(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        Utf8Char const c = decode_at(text, i);
        if (c.length == 0) {  // not UTF-8: one column a byte, as a terminal shows a replacement
            ++width;
            ++i;
            continue;
        }
        width += char_width(c.value);
        i += c.length;
    }
    return width;
}

std::string_view prefix_of_width(std::string_view text, std::size_t max_width) {
    std::size_t width = 0, i = 0;
    while (i < text.size()) {
        Utf8Char const c = decode_at(text, i);
        std::size_t const length = c.length == 0 ? 1 : c.length;
        std::size_t const w = c.length == 0 ? 1 : char_width(c.value);
        if (width + w > max_width) break;
        width += w;
        i += length;
    }
    // Marks that follow the last character belong with it.
    while (i < text.size()) {
        Utf8Char const c = decode_at(text, i);
        if (c.length == 0 || char_width(c.value) != 0) break;
        i += c.length;
    }
    return text.substr(0, i);
}

}  // namespace epochsift::cli
