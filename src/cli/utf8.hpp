// UTF-8 checks and terminal widths for the command line. The engine takes
// any bytes; the command line refuses text that is not UTF-8 before it
// reaches the engine, so that every JSON text it writes is valid.
#pragma once

#include <cstddef>
#include <string_view>

namespace epochsift::cli {

struct Utf8Char {
    char32_t value;
    std::size_t length;  // bytes taken, 0 when the bytes at the position are not UTF-8
};

// The character at text[i] (i < text.size()), by Unicode Table 3-7.
Utf8Char decode_utf8(std::string_view text, std::size_t i);

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// Terminal columns that valid UTF-8 text takes: East Asian wide characters
// count two, combining marks and zero-width characters none.
std::size_t display_width(std::string_view text);

// The longest prefix of text that is whole characters and at most
// max_width columns wide.
std::string_view prefix_of_width(std::string_view text, std::size_t max_width);

}  // namespace epochsift::cli
