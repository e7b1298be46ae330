// ISO 8601 ordinal dates (YYYY-DDD) and week dates (YYYY-Www-D), both read
// as midnight UTC.
#include <chrono>

#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// Four ASCII digits, or "+" and three (+024 is the year 24).
std::optional<int> four_byte_year(std::string_view text) {
    if (text.size() != 4) return std::nullopt;
    auto const value = fixed_digits(text.front() == '+' ? text.substr(1) : text);
    if (!value) return std::nullopt;
    return *value;
}

std::optional<PosixNs> midnight_utc(sys_days date) {
    year_month_day const ymd{date};
    int const year = static_cast<int>(ymd.year());
    return civil_to_posix(CivilTime{.year = year,
                                    .month = static_cast<int32_t>(static_cast<unsigned>(ymd.month())),
                                    .day = static_cast<int32_t>(static_cast<unsigned>(ymd.day())),
                                    .hour = 0,
                                    .minute = 0,
                                    .second = 0,
                                    .nanosecond = 0});
}

// Monday of ISO week 1: the week holding 4 January.
sys_days iso_week_one_monday(int year) {
    sys_days const jan4{std::chrono::year{year} / std::chrono::January / 4};
    return jan4 - days{std::chrono::weekday{jan4}.iso_encoding() - 1};
}

}  // namespace

std::optional<PosixNs> parse_iso_ordinal(std::string_view text) {
    if (text.size() != 8 || text.find('-') != 4) return std::nullopt;
    auto const year = four_byte_year(text.substr(0, 4));
    auto const day_of_year = fixed_digits(text.substr(5, 3));
    if (!year || !day_of_year) return std::nullopt;
    int const year_length = is_leap_year(*year) ? 366 : 365;
    if (*day_of_year < 1 || *day_of_year > year_length) return std::nullopt;
    sys_days const jan1{std::chrono::year{*year} / std::chrono::January / 1};
    return midnight_utc(jan1 + days{*day_of_year - 1});
}

std::optional<PosixNs> parse_iso_week(std::string_view text) {
    auto const pieces = split_three(text, '-');
    if (!pieces) return std::nullopt;
    auto const [year_piece, week_piece, weekday_piece] = *pieces;

    auto const year = four_byte_year(year_piece);
    if (!year || week_piece.size() < 2 || week_piece.front() != 'W') return std::nullopt;
    auto const week = signed_field8(week_piece.substr(1));  // W7, W07 and W007 alike
    auto const weekday = signed_field8(weekday_piece);
    if (!week || !weekday || *weekday < 1 || *weekday > 7) return std::nullopt;

    sys_days const first_monday = iso_week_one_monday(*year);
    // 52 or 53
    int const weeks_in_year = static_cast<int>((iso_week_one_monday(*year + 1) - first_monday).count() / 7);
    if (*week < 1 || *week > weeks_in_year) return std::nullopt;
    return midnight_utc(first_monday + days{(*week - 1) * 7 + (*weekday - 1)});
}

}  // namespace epochsift
