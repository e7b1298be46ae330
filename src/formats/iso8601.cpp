#include "formats/iso8601.hpp"

#include <cstdint>

#include "core/ascii_scan.hpp"
#include "core/civil.hpp"
#include "core/text_cursor.hpp"

// The grammar, read the way the TC39 Temporal grammar (RFC 9557) reads an
// instant string: a date, a time and an offset are all required.
//
//   date-time  = date sep time offset [tz-annot] *key-annot
//   date       = year "-" MM "-" DD  |  year MM DD
//   year       = 4DIGIT  |  ("+" / "-") 6DIGIT        ; "-000000" names no year
//   sep        = "T" / "t" / " "
//   time       = HH [":" MM [":" SS [frac]]]  |  HH [MM [SS [frac]]]
//   frac       = ("." / ",") 1*9DIGIT                 ; only after seconds
//   offset     = "Z" / "z"  |  sign HH [":" MM [":" SS]]  |  sign HH [MM [SS]]
//   tz-annot   = "[" ["!"] (sign HH [[":"] MM] | iana-name) "]"
//   key-annot  = "[" ["!"] key "=" value "]"
//   key        = (a-z / "_") *(a-z / DIGIT / "_" / "-")
//   value      = 1*alnum *("-" 1*alnum)
//   iana-name  = part *("/" part)  ; part = (ALPHA / "." / "_") *(ALPHA / DIGIT / "." / "_" / "-" / "+"),
//                                  ; never "." or ".."
//
// Colons are used throughout a time or an offset or not at all; the date,
// the time and the offset choose independently. Where this departs from or
// settles what Temporal leaves open:
// - a second of 60 is read as 59, since the POSIX scale has no leap second;
// - offset hours run to 25, not 23: ±25:59:59 is the widest offset the
//   calendar converts, and an offset may carry whole seconds (historic
//   local mean time) but no fraction, so it stays a whole number of seconds;
// - a time-zone annotation is checked for form only. With no zone database
//   the instant comes from the numeric offset alone, and the annotation is
//   neither looked up nor compared with it;
// - "u-ca" is the one known key. An unknown key marked critical ("!") fails;
//   a second u-ca fails when either of the two is critical, otherwise the
//   first one stands (the calendar does not change an instant anyway).
//
// Every reader moves forward only, so the scan is linear, and no reader
// calls itself, so the depth is fixed.

