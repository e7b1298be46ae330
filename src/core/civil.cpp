#include "core/civil.hpp"

#include <chrono>

namespace epochsift {

namespace {

constexpr int64_t SECONDS_PER_DAY = 86'400;

}  // namespace

std::optional<int64_t> unix_seconds(const CivilTime& civil) {
    if (!civil.ok()) return std::nullopt;
    using namespace std::chrono;
    auto const date = year_month_day{std::chrono::year{civil.year},
                                     std::chrono::month{static_cast<unsigned>(civil.month)},
                                     std::chrono::day{static_cast<unsigned>(civil.day)}};
    int64_t const days = sys_days{date}.time_since_epoch().count();
    return days * SECONDS_PER_DAY + int64_t{civil.hour} * 3600 + int64_t{civil.minute} * 60 + civil.second;
}

std::optional<PosixNs> civil_to_posix(const CivilTime& civil, int64_t offset_seconds) {
    auto const local = unix_seconds(civil);
    if (!local || offset_seconds < -MAX_OFFSET_SECONDS || offset_seconds > MAX_OFFSET_SECONDS) return std::nullopt;
    int64_t const utc = *local - offset_seconds;  // +01:00 is an hour ahead of UTC
    if (!in_calendar_range(utc)) return std::nullopt;
    return PosixNs::from_seconds(utc, civil.nanosecond);
}

std::optional<CivilTime> civil_from_unix_seconds(int64_t seconds) {
    if (!in_calendar_range(seconds)) return std::nullopt;
    return utc_civil_fields(seconds);
}

CivilTime utc_civil_fields(int64_t seconds) {
    using namespace std::chrono;
    // Floor division in 64 bits: the 128-bit helper costs a library call.
    int64_t const days = seconds >= 0 ? seconds / SECONDS_PER_DAY : -((-seconds - 1) / SECONDS_PER_DAY) - 1;
    // [0, 86399]: 32 bits divide by the constants in fewer steps.
    auto const second_of_day = static_cast<uint32_t>(seconds - days * SECONDS_PER_DAY);
    year_month_day const date{sys_days{std::chrono::days{days}}};
    return CivilTime{
        .year = static_cast<int>(date.year()),
        .month = static_cast<int32_t>(static_cast<unsigned>(date.month())),
        .day = static_cast<int32_t>(static_cast<unsigned>(date.day())),
        .hour = static_cast<int32_t>(second_of_day / 3600),
        .minute = static_cast<int32_t>(second_of_day / 60 % 60),
        .second = static_cast<int32_t>(second_of_day % 60),
        .nanosecond = 0,
    };
}

}  // namespace epochsift
