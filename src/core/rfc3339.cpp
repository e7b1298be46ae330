// PosixNs rendering: UTC, letter Z, fraction trimmed of trailing zeros.
#include <bit>
#include <cstring>

#include "core/civil.hpp"
#include "core/decimal_digits.hpp"
#include "core/instant.hpp"

namespace epochsift {

namespace {

std::size_t write_fields(char* out, int64_t whole, int64_t fraction);

// The eight digits of value (below 10^8), each a byte from 0 to 9, the
// first in the lowest byte: halves, pairs and digits split in the lanes of
// one word by multiplying by reciprocals (exact below each lane's bound).
uint64_t eight_digit_bytes(uint32_t value) {
    uint64_t const halves = value / 10'000 | uint64_t{value % 10'000} << 32;     // < 10000 a 32-bit lane
    uint64_t const hundreds = (halves * 10'486) >> 20 & 0x0000'007F'0000'007F;  // lane / 100
    uint64_t const pairs = hundreds | (halves - hundreds * 100) << 16;           // < 100 a 16-bit lane
    uint64_t const tens = (pairs * 103) >> 10 & 0x000F'000F'000F'000F;            // lane / 10
    return tens | (pairs - tens * 10) << 8;
}

// '.' and a fraction's nine digits (it is in (0, 10^9)), trailing zeros left out.
char* put_fraction(char* out, uint32_t fraction) {
    uint32_t const first = fraction / 100'000'000;
    uint64_t const rest = eight_digit_bytes(fraction % 100'000'000);
    // The last digits are the word's highest bytes: its zero bytes there.
    int const zeros = rest == 0 ? 8 : std::countl_zero(rest) / 8;
    uint64_t text = rest + 0x3030'3030'3030'3030;
    if constexpr (std::endian::native != std::endian::little) text = __builtin_bswap64(text);
    out[0] = '.';
    out[1] = static_cast<char>('0' + first);
    std::memcpy(out + 2, &text, 8);
    return out + 10 - zeros;
}

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
    if (fraction != 0) p = put_fraction(p, static_cast<uint32_t>(fraction));
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