namespace epochsift {

namespace {

constexpr bool is_sign(char c) { return c == '+' || c == '-'; }

using Cursor = TextCursor;

// Two digits no greater than max.
std::optional<int32_t> two_digits(Cursor& in, int32_t max) {
    auto const value = in.digits(2);
    if (!value || *value > max) return std::nullopt;
    return value;
}

struct Date {
    int32_t year = 0;  // -999999 to 999999; the calendar takes ±9999
    int32_t month = 0;
    int32_t day = 0;
};

std::optional<Date> read_date(Cursor& in) {
    Date date;
    if (in.next_is_one_of("+-")) {
        bool const negative = in.take() == '-';
        auto const year = in.digits(6);
        if (!year || (negative && *year == 0)) return std::nullopt;
        date.year = negative ? -*year : *year;
    } else {
        auto const year = in.digits(4);
        if (!year) return std::nullopt;
        date.year = *year;
    }
    bool const extended = in.accept('-');
    auto const month = in.digits(2);
    if (!month || (extended && !in.accept('-'))) return std::nullopt;
    auto const day = in.digits(2);
    if (!day) return std::nullopt;
    // The calendar checks the month and the day against the year.
    date.month = *month;
    date.day = *day;
    return date;
}

struct Time {
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
    int32_t nanosecond = 0;
};

// "." or "," and 1 to 9 digits, right-padded to nanoseconds.
std::optional<int32_t> read_fraction(Cursor& in) {
    in.take();  // the separator
    int32_t value = 0;
    int count = 0;
    while (in.next_is_digit()) {
        if (++count > 9) return std::nullopt;
        value = value * 10 + (in.take() - '0');
    }
    if (count == 0) return std::nullopt;
    for (int i = count; i < 9; ++i) value *= 10;
    return value;
}

// The shape nearly every timestamp column holds, "YYYY-MM-DDTHH:MM:SS"
// (any of the three separators), read in one step: the fields read_date and
// read_time read from it, without their step-by-step checks. False, having
// read nothing, for any other text (the general readers take it then).
bool read_common_date_time(Cursor& in, Date& date, Time& time) {
    std::string_view const t = in.rest();
    if (t.size() < 19 || t[4] != '-' || t[7] != '-' || t[13] != ':' || t[16] != ':') return false;
    if (t[10] != 'T' && t[10] != 't' && t[10] != ' ') return false;
    for (std::size_t const at : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
        if (!is_ascii_digit(t[at])) return false;
    }
    auto const two = [&](std::size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); };  // [0, 99]
    int32_t const hour = two(11), minute = two(14), second = two(17);
    if (hour > 23 || minute > 59 || second > 60) return false;
    date = Date{two(0) * 100 + two(2), two(5), two(8)};
    time = Time{hour, minute, second == 60 ? 59 : second, 0};
    in.take(19);
    return true;
}

std::optional<Time> read_time(Cursor& in) {
    Time time;
    auto const hour = two_digits(in, 23);
    if (!hour) return std::nullopt;
    time.hour = *hour;
    bool const extended = in.accept(':');
    if (!extended && !in.next_is_digit()) return time;  // hour only
    auto const minute = two_digits(in, 59);
    if (!minute) return std::nullopt;
    time.minute = *minute;
    if (extended ? !in.accept(':') : !in.next_is_digit()) return time;  // hour and minute
    auto const second = two_digits(in, 60);
    if (!second) return std::nullopt;
    time.second = *second == 60 ? 59 : *second;
    if (in.next_is('.') || in.next_is(',')) {
        auto const fraction = read_fraction(in);
        if (!fraction) return std::nullopt;
        time.nanosecond = *fraction;
    }
    return time;
}

// sign HH, then optionally minutes and (when with_seconds) seconds, colons
// throughout or nowhere. Seconds east of UTC.
std::optional<int32_t> read_numeric_offset(Cursor& in, bool with_seconds) {
    if (!in.next_is_one_of("+-")) return std::nullopt;
    int32_t const sign = in.take() == '-' ? -1 : 1;
    auto const hours = two_digits(in, 25);
    if (!hours) return std::nullopt;
    int32_t seconds = *hours * 3600;
    bool const extended = in.accept(':');
    if (extended || in.next_is_digit()) {
        auto const minutes = two_digits(in, 59);
        if (!minutes) return std::nullopt;
        seconds += *minutes * 60;
        if (with_seconds && (extended ? in.accept(':') : in.next_is_digit())) {
            auto const secs = two_digits(in, 59);
            if (!secs) return std::nullopt;
            seconds += *secs;
        }
    }
    return sign * seconds;
}

std::optional<int32_t> read_offset(Cursor& in) {
    if (in.accept('Z') || in.accept('z')) return 0;
    return read_numeric_offset(in, true);
}

bool is_zone_name_part(std::string_view part) {
    if (part.empty() || part == "." || part == "..") return false;
    char const lead = part[0];
    if (!is_ascii_alpha(lead) && lead != '.' && lead != '_') return false;
    for (char const c : part.substr(1)) {
        if (!is_ascii_alpha(c) && !is_ascii_digit(c) && c != '.' && c != '_' && c != '-' && c != '+') return false;
    }
    return true;
}

// "Europe/Paris", "Etc/GMT+5" or a minute-precision offset such as "+01:00".
bool is_time_zone(std::string_view zone) {
    if (!zone.empty() && is_sign(zone[0])) {
        Cursor in(zone);
        return read_numeric_offset(in, false) && in.at_end();
    }
    std::size_t start = 0;
    while (true) {
        std::size_t const slash = zone.find('/', start);
        if (!is_zone_name_part(zone.substr(start, slash - start))) return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

bool is_annotation_key(std::string_view key) {
    if (key.empty() || !((key[0] >= 'a' && key[0] <= 'z') || key[0] == '_')) return false;
    for (char const c : key.substr(1)) {
        if (!(c >= 'a' && c <= 'z') && !is_ascii_digit(c) && c != '_' && c != '-') return false;
    }
    return true;
}

// Runs of letters and digits joined by single hyphens.
bool is_annotation_value(std::string_view value) {
    if (value.empty() || value.front() == '-' || value.back() == '-') return false;
    char previous = '\0';
    for (char const c : value) {
        if (c == '-' ? previous == '-' : !(is_ascii_alpha(c) || is_ascii_digit(c))) return false;
        previous = c;
    }
    return true;
}

// Zero or more bracketed suffixes; true when all of them are acceptable.
bool read_annotations(Cursor& in) {
    bool first = true;
    bool have_calendar = false, calendar_critical = false;
    while (in.accept('[')) {
        auto body = in.until(']');
        if (!body) return false;
        bool const critical = !body->empty() && body->front() == '!';
        if (critical) body->remove_prefix(1);
        std::size_t const equals = body->find('=');
        if (equals == std::string_view::npos) {
            // Only the first suffix may name a time zone.
            if (!first || !is_time_zone(*body)) return false;
        } else {
            std::string_view const key = body->substr(0, equals);
            if (!is_annotation_key(key) || !is_annotation_value(body->substr(equals + 1))) return false;
            if (key == "u-ca") {
                if (have_calendar && (critical || calendar_critical)) return false;
                if (!have_calendar) calendar_critical = critical;
                have_calendar = true;
            } else if (critical) {
                return false;  // a key we cannot honour was marked as one we must
            }
        }
        first = false;
    }
    return true;
}

}  // namespace

std::optional<PosixNs> parse_iso8601(std::string_view text) {
    Cursor in(text);
    Date date;
    Time time;
    if (read_common_date_time(in, date, time)) {
        // As read_time goes on after the seconds.
        if (in.next_is('.') || in.next_is(',')) {
            auto const fraction = read_fraction(in);
            if (!fraction) return std::nullopt;
            time.nanosecond = *fraction;
        }
    } else {
        auto const read = read_date(in);
        if (!read) return std::nullopt;
        date = *read;
        if (!in.accept('T') && !in.accept('t') && !in.accept(' ')) return std::nullopt;
        auto const clock = read_time(in);
        if (!clock) return std::nullopt;
        time = *clock;
    }
    auto const offset = read_offset(in);
    if (!offset || !read_annotations(in) || !in.at_end()) return std::nullopt;
    return civil_to_posix({date.year, date.month, date.day, time.hour, time.minute, time.second, time.nanosecond},
                          *offset);
}

}  // namespace epochsift
