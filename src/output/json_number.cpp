#include "output/json_number.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "core/decimal_digits.hpp"
#include "output/json_sink.hpp"

namespace epochsift {

namespace {

// Writes the float rule's text of a finite, non-zero value at p.
char* put_shortest(char* p, double value) {
    // Inside the plain-notation range the fixed form of the shortest digits
    // is the text itself, less ".0" for a whole number.
    double const magnitude = std::fabs(value);
    if (magnitude >= 1e-5 && magnitude < 1e16) {
        char* const end = std::to_chars(p, p + MAX_DOUBLE_LEN, value, std::chars_format::fixed).ptr;
        if (std::trunc(value) != value) return end;  // the fixed form has its point
        std::memcpy(end, ".0", 2);
        return end + 2;
    }
    // Shortest round-trip digits in scientific form: "-d.ddde+XX".
    char sci[32];
    char const* const sci_end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
    char const* s = sci;
    if (*s == '-') {
        *p++ = '-';
        ++s;
    }
    char digits[20];  // at most 17 significant digits
    std::size_t count = 0;
    for (; *s != 'e'; ++s) {
        if (*s != '.') digits[count++] = *s;
    }
    ++s;  // 'e'
    bool const negative_exponent = *s++ == '-';
    int exponent = 0;
    for (; s < sci_end; ++s) exponent = exponent * 10 + (*s - '0');
    if (negative_exponent) exponent = -exponent;

    if (exponent >= -5 && exponent <= 15) {
        if (exponent < 0) {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
            std::memcpy(p, digits, count);
            return p + count;
        }
        auto const integer_digits = static_cast<std::size_t>(exponent) + 1;
        if (count <= integer_digits) {
            std::memcpy(p, digits, count);
            p += count;
            for (std::size_t i = count; i < integer_digits; ++i) *p++ = '0';
            *p++ = '.';
            *p++ = '0';
            return p;
        }
        std::memcpy(p, digits, integer_digits);
        p += integer_digits;
        *p++ = '.';
        std::memcpy(p, digits + integer_digits, count - integer_digits);
        return p + (count - integer_digits);
    }
    *p++ = digits[0];
    if (count > 1) {
        *p++ = '.';
        std::memcpy(p, digits + 1, count - 1);
        p += count - 1;
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    return std::to_chars(p, p + 4, exponent < 0 ? -exponent : exponent).ptr;
}

}  // namespace

char* put_json_integer(char* p, i128 value) {
    // The digits end halfway, so that a fixed MAX_INTEGER_LEN bytes can be
    // copied from wherever they start: one block move instead of a call.
    char buffer[2 * MAX_INTEGER_LEN];
    char* const end = buffer + MAX_INTEGER_LEN;
    u128 magnitude = value < 0 ? u128(0) - static_cast<u128>(value) : static_cast<u128>(value);
    // Instants of the years 1677 to 2262 fit 64 bits; only the rest pay for
    // 128-bit divisions, nineteen digits at a time.
    constexpr uint64_t TEN_TO_19 = 10'000'000'000'000'000'000u;
    char* digit = end;
    while (magnitude > std::numeric_limits<uint64_t>::max()) {
        char* const chunk_end = digit;
        digit = put_digits_before(digit, static_cast<uint64_t>(magnitude % TEN_TO_19));
        while (digit > chunk_end - 19) *--digit = '0';  // an inner chunk keeps its leading zeros
        magnitude /= TEN_TO_19;
    }
    digit = put_digits_before(digit, static_cast<uint64_t>(magnitude));
    if (value < 0) *--digit = '-';
    std::memcpy(p, digit, MAX_INTEGER_LEN);
    return p + (end - digit);
}

RecentDoubles& thread_recent_doubles() {
    thread_local RecentDoubles recent_doubles;
    return recent_doubles;
}

char* put_json_double(char* p, double value, RecentDoubles& recent_doubles) {
    // Most components are exactly 1, 0 or one half; their texts need no digit search.
    if (value == 1.0) return put_literal(p, "1.0");
    if (value == 0.0) return put_literal(p, std::signbit(value) ? "-0.0" : "0.0");
    if (value == 0.5) return put_literal(p, "0.5");
    if (!std::isfinite(value)) return put_literal(p, "null");
    auto const bits = std::bit_cast<uint64_t>(value);
    std::size_t const first = RecentDoubles::set(bits);
    std::size_t slot = first;
    if (recent_doubles.bits[first] != bits) {
        slot = first + 1;
        if (recent_doubles.bits[slot] != bits) {
            // The newer text moves to the second slot; this one takes the first.
            recent_doubles.bits[slot] = recent_doubles.bits[first];
            recent_doubles.lengths[slot] = recent_doubles.lengths[first];
            recent_doubles.texts[slot] = recent_doubles.texts[first];
            slot = first;
            char* const text = recent_doubles.texts[slot].data();
            recent_doubles.bits[slot] = bits;
            recent_doubles.lengths[slot] = static_cast<uint8_t>(put_shortest(text, value) - text);
        }
    }
    std::memcpy(p, recent_doubles.texts[slot].data(), MAX_DOUBLE_LEN);  // a block move; the cursor moves by the length
    return p + recent_doubles.lengths[slot];
}

void append_json_integer(std::string& out, i128 value) {
    JsonSink sink(out);
    sink.advance_to(put_json_integer(sink.room(MAX_INTEGER_LEN), value));
}

void append_json_double(std::string& out, double value) {
    JsonSink sink(out);
    sink.advance_to(put_json_double(sink.room(MAX_DOUBLE_LEN), value, thread_recent_doubles()));
}

}  // namespace epochsift
