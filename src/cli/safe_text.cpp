#include "cli/safe_text.hpp"

#include "cli/utf8.hpp"

namespace epochsift::cli {

namespace {

constexpr char HEX[] = "0123456789abcdef";

struct Range {
    char32_t first, last;
};

constexpr Range HIDDEN[] = {
    {0x00, 0x1F},      // C0 controls
    {0x7F, 0x9F},      // DEL and the C1 controls
    {0x061C, 0x061C},  // Arabic letter mark
    {0x200E, 0x200F},  // left-to-right and right-to-left marks
    {0x2028, 0x202E},  // line and paragraph separators, bidi embeddings and overrides
    {0x2066, 0x2069},  // bidi isolates
};

void append_u_escape(std::string& out, char32_t c) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(c >> shift) & 0xF];
}

}  // namespace

bool is_hidden_control(char32_t c) {
    for (const Range& r : HIDDEN) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

void append_escaped(std::string& out, std::string_view text, bool quoted) {
    std::size_t run_start = 0;  // plain runs go out in one append
    for (std::size_t i = 0; i < text.size();) {
        Utf8Char const c = decode_utf8(text, i);
        if (c.length == 0) {
            out.append(text.substr(run_start, i - run_start));
            auto const byte = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += HEX[byte >> 4];
            out += HEX[byte & 0xF];
            run_start = ++i;
            continue;
        }
        bool const special = quoted && (c.value == '"' || c.value == '\\');
        if (!special && !is_hidden_control(c.value)) {
            i += c.length;
            continue;
        }
        out.append(text.substr(run_start, i - run_start));
        switch (c.value) {
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default: append_u_escape(out, c.value);
        }
        i += c.length;
        run_start = i;
    }
    out.append(text.substr(run_start));
}

std::string printable(std::string_view text) {
    std::string out;
    append_escaped(out, text, false);
    return out;
}

bool has_hidden_control(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        Utf8Char const c = decode_utf8(text, i);
        if (c.length == 0) return true;  // shown as \xHH
        if (is_hidden_control(c.value)) return true;
        i += c.length;
    }
    return false;
}

}  // namespace epochsift::cli
