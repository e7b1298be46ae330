// Web-server common log format date: [dd/Mon/YYYY:HH:MM:SS ±HHMM], the
// brackets optional and the fields not fixed-width.
#include "interpret/ascii_scan.hpp"
#include "interpret/identify.hpp"
#include "interpret/text_date_parsers.hpp"
#include "time/civil.hpp"

namespace epochsift {

std::optional<PosixNs> parse_clf(std::string_view text) {
    text = trim_white_space(text);
    while (!text.empty() && text.front() == '[') text.remove_prefix(1);
    while (!text.empty() && text.back() == ']') text.remove_suffix(1);
    text = trim_white_space(text);

    std::size_t const space = text.rfind(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view const date_time = text.substr(0, space);
    auto const offset = numeric_offset_secs(text.substr(space + 1));
    if (!offset) return std::nullopt;

    std::size_t const colon = date_time.find(':');
    if (colon == std::string_view::npos) return std::nullopt;

    Splitter date(date_time.substr(0, colon), '/');
    auto const day_piece = date.next();
    auto const month_piece = date.next();
    auto const year_piece = date.next();
    if (!year_piece || !date.done()) return std::nullopt;
    auto const day = signed_field8(*day_piece);
    auto const month = month_abbr(*month_piece);
    auto const year = signed_field16(*year_piece);

    Splitter time(date_time.substr(colon + 1), ':');
    auto const hour_piece = time.next();
    auto const minute_piece = time.next();
    auto const second_piece = time.next();
    if (!second_piece || !time.done()) return std::nullopt;
    auto const hour = signed_field8(*hour_piece);
    auto const minute = signed_field8(*minute_piece);
    auto const second = signed_field8(*second_piece);

    if (!day || !month || !year || !hour || !minute || !second) return std::nullopt;
    return civil_to_posix(*year, static_cast<int8_t>(*month), *day, *hour, *minute, *second, 0, *offset);
}

}  // namespace epochsift
