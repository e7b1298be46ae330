// JSON strings: the reference escaping (named escapes, \\u00XX for the other
// controls), with plain runs copied a block at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace epochsift {

// The widest escape, \u00XX, is six bytes for one.
inline constexpr std::size_t MAX_ESCAPE_GROWTH = 6;

constexpr std::size_t max_json_string_size(std::string_view text) { return text.size() * MAX_ESCAPE_GROWTH + 2; }

// Writes text escaped, without quotes, at p (room for MAX_ESCAPE_GROWTH bytes
// a byte); returns the end.
char* put_escaped(char* p, std::string_view text);

// Writes text as a JSON string at p (room for max_json_string_size).
inline char* put_json_string(char* p, std::string_view text) {
    *p++ = '"';
    p = put_escaped(p, text);
    *p++ = '"';
    return p;
}

void append_json_string(std::string& out, std::string_view text);

}  // namespace epochsift
