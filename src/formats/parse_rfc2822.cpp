// Internet message date-time (RFC 5322 §3.3 with the obsolete forms of
// §4.3), for example "Tue, 1 Jul 2003 10:52:37 +0200".
//
//   [CFWS] [day-name [CFWS] "," [CFWS]] day CFWS month CFWS year CFWS
//   HH ":" MM [":" SS] CFWS zone [CFWS]
//
// White space is SP, HTAB, CR and LF; a comment is "(...)", nested at most
// MAX_COMMENT_DEPTH deep, with backslash quoting the next byte. A comment
// alone separates the date's tokens, but the zone needs a space or tab before
// it. The scan is one forward pass with a depth counter, no recursion.
#include <array>

#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

namespace {

constexpr int MAX_COMMENT_DEPTH = 32;

struct NamedZone {
    std::string_view name;  // lower case
    int hours;
};

constexpr std::array<NamedZone, 10> OBSOLETE_ZONES = {{
    {"ut", 0}, {"gmt", 0}, {"edt", -4}, {"est", -5}, {"cdt", -5},
    {"cst", -6}, {"mdt", -6}, {"mst", -7}, {"pdt", -7}, {"pst", -8},
}};

struct Gap {
    bool ok = true;      // false: a comment ran off the end or nested too deep
    bool any = false;    // white space or a comment was skipped
    bool blank = false;  // a space or tab was among it
};

// Skips folding white space and comments from pos.
Gap skip_cfws(std::string_view text, std::size_t& pos) {
    Gap gap;
    while (pos < text.size()) {
        char const c = text[pos];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            gap.any = true;
            gap.blank = gap.blank || c == ' ' || c == '\t';
            ++pos;
        } else if (c == '(') {
            int depth = 0;
            do {
                char const d = text[pos++];
                if (d == '\\') {
                    if (pos == text.size()) break;  // quoted-pair cut off: unbalanced
                    ++pos;
                } else if (d == '(') {
                    if (++depth > MAX_COMMENT_DEPTH) return Gap{.ok = false};
                } else if (d == ')') {
                    --depth;
                }
            } while (depth > 0 && pos < text.size());
            if (depth > 0) return Gap{.ok = false};
            gap.any = true;
        } else {
            break;
        }
    }
    return gap;
}

std::string_view take_while(std::string_view text, std::size_t& pos, bool (*accept)(char)) {
    std::size_t const start = pos;
    while (pos < text.size() && accept(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

std::string_view take_digits(std::string_view text, std::size_t& pos) {
    return take_while(text, pos, [](char c) { return is_ascii_digit(c); });
}

std::string_view take_letters(std::string_view text, std::size_t& pos) {
    return take_while(text, pos, [](char c) { return is_ascii_alpha(c); });
}

// A numeric zone ±HHMM: minutes must be 00-59; any two-digit hour passes
// here and civil_to_posix then refuses offsets beyond ±25:59:59.
std::optional<int64_t> numeric_zone(std::string_view text, std::size_t& pos) {
    std::size_t const start = pos++;
    std::string_view const digits = take_digits(text, pos);
    if (digits.size() != 4 || digits[2] > '5') return std::nullopt;
    return numeric_offset_secs(text.substr(start, 5));
}

// An obsolete zone name. RFC 5322 §4.3 gives the US names their offsets;
// military letters and other names carry no reliable offset and read as
// +0000. J was never assigned a zone.
std::optional<int64_t> named_zone(std::string_view name) {
    if (name.size() == 1) {
        if (ascii_lower(name[0]) == 'j') return std::nullopt;
        return 0;
    }
    if (name.size() < 2 || name.size() > 5) return std::nullopt;
    char lowered[5];
    for (std::size_t i = 0; i < name.size(); ++i) lowered[i] = ascii_lower(name[i]);
    std::string_view const key(lowered, name.size());
    for (NamedZone const& zone : OBSOLETE_ZONES) {
        if (zone.name == key) return int64_t{zone.hours} * 3600;
    }
    if (name.size() == 2) return std::nullopt;  // UT is the only two-letter zone
    return 0;
}

int expand_year(std::string_view digits, int value) {
    if (digits.size() == 2) return value < 50 ? 2000 + value : 1900 + value;
    if (digits.size() == 3) return 1900 + value;
    return value;
}

}  // namespace

std::optional<int64_t> named_zone_offset_secs(std::string_view name) {
    if (name.size() < 2 || name.size() > 3) return std::nullopt;
    char lowered[3];
    for (std::size_t i = 0; i < name.size(); ++i) lowered[i] = ascii_lower(name[i]);
    std::string_view const key(lowered, name.size());
    if (key == "utc") return 0;
    for (NamedZone const& zone : OBSOLETE_ZONES) {
        if (zone.name == key) return int64_t{zone.hours} * 3600;
    }
    return std::nullopt;
}

std::optional<PosixNs> parse_rfc2822(std::string_view text) {
    std::size_t pos = 0;
    auto const separated = [&] {
        Gap const gap = skip_cfws(text, pos);
        return gap.ok && gap.any;
    };
    if (!skip_cfws(text, pos).ok) return std::nullopt;

    std::optional<int> named_weekday;
    if (pos < text.size() && is_ascii_alpha(text[pos])) {
        named_weekday = day_abbr(take_letters(text, pos));
        if (!named_weekday || !skip_cfws(text, pos).ok) return std::nullopt;
        if (pos == text.size() || text[pos] != ',') return std::nullopt;
        ++pos;
        if (!skip_cfws(text, pos).ok) return std::nullopt;
    }

    std::string_view const day_digits = take_digits(text, pos);
    if (day_digits.size() < 1 || day_digits.size() > 2 || !separated()) return std::nullopt;
    auto const month = month_abbr(take_letters(text, pos));
    if (!month || !separated()) return std::nullopt;
    std::string_view const year_digits = take_digits(text, pos);
    if (year_digits.size() < 2 || year_digits.size() > 4 || !separated()) return std::nullopt;

    auto const two_digits = [&]() -> std::optional<int32_t> {
        std::string_view const digits = take_digits(text, pos);
        return digits.size() == 2 ? fixed_digits(digits) : std::nullopt;
    };
    auto const colon = [&] {
        if (pos == text.size() || text[pos] != ':') return false;
        ++pos;
        return true;
    };
    auto const hour = two_digits();
    if (!hour || !colon()) return std::nullopt;
    auto const minute = two_digits();
    if (!minute) return std::nullopt;
    std::optional<int32_t> second = 0;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        second = two_digits();
        if (!second) return std::nullopt;
    }

    Gap const before_zone = skip_cfws(text, pos);
    if (!before_zone.ok || !before_zone.blank || pos == text.size()) return std::nullopt;
    std::optional<int64_t> offset;
    if (text[pos] == '+' || text[pos] == '-') {
        offset = numeric_zone(text, pos);
    } else {
        offset = named_zone(take_letters(text, pos));
    }
    if (!offset || !skip_cfws(text, pos).ok || pos != text.size()) return std::nullopt;

    int const year = expand_year(year_digits, *fixed_digits(year_digits));
    int const day = *fixed_digits(day_digits);
    auto const midnight = unix_seconds(CivilTime{year, *month, day});
    if (!midnight) return std::nullopt;
    if (named_weekday && iso_weekday(*midnight / 86'400) != *named_weekday) return std::nullopt;
    return civil_to_posix({year, *month, day, *hour, *minute, *second, 0}, *offset);
}

}  // namespace epochsift
