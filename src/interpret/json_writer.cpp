#include "interpret/json_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace epochsift {

namespace {

constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

void append_escape(std::string& out, unsigned char c) {
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\b': out += "\\b"; return;
        case '\t': out += "\\t"; return;
        case '\n': out += "\\n"; return;
        case '\f': out += "\\f"; return;
        case '\r': out += "\\r"; return;
        default: {
            constexpr char HEX[] = "0123456789abcdef";
            char const escape[6] = {'\\', 'u', '0', '0', HEX[c >> 4], HEX[c & 0xF]};
            out.append(escape, sizeof escape);
        }
    }
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    std::size_t run_start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto const c = static_cast<unsigned char>(text[i]);
        if (!needs_escape(c)) continue;
        out.append(text.data() + run_start, i - run_start);
        append_escape(out, c);
        run_start = i + 1;
    }
    out.append(text.data() + run_start, text.size() - run_start);
    out += '"';
}

void append_json_integer(std::string& out, i128 value) {
    // 2^127 has 39 digits; one more for the sign.
    char buffer[40];
    char* p = buffer + sizeof buffer;
    u128 magnitude = value < 0 ? u128(0) - static_cast<u128>(value) : static_cast<u128>(value);
    do {
        *--p = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    out.append(p, static_cast<std::size_t>(buffer + sizeof buffer - p));
}

void append_json_double(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == 0.0) {
        out += std::signbit(value) ? "-0.0" : "0.0";
        return;
    }
    // Shortest round-trip digits in scientific form: "-d.ddde+XX".
    char sci[32];
    auto const result = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    std::string_view const text(sci, static_cast<std::size_t>(result.ptr - sci));
    std::size_t const e_pos = text.find('e');
    std::string_view mantissa = text.substr(0, e_pos);
    int exponent = 0;
    std::from_chars(text.data() + e_pos + 1 + (text[e_pos + 1] == '+'), text.data() + text.size(), exponent);

    bool const negative = mantissa.front() == '-';
    if (negative) mantissa.remove_prefix(1);
    char digits[20] = {};  // at most 17 significant digits
    std::size_t count = 0;
    for (char c : mantissa) {
        if (c != '.') digits[count++] = c;
    }

    // Room for the widest plain form: "-0.00000" plus 17 digits, or 16
    // integer digits plus ".0".
    char buffer[48];
    char* p = buffer;
    if (negative) *p++ = '-';
    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
            std::memcpy(p, digits, count);
            p += count;
        } else {
            auto const integer_digits = static_cast<std::size_t>(exponent) + 1;
            if (count <= integer_digits) {
                std::memcpy(p, digits, count);
                p += count;
                for (std::size_t i = count; i < integer_digits; ++i) *p++ = '0';
                *p++ = '.';
                *p++ = '0';
            } else {
                std::memcpy(p, digits, integer_digits);
                p += integer_digits;
                *p++ = '.';
                std::memcpy(p, digits + integer_digits, count - integer_digits);
                p += count - integer_digits;
            }
        }
    } else {
        *p++ = digits[0];
        if (count > 1) {
            *p++ = '.';
            std::memcpy(p, digits + 1, count - 1);
            p += count - 1;
        }
        *p++ = 'e';
        *p++ = exponent < 0 ? '-' : '+';
        auto const written = std::to_chars(p, buffer + sizeof buffer, exponent < 0 ? -exponent : exponent);
        p = written.ptr;
    }
    out.append(buffer, static_cast<std::size_t>(p - buffer));
}

void append_json_candidate(std::string& out, const Candidate& c) {
    out += "{\"format_id\":";
    append_json_string(out, c.format_id);
    out += ",\"label\":";
    append_json_string(out, c.label);
    out += ",\"citation\":";
    append_json_string(out, c.citation);
    out += ",\"instant\":";
    append_json_integer(out, c.instant.ns);
    out += ",\"rendered\":";
    if (c.rendered) {
        append_json_string(out, *c.rendered);
    } else {
        out += "null";
    }
    out += ",\"score\":";
    append_json_double(out, c.score);
    out += ",\"components\":[";
    for (std::size_t i = 0; i < c.components.size(); ++i) {
        if (i != 0) out += ',';
        out += '[';
        append_json_string(out, c.components[i].name);
        out += ',';
        append_json_double(out, c.components[i].value);
        out += ']';
    }
    out += "],\"assumptions\":[";
    for (std::size_t i = 0; i < c.assumptions.size(); ++i) {
        if (i != 0) out += ',';
        append_json_string(out, c.assumptions[i]);
    }
    out += "],\"sentinel\":";
    out += c.sentinel ? "true}" : "false}";
}

void append_json_candidates(std::string& out, std::span<const Candidate> candidates) {
    out += '[';
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (i != 0) out += ',';
        append_json_candidate(out, candidates[i]);
    }
    out += ']';
}

}  // namespace epochsift
