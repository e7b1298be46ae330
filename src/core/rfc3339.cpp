// PosixNs rendering: UTC, letter Z, fraction trimmed of trailing zeros.
#include <cstring>

#include "core/civil.hpp"
#include "core/decimal_digits.hpp"
#include "core/instant.hpp"

namespace epochsift {

namespace {

std::size_t write_fields(char* out, int64_t whole, int64_t fraction);

}  // namespace

std::size_t PosixNs::write_civil_rfc3339(char* out) const {
    i128 const whole = floor_div(ns, NS_PER_SECOND);
    if (whole < MIN_CIVIL_SECOND || whole > MAX_CIVIL_SECOND) return 0;
    return write_fields(out, static_cast<int64_t>(whole), static_cast<int64_t>(ns - whole * NS_PER_SECOND));
}

std::size_t PosixNs::write_rfc3339(char* out) const {
    // Instants of the years 1677 to 2262 fit 64 bits and split with one
    // 64-bit division; only the rest need the 128-bit one.
    int64_t whole = 0;
    int64_t fraction = 0;
    if (ns >= INT64_MIN && ns <= INT64_MAX) {
        auto const ns64 = static_cast<int64_t>(ns);
        whole = ns64 / NS_PER_SECOND;  // toward zero
        fraction = ns64 - whole * NS_PER_SECOND;
    } else {
        i128 const whole128 = ns / NS_PER_SECOND;  // toward zero
        if (!in_calendar_range(whole128)) return 0;
        whole = static_cast<int64_t>(whole128);
        fraction = static_cast<int64_t>(ns - whole128 * NS_PER_SECOND);
    }
    if (!in_calendar_range(whole)) return 0;
    if (fraction < 0) {  // a negative instant belongs to the whole second below it
        whole -= 1;
        fraction += NS_PER_SECOND;
    }
    // The step above may leave the range by one second; that second is still
    // a civil date-time (-9999-01-02T01:59:58Z).
    return write_fields(out, whole, fraction);
}

namespace {

// whole seconds and a fraction in [0, 1e9) of a civil date-time.
std::size_t write_fields(char* out, int64_t whole, int64_t fraction) {
    CivilTime const c = utc_civil_fields(whole);
    CivilTime const* civil = &c;

    // The two-digit fields are below 100 and the year of a positive instant
    // below 10000: each pair is one table copy, with no division to find it.
    auto const pair = [](char* at, int32_t value) {
        std::memcpy(at, &DIGIT_PAIRS[2 * static_cast<std::size_t>(value)], 2);
        return at + 2;
    };
    char* p = out;
    if (civil->year < 0) {
        *p++ = '-';
        p = put_fixed_digits(p, static_cast<uint64_t>(-civil->year), 6);
    } else {
        p = pair(p, civil->year / 100);
        p = pair(p, civil->year % 100);
    }
    *p++ = '-';
    p = pair(p, civil->month);
    *p++ = '-';
    p = pair(p, civil->day);
    *p++ = 'T';
    p = pair(p, civil->hour);
    *p++ = ':';
    p = pair(p, civil->minute);
    *p++ = ':';
    p = pair(p, civil->second);
    if (fraction != 0) {
        *p++ = '.';
        char* const digits = p;
        p = put_fixed_digits(p, static_cast<uint64_t>(fraction), 9);
        while (p > digits && p[-1] == '0') --p;
    }
    *p++ = 'Z';
    return static_cast<std::size_t>(p - out);
}

}  // namespace

std::optional<std::string> PosixNs::to_rfc3339() const {
    char buffer[RFC3339_MAX_LEN];
    std::size_t const length = write_rfc3339(buffer);
    if (length == 0) return std::nullopt;
    return std::string(buffer, length);
}

}  // namespace epochsift
