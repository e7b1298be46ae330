// Civil date-times on the proleptic Gregorian calendar (POSIX scale: every
// day is 86 400 s, no leap seconds) and their conversion to instants.
#pragma once

#include <cstdint>
#include <optional>

#include "core/instant.hpp"

namespace epochsift {

struct CivilFields {
    int16_t year = 1970;  // -9999 to 9999; year 0 exists (-1 is 2 BC)
    uint8_t month = 1;    // 1 to 12
    uint8_t day = 1;      // 1 to the month's length
    uint8_t hour = 0;     // 0 to 23
    uint8_t minute = 0;   // 0 to 59
    uint8_t second = 0;   // 0 to 59

    friend constexpr bool operator==(const CivilFields&, const CivilFields&) = default;
};

constexpr bool is_leap_year(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int days_in_month(int64_t year, int month) {
    constexpr int LENGTHS[13] = {0,  // unused: months count from 1
                                 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : LENGTHS[month];
}

// Validates year (-9999..9999), month, day, hour, minute and second (no
// leap second). Returns the Unix seconds of the fields read as UTC, without
// the calendar-range check.
std::optional<int64_t> civil_to_unix_seconds(int64_t year, int64_t month, int64_t day, int64_t hour,
                                             int64_t minute, int64_t second);

// The one conversion of civil fields at a fixed UTC offset (seconds east of
// UTC, at most ±25:59:59) to an instant; nothing for any field out of range
// or an instant outside the calendar range.
std::optional<PosixNs> civil_to_posix(int16_t year, int8_t month, int8_t day, int8_t hour,
                                      int8_t minute, int8_t second, int32_t nanosecond,
                                      int64_t offset_seconds);

// UTC civil date-time of a whole Unix second; nothing outside the calendar
// range.
std::optional<CivilFields> civil_from_unix_seconds(int64_t seconds);

// The same without the range check, for seconds whose year fits 16 bits
// (the renderer needs the second just below the range's first).
CivilFields utc_civil_fields(int64_t seconds);

}  // namespace epochsift
