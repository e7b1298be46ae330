// EXIF DateTime: YYYY:MM:DD HH:MM:SS with no offset, read as UTC. The
// fields are not fixed-width.
#include "interpret/ascii_scan.hpp"
#include "interpret/identify.hpp"
#include "interpret/text_date_parsers.hpp"
#include "time/civil.hpp"

namespace epochsift {

std::optional<PosixNs> parse_exif(std::string_view text) {
    text = trim_white_space(text);
    std::size_t const space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;

    Splitter date(text.substr(0, space), ':');
    auto const year_piece = date.next();
    auto const month_piece = date.next();
    auto const day_piece = date.next();
    if (!day_piece || !date.done()) return std::nullopt;

    // A second space stays in the time and fails its first piece.
    Splitter time(text.substr(space + 1), ':');
    auto const hour_piece = time.next();
    auto const minute_piece = time.next();
    auto const second_piece = time.next();
    if (!second_piece || !time.done()) return std::nullopt;

    auto const year = signed_field16(*year_piece);
    auto const month = signed_field8(*month_piece);
    auto const day = signed_field8(*day_piece);
    auto const hour = signed_field8(*hour_piece);
    auto const minute = signed_field8(*minute_piece);
    auto const second = signed_field8(*second_piece);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    return civil_to_posix(*year, *month, *day, *hour, *minute, *second, 0, 0);
}

}  // namespace epochsift
