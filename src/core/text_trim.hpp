// Trimming of Unicode White_Space (UTF-8) around one input value.
#pragma once

#include <string_view>

namespace epochsift {

// The trim of a text whose ends are not both printable ASCII.
std::string_view trim_white_space_slow(std::string_view text);

// Strips leading and trailing characters with the Unicode White_Space
// property (UTF-8); a truncated or other sequence stays. Inline: a column
// trims every value, and most have nothing to strip.
inline std::string_view trim_white_space(std::string_view text) {
    // A White_Space character is an ASCII space or control, or ends in a
    // continuation byte; text between two other ASCII bytes has none to strip.
    auto const plain = [](char c) {
        auto const b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x80;
    };
    if (text.empty() || (plain(text.front()) && plain(text.back()))) return text;
    return trim_white_space_slow(text);
}

}  // namespace epochsift
