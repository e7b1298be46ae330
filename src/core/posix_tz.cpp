#include "core/posix_tz.hpp"

#include <chrono>

#include "core/ascii_scan.hpp"
#include "core/civil.hpp"

namespace epochsift {

namespace {

constexpr int64_t SECONDS_PER_DAY = 86'400;
constexpr int32_t MAX_OFFSET_HOURS = 24;      // POSIX: an offset's hours are 0 to 24
constexpr int32_t MAX_RULE_TIME_HOURS = 167;  // RFC 8536: a rule time's hours are -167 to 167

// A forward-only cursor over the string; every reader returns false and
// leaves the position undefined on malformed text.
struct Cursor {
    std::string_view text;
    std::size_t at = 0;

    bool done() const { return at == text.size(); }
    char peek() const { return done() ? '\0' : text[at]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++at;
        return true;
    }

    // 1 to max_digits decimal digits, at most limit.
    bool number(int max_digits, int32_t limit, int32_t& out) {
        int digits = 0;
        out = 0;
        while (digits < max_digits && is_ascii_digit(peek())) {
            out = out * 10 + (text[at++] - '0');
            ++digits;
        }
        return digits > 0 && out <= limit;
    }

    // An abbreviation: three or more letters, or <...> of letters, digits, + and -.
    bool name(std::string& out) {
        std::size_t const start = at;
        if (take('<')) {
            while (is_ascii_alpha(peek()) || is_ascii_digit(peek()) || peek() == '+' || peek() == '-') ++at;
            out.assign(text.substr(start + 1, at - start - 1));
            return take('>') && out.size() >= 3;
        }
        while (is_ascii_alpha(peek())) ++at;
        out.assign(text.substr(start, at - start));
        return out.size() >= 3;
    }

    // [+-]hh[:mm[:ss]] in seconds, hours at most max_hours.
    bool hms(int max_hour_digits, int32_t max_hours, int32_t& out) {
        int32_t sign = 1;
        if (take('-')) {
            sign = -1;
        } else {
            take('+');
        }
        int32_t hours = 0, minutes = 0, seconds = 0;
        if (!number(max_hour_digits, max_hours, hours)) return false;
        if (take(':')) {
            if (!number(2, 59, minutes)) return false;
            if (take(':') && !number(2, 59, seconds)) return false;
        }
        out = sign * (hours * 3600 + minutes * 60 + seconds);
        return true;
    }

    // Jn, n or Mm.w.d, then an optional /time.
    bool rule(TzRule& out) {
        int32_t value = 0;
        if (take('J')) {
            if (!number(3, 365, value) || value < 1) return false;
            out.kind = TzRuleDay::JulianNoLeap;
            out.day = static_cast<int16_t>(value);
        } else if (take('M')) {
            int32_t week = 0, weekday = 0;
            if (!number(2, 12, value) || value < 1 || !take('.') || !number(1, 5, week) || week < 1 ||
                !take('.') || !number(1, 6, weekday)) {
                return false;
            }
            out.kind = TzRuleDay::MonthWeekDay;
            out.month = static_cast<int8_t>(value);
            out.week = static_cast<int8_t>(week);
            out.weekday = static_cast<int8_t>(weekday);
        } else {
            if (!number(3, 365, value)) return false;
            out.kind = TzRuleDay::ZeroBased;
            out.day = static_cast<int16_t>(value);
        }
        out.time = 7200;
        return !take('/') || hms(3, MAX_RULE_TIME_HOURS, out.time);
    }
};

// The local seconds (days since 1970 at the rule's time) a rule names in a year.
int64_t rule_local_seconds(const TzRule& rule, int32_t year) {
    using namespace std::chrono;
    std::chrono::year const y{year};
    int64_t days = 0;
    switch (rule.kind) {
        case TzRuleDay::JulianNoLeap: {
            int64_t day_of_year = rule.day - 1;  // [0, 364]
            if (is_leap_year(year) && rule.day >= 60) ++day_of_year;
            days = sys_days{y / January / 1}.time_since_epoch().count() + day_of_year;
            break;
        }
        case TzRuleDay::ZeroBased:
            days = sys_days{y / January / 1}.time_since_epoch().count() + rule.day;
            break;
        case TzRuleDay::MonthWeekDay: {
            auto const m = month{static_cast<unsigned>(rule.month)};
            weekday const wd{static_cast<unsigned>(rule.weekday)};
            sys_days const date = rule.week == 5 ? sys_days{y / m / wd[last]}
                                                 : sys_days{y / m / wd[static_cast<unsigned>(rule.week)]};
            days = date.time_since_epoch().count();
            break;
        }
    }
    return days * SECONDS_PER_DAY + rule.time;
}

}  // namespace

std::optional<PosixTz> parse_posix_tz(std::string_view text) {
    Cursor in{text};
    PosixTz tz;
    int32_t west = 0;
    if (!in.name(tz.std_abbreviation) || !in.hms(2, MAX_OFFSET_HOURS, west)) return std::nullopt;
    tz.std_offset = -west;
    if (in.done()) return tz;
    tz.has_dst = true;
    if (!in.name(tz.dst_abbreviation)) return std::nullopt;
    tz.dst_offset = tz.std_offset + 3600;
    if (!in.done() && in.peek() != ',') {
        if (!in.hms(2, MAX_OFFSET_HOURS, west)) return std::nullopt;
        tz.dst_offset = -west;
    }
    if (in.done()) {  // no rules: the US rules
        tz.start = TzRule{TzRuleDay::MonthWeekDay, 0, 3, 2, 0, 7200};
        tz.end = TzRule{TzRuleDay::MonthWeekDay, 0, 11, 1, 0, 7200};
        return tz;
    }
    if (!in.take(',') || !in.rule(tz.start) || !in.take(',') || !in.rule(tz.end) || !in.done()) return std::nullopt;
    return tz;
}

DstChanges dst_changes(const PosixTz& tz, int32_t year) {
    return DstChanges{rule_local_seconds(tz.start, year) - tz.std_offset,
                      rule_local_seconds(tz.end, year) - tz.dst_offset};
}

PosixTzState posix_tz_at(const PosixTz& tz, int64_t seconds) {
    PosixTzState const standard{tz.std_offset, false, tz.std_abbreviation};
    if (!tz.has_dst) return standard;
    int32_t const year = utc_civil_fields(seconds + tz.std_offset).year;
    DstChanges const changes = dst_changes(tz, year);
    // Southern zones start daylight saving time late in the year and end it
    // early in the next.
    bool const dst = changes.start < changes.end ? changes.start <= seconds && seconds < changes.end
                                                 : !(changes.end <= seconds && seconds < changes.start);
    return dst ? PosixTzState{tz.dst_offset, true, tz.dst_abbreviation} : standard;
}

}  // namespace epochsift
