#include "core/civil.hpp"

#include <chrono>

namespace epochsift {

namespace {

constexpr int64_t SECONDS_PER_DAY = 86'400;
constexpr int64_t MAX_OFFSET_SECONDS = 93'599;  // ±25:59:59

}  // namespace

std::optional<int64_t> civil_to_unix_seconds(int64_t year, int64_t month, int64_t day, int64_t hour,
                                             int64_t minute, int64_t second) {
    if (year < -9999 || year > 9999) return std::nullopt;
    if (month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > days_in_month(year, static_cast<int>(month))) return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    using namespace std::chrono;
    auto const date = year_month_day{std::chrono::year{static_cast<int>(year)},
                                     std::chrono::month{static_cast<unsigned>(month)},
                                     std::chrono::day{static_cast<unsigned>(day)}};
    int64_t const days = sys_days{date}.time_since_epoch().count();
    return days * SECONDS_PER_DAY + hour * 3600 + minute * 60 + second;
}

std::optional<PosixNs> civil_to_posix(int16_t year, int8_t month, int8_t day, int8_t hour,
                                      int8_t minute, int8_t second, int32_t nanosecond,
                                      int64_t offset_seconds) {
    auto const local = civil_to_unix_seconds(year, month, day, hour, minute, second);
    if (!local) return std::nullopt;
    if (nanosecond < 0 || nanosecond >= NS_PER_SECOND) return std::nullopt;
    if (offset_seconds < -MAX_OFFSET_SECONDS || offset_seconds > MAX_OFFSET_SECONDS) {
        return std::nullopt;
    }
    int64_t const utc = *local - offset_seconds;  // +01:00 is an hour ahead of UTC
    if (utc < MIN_CALENDAR_SECOND || utc > MAX_CALENDAR_SECOND) return std::nullopt;
    return PosixNs::from_seconds(utc, nanosecond);
}

std::optional<CivilFields> civil_from_unix_seconds(int64_t seconds) {
    if (seconds < MIN_CALENDAR_SECOND || seconds > MAX_CALENDAR_SECOND) return std::nullopt;
    return utc_civil_fields(seconds);
}

CivilFields utc_civil_fields(int64_t seconds) {
    using namespace std::chrono;
    // Floor division in 64 bits: the 128-bit helper costs a library call.
    int64_t const days = seconds >= 0 ? seconds / SECONDS_PER_DAY : -((-seconds - 1) / SECONDS_PER_DAY) - 1;
    int64_t const second_of_day = seconds - days * SECONDS_PER_DAY;  // [0, 86399]
    year_month_day const date{sys_days{std::chrono::days{days}}};
    return CivilFields{
        .year = static_cast<int16_t>(static_cast<int>(date.year())),
        .month = static_cast<uint8_t>(static_cast<unsigned>(date.month())),
        .day = static_cast<uint8_t>(static_cast<unsigned>(date.day())),
        .hour = static_cast<uint8_t>(second_of_day / 3600),
        .minute = static_cast<uint8_t>(second_of_day / 60 % 60),
        .second = static_cast<uint8_t>(second_of_day % 60),
    };
}

}  // namespace epochsift
