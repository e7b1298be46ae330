// Web-server common log format date: [dd/Mon/YYYY:HH:MM:SS ±HHMM], the
// brackets optional and the fields not fixed-width.
#include "core/ascii_scan.hpp"
#include "core/text_trim.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

std::optional<PosixNs> parse_clf(std::string_view text) {
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

    auto const date = split_three(date_time.substr(0, colon), '/');
    auto const time = split_three(date_time.substr(colon + 1), ':');
    if (!date || !time) return std::nullopt;
    auto const day = signed_field8((*date)[0]);
    auto const month = month_abbr((*date)[1]);
    auto const year = signed_field16((*date)[2]);
    auto const hour = signed_field8((*time)[0]);
    auto const minute = signed_field8((*time)[1]);
    auto const second = signed_field8((*time)[2]);

    if (!day || !month || !year || !hour || !minute || !second) return std::nullopt;
    return civil_to_posix({*year, *month, *day, *hour, *minute, *second, 0}, *offset);
}

}  // namespace epochsift
