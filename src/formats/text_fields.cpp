// The small readers the textual date parsers share: month and day abbreviations,
// fractions of a second, numeric offsets and signed decimal fields.
#include <array>
#include <limits>

#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"

namespace epochsift {

namespace {

// One optional sign, then at least one ASCII digit, and a value within
// [lo, hi]. Leading zeros are fine, so the run can be any length; the
// magnitude stops growing once it is out of range.
std::optional<int32_t> signed_field(std::string_view text, int32_t lo, int32_t hi) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t magnitude = 0;
    int64_t const limit = negative ? -int64_t{lo} : int64_t{hi};
    for (char const c : text) {
        if (!is_ascii_digit(c)) return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

std::optional<int> month_abbr(std::string_view text) { return index_ignoring_ascii_case(text, MONTH_ABBRS); }

std::optional<int> day_abbr(std::string_view text) { return index_ignoring_ascii_case(text, DAY_ABBRS); }

int32_t frac_to_nanos(std::string_view digits) {
    // Nine places right-padded with zeros; digits past the ninth are
    // truncated, not rounded. The padded text is read as a signed number,
    // so a sign in the first place is taken as one.
    char padded[9] = {'0', '0', '0', '0', '0', '0', '0', '0', '0'};
    std::size_t const used = digits.size() < 9 ? digits.size() : 9;
    for (std::size_t i = 0; i < used; ++i) padded[i] = digits[i];
    auto const value = signed_field(std::string_view(padded, 9), std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max());
    return value.value_or(0);
}

std::optional<int64_t> numeric_offset_secs(std::string_view text) {
    if (text.size() != 5 || (text[0] != '+' && text[0] != '-')) return std::nullopt;
    auto const hours = fixed_digits(text.substr(1, 2));
    auto const minutes = fixed_digits(text.substr(3, 2));
    if (!hours || !minutes) return std::nullopt;
    int64_t const seconds = int64_t{*hours} * 3600 + int64_t{*minutes} * 60;
    return text[0] == '-' ? -seconds : seconds;
}

std::optional<int16_t> signed_field16(std::string_view text) {
    auto const value = signed_field(text, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
    if (!value) return std::nullopt;
    return static_cast<int16_t>(*value);
}

std::optional<int8_t> signed_field8(std::string_view text) {
    auto const value = signed_field(text, std::numeric_limits<int8_t>::min(), std::numeric_limits<int8_t>::max());
    if (!value) return std::nullopt;
    return static_cast<int8_t>(*value);
}

}  // namespace epochsift
