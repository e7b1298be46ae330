#include "formats/form_writers.hpp"

#include <array>
#include <string_view>

#include "core/civil.hpp"
#include "core/decimal_digits.hpp"
#include "formats/text_date_parsers.hpp"

namespace epochsift {

namespace {

constexpr int64_t NS_PER_TICK = 100;
constexpr i128 GREGORIAN_TO_UNIX_NS = i128{12'219'292'800} * NS_PER_SECOND;  // 1582-10-15 to 1970-01-01
constexpr std::string_view HEX = "0123456789abcdef";
constexpr std::string_view CROCKFORD = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr std::string_view BASE64URL = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The UTC fields of the whole second at or below an instant, the nanoseconds
// past it, and the day count since 1970 (for weekdays and ordinals).
struct Split {
    CivilTime civil;
    int64_t nanos;  // [0, 1e9)
    int64_t days;   // floor(seconds / 86 400)
};

std::optional<Split> split(PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (!in_calendar_range(seconds)) return std::nullopt;
    auto const civil = civil_from_unix_seconds(static_cast<int64_t>(seconds));
    if (!civil) return std::nullopt;
    return Split{*civil, static_cast<int64_t>(instant.ns - seconds * NS_PER_SECOND),
                 static_cast<int64_t>(floor_div(seconds, 86'400))};
}

// Forms with four year digits hold years 0 to 9999.
std::optional<Split> split_four_digit_year(PosixNs instant) {
    auto const s = split(instant);
    if (!s || s->civil.year < 0 || s->civil.year > 9999) return std::nullopt;
    return s;
}

// At least width digits, zero-padded; value >= 0.
void put_digits(std::string& out, int64_t value, int width) {
    char buffer[20];
    char* const end = buffer + sizeof buffer;
    char const* const start = put_digits_before(end, static_cast<uint64_t>(value));
    for (auto n = end - start; n < width; ++n) out += '0';
    out.append(start, static_cast<std::size_t>(end - start));
}

// A month or weekday abbreviation as the forms write it: "Jan", "Mon".
void put_abbr(std::string& out, std::string_view lower) {
    out += static_cast<char>(lower[0] - 'a' + 'A');
    out += lower.substr(1);
}

// HH:MM:SS
void put_clock(std::string& out, const CivilTime& c) {
    put_digits(out, c.hour, 2);
    out += ':';
    put_digits(out, c.minute, 2);
    out += ':';
    put_digits(out, c.second, 2);
}

void put_hex(std::string& out, uint64_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += HEX[value >> shift & 0xF];
}

// YYYYMMDDHHMMSS, the compact date and time several forms share.
void put_compact(std::string& out, const CivilTime& c) {
    put_digits(out, c.year, 4);
    for (int field : {c.month, c.day, c.hour, c.minute, c.second}) put_digits(out, field, 2);
}

// Ticks of 100 ns since 1582-10-15, below 2^60.
std::optional<uint64_t> gregorian_ticks(PosixNs instant) {
    i128 const ticks = floor_div(instant.ns + GREGORIAN_TO_UNIX_NS, NS_PER_TICK);
    if (ticks < 0 || ticks >= i128{1} << 60) return std::nullopt;
    return static_cast<uint64_t>(ticks);
}

// Unix milliseconds in 48 bits.
std::optional<uint64_t> unix_ms48(PosixNs instant) {
    i128 const ms = floor_div(instant.ns, NS_PER_MS);
    if (ms < 0 || ms >= i128{1} << 48) return std::nullopt;
    return static_cast<uint64_t>(ms);
}

// Unix seconds in 32 unsigned bits.
std::optional<uint32_t> unix_seconds32(PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (seconds < 0 || seconds > 0xFFFF'FFFF) return std::nullopt;
    return static_cast<uint32_t>(seconds);
}

// 8-4-4-4-12 with the RFC 9562 variant bits and a zero clock sequence and node.
std::string uuid_text(uint64_t a, uint64_t b, uint64_t c) {
    std::string out;
    put_hex(out, a, 8);
    out += '-';
    put_hex(out, b, 4);
    out += '-';
    put_hex(out, c, 4);
    out += "-8000-000000000000";
    return out;
}

void put_base64url(std::string& out, std::string_view bytes) {
    uint32_t bits = 0;
    int pending = 0;
    for (char const byte : bytes) {
        bits = bits << 8 | static_cast<unsigned char>(byte);
        pending += 8;
        while (pending >= 6) {
            pending -= 6;
            out += BASE64URL[bits >> pending & 0x3F];
        }
        bits &= (1u << pending) - 1;
    }
    if (pending > 0) out += BASE64URL[bits << (6 - pending) & 0x3F];
}

// An unsigned token ({"alg":"none"}) whose payload holds one claim.
std::optional<std::string> jwt_with(std::string_view claim, PosixNs instant) {
    i128 const seconds = floor_div(instant.ns, NS_PER_SECOND);
    if (seconds <= INT64_MIN || seconds > INT64_MAX) return std::nullopt;  // the claim is a signed 64-bit integer
    std::string payload = "{\"";
    payload += claim;
    payload += "\":";
    if (seconds < 0) payload += '-';
    put_digits(payload, static_cast<int64_t>(seconds < 0 ? -seconds : seconds), 1);
    payload += '}';
    std::string out;
    put_base64url(out, "{\"alg\":\"none\"}");
    out += '.';
    put_base64url(out, payload);
    out += '.';
    return out;
}

// ISO 8601 week-numbering year, week and weekday (1 = Monday) of a day.
struct WeekDate {
    int64_t year;
    int64_t week;
    int64_t weekday;
};

int64_t days_of_year_start(int64_t year) { return *unix_seconds(CivilTime{.year = static_cast<int32_t>(year)}) / 86'400; }

WeekDate week_date(int64_t days, int64_t year) {
    int64_t const weekday = iso_weekday(days);
    int64_t const thursday = days - weekday + 4;  // the week belongs to its Thursday's year
    int64_t week_year = year;
    if (thursday < days_of_year_start(year)) week_year = year - 1;
    else if (year < 9999 && thursday >= days_of_year_start(year + 1)) week_year = year + 1;
    return {week_year, (thursday - days_of_year_start(week_year)) / 7 + 1, weekday};
}

}  // namespace

std::optional<std::string> write_iso8601(PosixNs instant) { return instant.to_rfc3339(); }

// YYYYMMDDHHMMSS[.fff]Z: the fraction without trailing zeros.
std::optional<std::string> write_generalized_time(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    std::string out;
    put_compact(out, s->civil);
    if (s->nanos != 0) {
        int64_t nanos = s->nanos;
        int width = 9;
        while (nanos % 10 == 0) {
            nanos /= 10;
            --width;
        }
        out += '.';
        put_digits(out, nanos, width);
    }
    out += 'Z';
    return out;
}

// YYMMDDHHMMSSZ for 1950 to 2049 (the RFC 5280 pivot).
std::optional<std::string> write_utc_time(PosixNs instant) {
    auto const s = split(instant);
    if (!s || s->civil.year < 1950 || s->civil.year > 2049) return std::nullopt;
    std::string out;
    put_compact(out, s->civil);
    out.erase(0, 2);
    out += 'Z';
    return out;
}

std::optional<std::string> write_jwt_iat(PosixNs instant) { return jwt_with("iat", instant); }
std::optional<std::string> write_jwt_exp(PosixNs instant) { return jwt_with("exp", instant); }
std::optional<std::string> write_jwt_nbf(PosixNs instant) { return jwt_with("nbf", instant); }

// Ten symbols of milliseconds, then sixteen zero symbols of randomness.
std::optional<std::string> write_ulid(PosixNs instant) {
    auto const ms = unix_ms48(instant);
    if (!ms) return std::nullopt;
    std::string out;
    for (int shift = 45; shift >= 0; shift -= 5) out += CROCKFORD[*ms >> shift & 0x1F];
    out.append(16, '0');
    return out;
}

std::optional<std::string> write_uuid_v1(PosixNs instant) {
    auto const t = gregorian_ticks(instant);
    if (!t) return std::nullopt;
    return uuid_text(*t & 0xFFFF'FFFF, *t >> 32 & 0xFFFF, 0x1000 | *t >> 48);
}

std::optional<std::string> write_uuid_v6(PosixNs instant) {
    auto const t = gregorian_ticks(instant);
    if (!t) return std::nullopt;
    return uuid_text(*t >> 28, *t >> 12 & 0xFFFF, 0x6000 | (*t & 0xFFF));
}

std::optional<std::string> write_uuid_v7(PosixNs instant) {
    auto const ms = unix_ms48(instant);
    if (!ms) return std::nullopt;
    return uuid_text(*ms >> 16, *ms & 0xFFFF, 0x7000);
}

// Eight hex digits of seconds, then zero machine, process and counter.
std::optional<std::string> write_objectid(PosixNs instant) {
    auto const seconds = unix_seconds32(instant);
    if (!seconds) return std::nullopt;
    std::string out;
    put_hex(out, *seconds, 8);
    out.append(16, '0');
    return out;
}

// "ei=" and the four little-endian bytes of seconds in base64url.
std::optional<std::string> write_google_ei(PosixNs instant) {
    auto const seconds = unix_seconds32(instant);
    if (!seconds) return std::nullopt;
    char const bytes[4] = {static_cast<char>(*seconds & 0xFF), static_cast<char>(*seconds >> 8 & 0xFF),
                           static_cast<char>(*seconds >> 16 & 0xFF), static_cast<char>(*seconds >> 24)};
    std::string out = "ei=";
    put_base64url(out, std::string_view(bytes, 4));
    return out;
}

// dd/Mon/YYYY:HH:MM:SS +0000
std::optional<std::string> write_clf(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    auto const& c = s->civil;
    std::string out;
    put_digits(out, c.day, 2);
    out += '/';
    put_abbr(out, MONTH_ABBRS[c.month - 1]);
    out += '/';
    put_digits(out, c.year, 4);
    out += ':';
    put_clock(out, c);
    out += " +0000";
    return out;
}

// D:YYYYMMDDHHmmSSZ
std::optional<std::string> write_pdf_date(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    std::string out = "D:";
    put_compact(out, s->civil);
    out += 'Z';
    return out;
}

// yyyymmddHHMMSS.mmmmmm+000
std::optional<std::string> write_dmtf_cim(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    std::string out;
    put_compact(out, s->civil);
    out += '.';
    put_digits(out, s->nanos / 1'000, 6);
    out += "+000";
    return out;
}

// Thu, 01 Jan 1970 00:00:00 +0000
std::optional<std::string> write_rfc2822(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    auto const& c = s->civil;
    std::string out;
    put_abbr(out, DAY_ABBRS[iso_weekday(s->days) - 1]);
    out += ", ";
    put_digits(out, c.day, 2);
    out += ' ';
    put_abbr(out, MONTH_ABBRS[c.month - 1]);
    out += ' ';
    put_digits(out, c.year, 4);
    out += ' ';
    put_clock(out, c);
    out += " +0000";
    return out;
}

// YYYY:MM:DD HH:MM:SS, the UTC wall clock.
std::optional<std::string> write_exif(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    auto const& c = s->civil;
    std::string out;
    put_digits(out, c.year, 4);
    out += ':';
    put_digits(out, c.month, 2);
    out += ':';
    put_digits(out, c.day, 2);
    out += ' ';
    put_clock(out, c);
    return out;
}

// YYYY-DDD
std::optional<std::string> write_iso_ordinal(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    std::string out;
    put_digits(out, s->civil.year, 4);
    out += '-';
    put_digits(out, s->days - days_of_year_start(s->civil.year) + 1, 3);
    return out;
}

// YYYY-Www-D
std::optional<std::string> write_iso_week(PosixNs instant) {
    auto const s = split_four_digit_year(instant);
    if (!s) return std::nullopt;
    WeekDate const w = week_date(s->days, s->civil.year);
    if (w.year < 0 || w.year > 9999) return std::nullopt;
    std::string out;
    put_digits(out, w.year, 4);
    out += "-W";
    put_digits(out, w.week, 2);
    out += '-';
    put_digits(out, w.weekday, 1);
    return out;
}

}  // namespace epochsift
