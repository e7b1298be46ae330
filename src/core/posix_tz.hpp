// The POSIX TZ rule string that ends a TZif file (RFC 8536 section 3.3):
//   std offset [dst [offset] [,start[/time],end[/time]]]
// with the RFC's extensions: <...> quoted names such as <+1030>, and rule
// times of -167 to 167 hours. It gives local time after a zone's last
// listed transition.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace epochsift {

// How a rule names its day of the year.
enum class TzRuleDay : uint8_t {
    JulianNoLeap,    // Jn: day 1..365, 29 February never counted
    ZeroBased,       // n: day 0..365, 29 February counted
    MonthWeekDay,    // Mm.w.d: weekday d (0 Sunday) of week w (5 the last) of month m
};

struct TzRule {
    TzRuleDay kind = TzRuleDay::MonthWeekDay;
    int16_t day = 0;      // Jn and n forms
    int8_t month = 0;     // [1, 12]
    int8_t week = 0;      // [1, 5]
    int8_t weekday = 0;   // [0, 6]
    int32_t time = 7200;  // seconds after local midnight, [-167 h, 167 h]; 02:00 unless given
};

struct PosixTz {
    std::string std_abbreviation;
    int32_t std_offset = 0;  // seconds east of UTC (the string counts west)
    // Daylight saving time, when the string names it.
    bool has_dst = false;
    std::string dst_abbreviation;
    int32_t dst_offset = 0;  // one hour ahead of std unless given
    TzRule start;            // in standard time
    TzRule end;              // in daylight saving time
};

// The zone state a rule string gives for one instant.
struct PosixTzState {
    int32_t offset = 0;  // seconds east of UTC
    bool is_dst = false;
    std::string_view abbreviation;  // points into the PosixTz
};

// The rule string parsed; nothing when it is malformed. A daylight saving
// time without rules takes the US rules (M3.2.0,M11.1.0), as glibc does.
std::optional<PosixTz> parse_posix_tz(std::string_view text);

// The state at a Unix second.
PosixTzState posix_tz_at(const PosixTz& tz, int64_t seconds);

// The Unix seconds at which daylight saving time starts and ends in a year
// counted in standard time; the pair is meaningless without has_dst.
struct DstChanges {
    int64_t start = 0;
    int64_t end = 0;
};
DstChanges dst_changes(const PosixTz& tz, int32_t year);

}  // namespace epochsift
