#include "formats/asn1_time.hpp"

#include <cstdint>

#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

std::optional<Asn1Time> parse_asn1(std::string_view text, int year_digits) {
    if (year_digits != 4 && year_digits != 2) return std::nullopt;
    std::size_t const y = static_cast<std::size_t>(year_digits);
    // Every form starts with the year, month, day and hour digits: most
    // texts fail here, before the zone and fraction are looked for.
    if (text.size() < y + 6 || !all_ascii_digits(text.substr(0, y + 6))) return std::nullopt;

    // The zone, read off the end: Z, a four-digit offset, or nothing (UTC).
    std::string_view body = text;
    int64_t offset = 0;
    bool has_designator = false;
    std::size_t const n = text.size();
    // Digits alone (an integer's text) have neither zone nor fraction.
    bool const bare = all_ascii_digits(text.substr(y + 6));
    if (!bare && (text.back() == 'Z' || text.back() == 'z')) {
        body.remove_suffix(1);
        has_designator = true;
    } else if (!bare && n >= 5 && (text[n - 5] == '+' || text[n - 5] == '-') && all_ascii_digits(text.substr(n - 4))) {
        int const hours = two_digits_at(text, n - 4), minutes = two_digits_at(text, n - 2);
        // A malformed offset is an error, not a sign that the zone is missing.
        if (hours > 23 || minutes > 59) return std::nullopt;
        offset = (hours * 3600 + minutes * 60) * (text[n - 5] == '-' ? -1 : 1);
        body.remove_suffix(5);
        has_designator = true;
    }

    std::string_view digits = body;
    std::optional<std::string_view> fraction;
    if (!bare) {
        std::size_t point = 0;  // the first "." or "," (find_first_of would call memchr per byte)
        while (point < body.size() && body[point] != '.' && body[point] != ',') ++point;
        if (point < body.size()) {
            digits = body.substr(0, point);
            fraction = body.substr(point + 1);
        }
        if (!all_ascii_digits(digits)) return std::nullopt;
    }
    // Year, month, day, hour, then optional minute and second.
    if (digits.size() != y + 6 && digits.size() != y + 8 && digits.size() != y + 10) return std::nullopt;

    int year = 0;
    if (y == 4) {
        year = two_digits_at(digits, 0) * 100 + two_digits_at(digits, 2);
    } else {
        int const yy = two_digits_at(digits, 0);
        year = yy < 50 ? 2000 + yy : 1900 + yy;  // the RFC 5280 pivot
    }
    int32_t const month = two_digits_at(digits, y);
    int32_t const day = two_digits_at(digits, y + 2);
    int32_t const hour = two_digits_at(digits, y + 4);
    int32_t const minute = digits.size() >= y + 8 ? two_digits_at(digits, y + 6) : 0;
    int32_t const second = digits.size() == y + 10 ? two_digits_at(digits, y + 8) : 0;

    int32_t nanosecond = 0;
    if (fraction) {
        // A fraction belongs to the seconds and has at least one digit.
        if (digits.size() != y + 10 || fraction->empty() || !all_ascii_digits(*fraction)) return std::nullopt;
        nanosecond = frac_to_nanos(*fraction);
    }

    auto const instant =
        civil_to_posix({year, month, day, hour, minute, second, nanosecond}, offset);
    if (!instant) return std::nullopt;
    return Asn1Time{*instant, has_designator};
}

}  // namespace epochsift
