// TAI − UTC since 1972 (IERS Bulletin C; the leap-seconds.list published by
// IETF/IANA). Atomic scales (TAI, GPS, TAI64) need it to reach UTC; the
// table ends with the leap second of 2016-12-31, the last one announced.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace epochsift {

struct LeapStep {
    int64_t utc_second;  // Unix second at which the new difference starts
    int32_t tai_minus_utc;
};

inline constexpr std::array<LeapStep, 28> LEAP_STEPS = {{
    {63072000, 10},   {78796800, 11},   {94694400, 12},   {126230400, 13},  {157766400, 14},
    {189302400, 15},  {220924800, 16},  {252460800, 17},  {283996800, 18},  {315532800, 19},
    {362793600, 20},  {394329600, 21},  {425865600, 22},  {489024000, 23},  {567993600, 24},
    {631152000, 25},  {662688000, 26},  {709948800, 27},  {741484800, 28},  {773020800, 29},
    {820454400, 30},  {867715200, 31},  {915148800, 32},  {1136073600, 33}, {1230768000, 34},
    {1341100800, 35}, {1435708800, 36}, {1483228800, 37},
}};

namespace leap_seconds_detail {
consteval bool ascending_by_one() {
    for (std::size_t i = 1; i < LEAP_STEPS.size(); ++i) {
        if (LEAP_STEPS[i].utc_second <= LEAP_STEPS[i - 1].utc_second) return false;
        if (LEAP_STEPS[i].tai_minus_utc != LEAP_STEPS[i - 1].tai_minus_utc + 1) return false;
        if (LEAP_STEPS[i].utc_second % 86'400 != 0) return false;  // steps fall at midnight UTC
    }
    return true;
}
static_assert(ascending_by_one());
}  // namespace leap_seconds_detail

// TAI − UTC in whole seconds at a TAI count of seconds since
// 1970-01-01T00:00:00 TAI; 10 before 1972 (the 1972 value carried back, as
// TAI64 readers do). A TAI second inside a leap second maps to the second
// after it.
// The steps ascend: the last one passed is found from the end, where most
// counts read (the latest step is of 2017).
constexpr int64_t tai_minus_utc_at_tai(int64_t tai_second) {
    for (std::size_t i = LEAP_STEPS.size(); i > 0; --i) {
        LeapStep const& step = LEAP_STEPS[i - 1];
        if (tai_second >= step.utc_second + step.tai_minus_utc) return step.tai_minus_utc;
    }
    return 10;
}

// TAI − UTC in whole seconds at a Unix (UTC) second; 10 before 1972. The
// inverse of tai_minus_utc_at_tai: u + tai_minus_utc_at_utc(u) reads back as u.
constexpr int64_t tai_minus_utc_at_utc(int64_t utc_second) {
    for (std::size_t i = LEAP_STEPS.size(); i > 0; --i) {
        if (utc_second >= LEAP_STEPS[i - 1].utc_second) return LEAP_STEPS[i - 1].tai_minus_utc;
    }
    return 10;
}

namespace leap_seconds_detail {
// Both sides of the 2016-12-31 leap second, and the inverse across it.
static_assert(tai_minus_utc_at_utc(1483228799) == 36 && tai_minus_utc_at_utc(1483228800) == 37);
static_assert(tai_minus_utc_at_tai(1483228800 + 37) == 37 && tai_minus_utc_at_tai(1483228799 + 36) == 36);
}  // namespace leap_seconds_detail

}  // namespace epochsift
