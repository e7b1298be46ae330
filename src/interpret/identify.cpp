#include "interpret/identify.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <charconv>
#include <cmath>
#include <limits>

#include "interpret/ascii_scan.hpp"
#include "interpret/diagnostics.hpp"
#include "interpret/interpret_float.hpp"
#include "interpret/interpret_int.hpp"
#include "interpret/interpret_string.hpp"
#include "interpret/json_writer.hpp"
#include "interpret/prevalence.hpp"

namespace epochsift {

namespace {

// Byte length of the White_Space character that starts at text[i], or 0.
std::size_t white_space_at(std::string_view text, std::size_t i) {
    auto const byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    std::size_t const left = text.size() - i;
    unsigned char const b0 = byte(0);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
    if (b0 == 0xC2 && left >= 2) return (byte(1) == 0x85 || byte(1) == 0xA0) ? 2 : 0;  // U+0085, U+00A0
    if (left < 3) return 0;
    unsigned char const b1 = byte(1), b2 = byte(2);
    if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
    if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
    if (b0 != 0xE2) return 0;
    if (b1 == 0x80) {  // U+2000..U+200A, U+2028, U+2029, U+202F
        return (b2 <= 0x8A && b2 >= 0x80) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF ? 3 : 0;
    }
    return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;  // U+205F
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

std::string_view trim_white_space(std::string_view text) {
    // A White_Space character is an ASCII space or control, or ends in a
    // continuation byte; text between two other ASCII bytes has none to strip.
    auto const plain = [](char c) {
        auto const b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x80;
    };
    if (text.empty() || (plain(text.front()) && plain(text.back()))) return text;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t const width = white_space_at(text, begin);
        if (width == 0) break;
        begin += width;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // A White_Space character is 1, 2 or 3 bytes; try each ending here.
        std::size_t width = 0;
        for (std::size_t w = 1; w <= 3 && w <= end - begin && width == 0; ++w) {
            if (white_space_at(text.substr(0, end), end - w) == w) width = w;
        }
        if (width == 0) break;
        end -= width;
    }
    return text.substr(begin, end - begin);
}

std::optional<int64_t> parse_integer(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
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

bool candidate_order(const Candidate& a, const Candidate& b) {
    if (b.score < a.score) return true;
    if (a.score < b.score) return false;
    double const pa = prevalence(a.format_id), pb = prevalence(b.format_id);
    if (pb < pa) return true;
    if (pa < pb) return false;
    // string_view compares bytes as unsigned char, shorter prefix first.
    return a.format_id < b.format_id;
}

namespace {

struct OrderKeys {
    double score;
    double prevalence;
    std::string_view format_id;
    std::size_t index;  // position before sorting
};

// candidate_order on the keys.
bool keys_before(const OrderKeys& a, const OrderKeys& b) {
    if (b.score < a.score) return true;
    if (a.score < b.score) return false;
    if (b.prevalence < a.prevalence) return true;
    if (a.prevalence < b.prevalence) return false;
    return a.format_id < b.format_id;
}

}  // namespace

void sort_in_candidate_order(std::vector<Candidate>& readings) {
    std::size_t const n = readings.size();
    if (n < 2) return;
    // A numeric path has at most one reading per registry row: the keys fit
    // on the stack and an insertion sort needs no buffer.
    constexpr std::size_t ON_STACK = 64;
    std::array<OrderKeys, ON_STACK> stack_keys;
    std::vector<OrderKeys> heap_keys;
    std::span<OrderKeys> keys(stack_keys.data(), std::min(n, ON_STACK));
    if (n > ON_STACK) {
        heap_keys.resize(n);
        keys = heap_keys;
    }
    for (std::size_t i = 0; i < n; ++i) {
        keys[i] = {readings[i].score, prevalence(readings[i].format_id), readings[i].format_id, i};
    }
    if (n <= ON_STACK) {
        for (std::size_t i = 1; i < n; ++i) {
            OrderKeys const key = keys[i];
            std::size_t j = i;
            for (; j > 0 && keys_before(key, keys[j - 1]); --j) keys[j] = keys[j - 1];
            keys[j] = key;
        }
    } else {
        std::stable_sort(keys.begin(), keys.end(), keys_before);
    }
    // Apply the permutation in place, one cycle at a time: each reading is
    // moved once, plus one move through a temporary per cycle.
    for (std::size_t start = 0; start < n; ++start) {
        if (keys[start].index == start || keys[start].index == n) continue;
        Candidate held = std::move(readings[start]);
        std::size_t to = start;
        for (;;) {
            std::size_t const from = keys[to].index;
            keys[to].index = n;  // placed
            if (from == start) {
                readings[to] = std::move(held);
                break;
            }
            readings[to] = std::move(readings[from]);
            to = from;
        }
    }
}

std::vector<Candidate> identify(std::string_view value) {
    std::string_view const text = trim_white_space(value);
    std::vector<Candidate> result;
    if (auto const integer = parse_integer(text)) {
        result = interpret_int_with_context(*integer, IntContext{});
    } else if (auto const number = parse_float(text)) {
        result = interpret_float(*number);
    }
    std::vector<Candidate> strings = interpret_string(text);
    result.reserve(result.size() + strings.size());
    std::move(strings.begin(), strings.end(), std::back_inserter(result));
    // A stable sort leaves a sorted list as it is; most lists arrive sorted
    // (numeric readings in candidate order, or string readings alone).
    auto const by_score = [](const Candidate& a, const Candidate& b) { return b.score < a.score; };
    if (!std::is_sorted(result.begin(), result.end(), by_score)) {
        std::stable_sort(result.begin(), result.end(), by_score);
    }
    return result;
}

std::string identify_json(std::string_view value) {
    std::vector<Candidate> const readings = identify(value);
    std::string out;
    out.reserve(128);
    append_json_candidates(out, readings);
    return out;
}

}  // namespace epochsift
