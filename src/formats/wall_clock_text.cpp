#include "formats/wall_clock_text.hpp"

#include "core/ascii_scan.hpp"
#include "core/civil.hpp"
#include "core/text_cursor.hpp"
#include "formats/text_date_parsers.hpp"

namespace epochsift {

namespace {

using Cursor = TextCursor;

// One or two digits, space-padded on the left as ctime writes "%2d".
std::optional<int32_t> padded_day(Cursor& c) {
    if (c.accept(' ')) return c.digits(1);
    return c.digits(2);
}

struct Clock {
    int32_t hour = 0, minute = 0, second = 0, nanos = 0;
};

// hh:mm:ss, both colons required.
std::optional<Clock> clock(Cursor& c) {
    auto const hour = c.digits(2);
    if (!hour || !c.accept(':')) return std::nullopt;
    auto const minute = c.digits(2);
    if (!minute || !c.accept(':')) return std::nullopt;
    auto const second = c.digits(2);
    if (!second) return std::nullopt;
    return Clock{*hour, *minute, *second, 0};
}

std::optional<PosixNs> at(int32_t year, int32_t month, int32_t day, const Clock& t, int64_t offset) {
    return civil_to_posix(CivilTime{year, month, day, t.hour, t.minute, t.second, t.nanos}, offset);
}

std::optional<FormInstant> wall(std::optional<PosixNs> instant) {
    if (!instant) return std::nullopt;
    return FormInstant{*instant, true};
}

std::optional<FormInstant> stated(std::optional<PosixNs> instant) {
    if (!instant) return std::nullopt;
    return FormInstant{*instant, false};
}

// The weekday a text names must be the date's: a wrong one is a typo or
// another calendar, not this form.
bool weekday_agrees(int weekday, PosixNs instant, int64_t offset_seconds) {
    i128 const local_day = floor_div(instant.ns + i128{offset_seconds} * NS_PER_SECOND, NS_PER_DAY);
    return iso_weekday(static_cast<int64_t>(local_day)) == weekday;
}

struct Date {
    int32_t year, month, day;
};

std::optional<Date> iso_date(Cursor& c) {
    auto const year = c.digits(4);
    if (!year || !c.accept('-')) return std::nullopt;
    auto const month = c.digits(2);
    if (!month || !c.accept('-')) return std::nullopt;
    auto const day = c.digits(2);
    if (!day) return std::nullopt;
    return Date{*year, *month, *day};
}

// Www Mmm _d hh:mm:ss: the head that ctime, date(1) share.
struct CtimeHead {
    int weekday;
    int month;
    int32_t day;
    Clock clock;
};

std::optional<CtimeHead> ctime_head(Cursor& c) {
    auto const weekday = day_abbr(c.letters(3));
    if (!weekday || !c.accept(' ')) return std::nullopt;
    auto const month = month_abbr(c.letters(3));
    if (!month || !c.accept(' ')) return std::nullopt;
    auto const day = padded_day(c);
    if (!day || !c.accept(' ')) return std::nullopt;
    auto const t = clock(c);
    if (!t) return std::nullopt;
    return CtimeHead{*weekday, *month, *day, *t};
}

}  // namespace

std::optional<FormInstant> parse_iso_wall_clock(std::string_view text) {
    Cursor c(text);
    auto const date = iso_date(c);
    if (!date) return std::nullopt;
    Clock t;
    if (!c.at_end()) {
        if (!c.accept_one_of("Tt ")) return std::nullopt;
        auto const hour = c.digits(2);
        if (!hour || !c.accept(':')) return std::nullopt;
        auto const minute = c.digits(2);
        if (!minute) return std::nullopt;
        t.hour = *hour;
        t.minute = *minute;
        if (c.accept(':')) {
            auto const second = c.digits(2);
            if (!second) return std::nullopt;
            t.second = *second;
            if (c.accept_one_of(".,")) {
                std::string_view const fraction = c.digit_run(9);
                if (fraction.empty()) return std::nullopt;
                t.nanos = frac_to_nanos(fraction);
                c.digit_run(SIZE_MAX);  // digits past the ninth are truncated
            }
        }
        if (!c.at_end()) return std::nullopt;  // an offset or zone makes it ISO 8601 proper
    }
    return wall(at(date->year, date->month, date->day, t, 0));
}

std::optional<FormInstant> parse_iso_space_offset(std::string_view text) {
    Cursor c(text);
    auto const date = iso_date(c);
    if (!date || !c.accept(' ')) return std::nullopt;
    auto t = clock(c);
    if (t && c.accept('.')) {  // stat(1) %y writes nanoseconds
        std::string_view const fraction = c.digit_run(9);
        if (fraction.empty()) return std::nullopt;
        t->nanos = frac_to_nanos(fraction);
    }
    if (!t || !c.accept(' ')) return std::nullopt;
    auto const offset = numeric_offset_secs(c.take(5));
    if (!offset || !c.at_end()) return std::nullopt;
    return stated(at(date->year, date->month, date->day, *t, *offset));
}

std::optional<FormInstant> parse_ctime(std::string_view text) {
    Cursor c(text);
    auto const head = ctime_head(c);
    if (!head || !c.accept(' ')) return std::nullopt;
    bool zone_unstated = true;
    int64_t offset = 0;
    if (!c.rest().empty() && is_ascii_alpha(c.rest()[0])) {
        std::string_view const zone = c.letters(6);
        if (zone.size() < 2 || !c.accept(' ')) return std::nullopt;
        if (auto const named = named_zone_offset_secs(zone)) {
            offset = *named;
            zone_unstated = false;
        }
    } else if (!c.rest().empty() && (c.rest()[0] == '+' || c.rest()[0] == '-')) {
        // tzdata names a zone with no agreed abbreviation by its offset:
        // "-03", "+0530".
        std::string_view const zone = c.take(c.rest().find(' '));
        char padded[5] = {0, 0, 0, '0', '0'};  // "-03" is "-0300"
        if (zone.size() == 3) zone.copy(padded, 3);
        std::optional<int64_t> stated_offset;
        if (zone.size() == 3) stated_offset = numeric_offset_secs(std::string_view(padded, 5));
        if (zone.size() == 5) stated_offset = numeric_offset_secs(zone);
        if (!stated_offset || !c.accept(' ')) return std::nullopt;
        offset = *stated_offset;
        zone_unstated = false;
    }
    auto const year = c.digits(4);
    if (!year || !c.at_end()) return std::nullopt;
    auto const instant = at(*year, head->month, head->day, head->clock, offset);
    if (!instant || !weekday_agrees(head->weekday, *instant, offset)) return std::nullopt;
    return FormInstant{*instant, zone_unstated};
}

std::optional<FormInstant> parse_js_date_string(std::string_view text) {
    Cursor c(text);
    auto const weekday = day_abbr(c.letters(3));
    if (!weekday || !c.accept(' ')) return std::nullopt;
    auto const month = month_abbr(c.letters(3));
    if (!month || !c.accept(' ')) return std::nullopt;
    auto const day = c.digits(2);
    if (!day || !c.accept(' ')) return std::nullopt;
    auto const year = c.digits(4);
    if (!year || !c.accept(' ')) return std::nullopt;
    auto const t = clock(c);
    if (!t || !c.accept(' ') || c.letters(3) != "GMT") return std::nullopt;
    auto const offset = numeric_offset_secs(c.take(5));
    if (!offset) return std::nullopt;
    if (!c.at_end()) {
        // " (Central European Standard Time)": a name, never parsed.
        std::string_view const name = c.rest();
        if (name.size() < 4 || name.substr(0, 2) != " (" || name.back() != ')') return std::nullopt;
    }
    auto const instant = at(*year, *month, *day, *t, *offset);
    if (!instant || !weekday_agrees(*weekday, *instant, *offset)) return std::nullopt;
    return FormInstant{*instant, false};
}

std::optional<FormInstant> parse_syslog(std::string_view text, PosixNs window_start, PosixNs window_end) {
    Cursor c(text);
    auto const month = month_abbr(c.letters(3));
    if (!month || !c.accept(' ')) return std::nullopt;
    auto const day = padded_day(c);
    if (!day || !c.accept(' ')) return std::nullopt;
    auto const t = clock(c);
    if (!t || !c.at_end()) return std::nullopt;
    auto const first = civil_from_unix_seconds(static_cast<int64_t>(floor_div(window_start.ns, NS_PER_SECOND)));
    auto const last = civil_from_unix_seconds(static_cast<int64_t>(floor_div(window_end.ns, NS_PER_SECOND)));
    if (!first || !last || !(window_start < window_end)) return std::nullopt;
    std::optional<PosixNs> found;
    for (int32_t year = first->year; year <= last->year; ++year) {
        auto const instant = at(year, *month, *day, *t, 0);
        if (!instant || *instant < window_start || !(*instant < window_end)) continue;
        if (found) return std::nullopt;  // two years fit: the window does not fix the year
        found = instant;
    }
    return wall(found);
}

}  // namespace epochsift
