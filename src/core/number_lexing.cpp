#include "core/number_lexing.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

// Eight ASCII digits at text as their value, or nothing when a byte is not a
// digit: the digits checked and combined eight at a time, as fast_float does.
std::optional<uint32_t> eight_digits(const char* text) {
    uint64_t chunk = 0;
    std::memcpy(&chunk, text, 8);
    if constexpr (std::endian::native != std::endian::little) chunk = __builtin_bswap64(chunk);
    // Each byte 0x30..0x39: its high nibble 3, and 6 more keeps it 3.
    if (((chunk & 0xF0F0F0F0F0F0F0F0) | (((chunk + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) !=
        0x3333333333333333) {
        return std::nullopt;
    }
    chunk -= 0x3030303030303030;
    chunk = chunk * 10 + (chunk >> 8);  // pairs of digits
    constexpr uint64_t mask = 0x000000FF000000FF;
    constexpr uint64_t hundreds = 100 + (uint64_t{1000000} << 32);
    constexpr uint64_t ones = 1 + (uint64_t{10000} << 32);
    return static_cast<uint32_t>((((chunk & mask) * hundreds) + (((chunk >> 16) & mask) * ones)) >> 32);
}

// Decimal exponent of the first significant digit of a decimal text that
// passed the grammar check, saturated far beyond the binary64 range.
int64_t leading_exponent(std::string_view digits_and_exponent) {
    int64_t position = 0;  // digits seen before the point, counting from the first significant one
    int64_t leading_fraction_zeros = 0;
    bool significant = false, after_point = false;
    std::size_t i = 0;
    for (; i < digits_and_exponent.size(); ++i) {
        char const c = digits_and_exponent[i];
        if (c == '.') {
            after_point = true;
        } else if (is_ascii_digit(c)) {
            if (!significant && c != '0') significant = true;
            if (significant && !after_point) ++position;
            if (!significant && after_point) ++leading_fraction_zeros;
        } else {
            break;
        }
    }
    int64_t exponent = 0;
    if (i < digits_and_exponent.size()) {  // 'e' or 'E'
        ++i;
        bool negative = false;
        if (digits_and_exponent[i] == '+' || digits_and_exponent[i] == '-') negative = digits_and_exponent[i++] == '-';
        for (; i < digits_and_exponent.size(); ++i) {
            exponent = std::min<int64_t>(exponent * 10 + (digits_and_exponent[i] - '0'), 1'000'000'000);
        }
        if (negative) exponent = -exponent;
    }
    int64_t const base = position > 0 ? position - 1 : -leading_fraction_zeros - 1;
    return base + exponent;
}

// digits with an optional point and fraction (at least one digit), then an
// optional exponent with at least one digit.
bool is_decimal_number(std::string_view text) {
    std::size_t i = 0, digits = 0;
    while (i < text.size() && is_ascii_digit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_ascii_digit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponent_digits = 0;
        while (i < text.size() && is_ascii_digit(text[i])) ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    return i == text.size();
}

}  // namespace

std::optional<int64_t> parse_integer(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    // 18 digits stay below 10^18 < 2^63: no step can overflow, so the
    // checks go (columns read this for every value).
    if (text.size() - i <= 18) {
        for (; text.size() - i >= 8; i += 8) {
            auto const eight = eight_digits(text.data() + i);
            if (!eight) return std::nullopt;
            value = value * 100'000'000 + *eight;
        }
        for (; i < text.size(); ++i) {
            if (!is_ascii_digit(text[i])) return std::nullopt;
            value = value * 10 + (text[i] - '0');
        }
        return negative ? -value : value;
    }
    for (; i < text.size(); ++i) {
        if (!is_ascii_digit(text[i])) return std::nullopt;
        int const digit = text[i] - '0';
        // Negative values accumulate downwards so that INT64_MIN is reachable.
        if (__builtin_mul_overflow(value, 10, &value)) return std::nullopt;
        if (negative ? __builtin_sub_overflow(value, digit, &value) : __builtin_add_overflow(value, digit, &value)) {
            return std::nullopt;
        }
    }
    return value;
}

std::optional<double> parse_float(std::string_view text) {
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    double const sign = negative ? -1.0 : 1.0;
    if (equals_ignoring_ascii_case(body, "inf") || equals_ignoring_ascii_case(body, "infinity")) {
        return sign * std::numeric_limits<double>::infinity();
    }
    if (equals_ignoring_ascii_case(body, "nan")) return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    if (!is_decimal_number(body)) return std::nullopt;

    double magnitude = 0.0;
    auto const [end, error] = std::from_chars(body.data(), body.data() + body.size(), magnitude);
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value unset: overflow is an infinity, underflow a zero.
        magnitude = leading_exponent(body) >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{} || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return sign * magnitude;
}

}  // namespace epochsift
