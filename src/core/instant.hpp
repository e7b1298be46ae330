// The instant type: a signed 128-bit count of nanoseconds since
// 1970-01-01T00:00:00Z, and its RFC 3339 rendering.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace epochsift {

using i128 = __int128;
using u128 = unsigned __int128;

inline constexpr int64_t NS_PER_SECOND = 1'000'000'000;
inline constexpr int64_t NS_PER_MS = 1'000'000;
inline constexpr int64_t NS_PER_DAY = 86'400 * NS_PER_SECOND;

// Whole seconds the calendar can show: -9999-01-02T01:59:59Z to
// 9999-12-30T22:00:00Z. The ends are a civil year range of ±9999 pulled in by
// the widest UTC offset (25:59:59), so every instant in range is printable at
// any offset.
inline constexpr int64_t MIN_CALENDAR_SECOND = -377'705'023'201;
inline constexpr int64_t MAX_CALENDAR_SECOND = 253'402'207'200;

// Whole seconds of the civil years -9999 to 9999, which a wall clock (an
// instant moved by its zone's offset) may reach.
inline constexpr int64_t MIN_CIVIL_SECOND = -377'705'116'800;  // -9999-01-01T00:00:00
inline constexpr int64_t MAX_CIVIL_SECOND = 253'402'300'799;   // 9999-12-31T23:59:59
// The calendar's ends are the civil ends pulled in by 25:59:59.
static_assert(MIN_CALENDAR_SECOND - MIN_CIVIL_SECOND == 93'599 && MAX_CIVIL_SECOND - MAX_CALENDAR_SECOND == 93'599);

// Longest rendering: "-009999-12-31T23:59:59.999999999Z".
inline constexpr std::size_t RFC3339_MAX_LEN = 33;

struct PosixNs {
    i128 ns = 0;

    friend constexpr bool operator==(PosixNs, PosixNs) = default;
    friend constexpr auto operator<=>(PosixNs a, PosixNs b) { return a.ns <=> b.ns; }

    static constexpr PosixNs from_seconds(int64_t seconds, int64_t nanos = 0) {
        return PosixNs{i128{seconds} * NS_PER_SECOND + nanos};
    }

    // UTC RFC 3339 text, or nothing outside the calendar range.
    std::optional<std::string> to_rfc3339() const;

    // The same text written into out (at least RFC3339_MAX_LEN bytes);
    // returns its length, 0 when the instant is outside the calendar range.
    std::size_t write_rfc3339(char* out) const;

    // RFC 3339 text of a wall-clock time (counted as if it were UTC), for
    // any second of the civil years -9999 to 9999; 0 outside them.
    std::size_t write_civil_rfc3339(char* out) const;

    // Whether write_rfc3339 writes a text: the second, taken toward zero,
    // lies in the calendar range.
    constexpr bool renders() const {
        return ns > i128{MIN_CALENDAR_SECOND - 1} * NS_PER_SECOND && ns < i128{MAX_CALENDAR_SECOND + 1} * NS_PER_SECOND;
    }
};

// The one calendar-range check: a whole second (Unix seconds) of the
// years -9999 to 9999.
constexpr bool in_calendar_range(i128 second) { return second >= MIN_CALENDAR_SECOND && second <= MAX_CALENDAR_SECOND; }
// The same on 64 bits, the width most callers hold a second in.
constexpr bool in_calendar_range(int64_t second) { return second >= MIN_CALENDAR_SECOND && second <= MAX_CALENDAR_SECOND; }

// Whether a 128-bit integer fits 64 bits.
constexpr bool fits_int64(i128 v) { return v >= INT64_MIN && v <= INT64_MAX; }

// The double nearest v, ties to even, as the 128-bit conversion rounds: a
// value that fits 64 bits converts in one instruction instead of a library
// call, to the same double.
constexpr double to_double(i128 v) {
    return fits_int64(v) ? static_cast<double>(static_cast<int64_t>(v)) : static_cast<double>(v);
}

// Overflow-checked 128-bit addition: false when the sum leaves 128 bits.
inline bool checked_add(i128 a, i128 b, i128& sum) { return !__builtin_add_overflow(a, b, &sum); }

// Floor division and remainder (remainder in [0, d) for d > 0).
// Operands that fit 64 bits divide there: the 128-bit division is a
// library call.
constexpr i128 floor_div(i128 n, i128 d) {
    if (fits_int64(n) && fits_int64(d) && d != -1) {
        auto const n64 = static_cast<int64_t>(n);
        auto const d64 = static_cast<int64_t>(d);
        int64_t const q = n64 / d64;
        return (n64 % d64 != 0 && ((n64 < 0) != (d64 < 0))) ? q - 1 : q;
    }
    i128 q = n / d;
    return (n % d != 0 && ((n < 0) != (d < 0))) ? q - 1 : q;
}
constexpr i128 floor_mod(i128 n, i128 d) { return n - floor_div(n, d) * d; }

// Whether the instant's second, taken toward the past, lies in the calendar range.
constexpr bool in_calendar_range(PosixNs instant) { return in_calendar_range(floor_div(instant.ns, NS_PER_SECOND)); }

}  // namespace epochsift
