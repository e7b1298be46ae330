// Civil date-times on the proleptic Gregorian calendar (POSIX scale: every
// day is 86 400 s, no leap seconds) and their conversion to instants.
#pragma once

#include <cstdint>
#include <optional>

#include "core/instant.hpp"

namespace epochsift {

constexpr bool is_leap_year(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// ISO weekday, 1 (Monday) to 7 (Sunday), of a day counted from 1970-01-01,
// which was a Thursday.
constexpr int iso_weekday(int64_t days_since_1970) { return static_cast<int>(floor_mod(days_since_1970 + 3, 7)) + 1; }

constexpr int days_in_month(int64_t year, int month) {
    constexpr int LENGTHS[13] = {0,  // unused: months count from 1
                                 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : LENGTHS[month];
}

// A date-time field by field, as a text or a packed layout holds it. Fields
// are wide enough for any value a reader finds; ok() says whether they name
// a date-time.
struct CivilTime {
    int32_t year = 1970;     // [-9999, 9999]; year 0 exists (-1 is 2 BC)
    int32_t month = 1;       // [1, 12]
    int32_t day = 1;         // [1, the month's length]
    int32_t hour = 0;        // [0, 23]
    int32_t minute = 0;      // [0, 59]
    int32_t second = 0;      // [0, 59]: no leap second
    int32_t nanosecond = 0;  // [0, 999 999 999]

    // The one validity check of civil fields.
    constexpr bool ok() const {
        return year >= -9999 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
               day <= days_in_month(year, month) && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
               second >= 0 && second <= 59 && nanosecond >= 0 && nanosecond < NS_PER_SECOND;
    }

    friend constexpr bool operator==(const CivilTime&, const CivilTime&) = default;
};

// The widest UTC offset a reader accepts: ±25:59:59.
inline constexpr int64_t MAX_OFFSET_SECONDS = 93'599;

// The Unix seconds of the fields read as UTC (the nanosecond ignored), or
// nothing unless ok(); no calendar-range check.
std::optional<int64_t> unix_seconds(const CivilTime& civil);

// The one conversion of civil fields at a fixed UTC offset (seconds east of
// UTC) to an instant; nothing unless ok(), for an offset beyond
// MAX_OFFSET_SECONDS or an instant outside the calendar range.
std::optional<PosixNs> civil_to_posix(const CivilTime& civil, int64_t offset_seconds = 0);

// UTC civil date-time of a whole Unix second; nothing outside the calendar
// range.
std::optional<CivilTime> civil_from_unix_seconds(int64_t seconds);

// The same without the range check, for seconds whose year fits 16 bits
// (the renderer needs the second just below the range's first).
CivilTime utc_civil_fields(int64_t seconds);

}  // namespace epochsift
