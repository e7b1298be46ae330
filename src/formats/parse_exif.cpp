// EXIF DateTime: YYYY:MM:DD HH:MM:SS with no offset, read as UTC. The
// fields are not fixed-width.
#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

std::optional<PosixNs> parse_exif(std::string_view text) {
    std::size_t const space = text.find(' ');
    if (space == std::string_view::npos) return std::nullopt;

    auto const date = split_three(text.substr(0, space), ':');
    // A second space stays in the time and fails its first piece.
    auto const time = split_three(text.substr(space + 1), ':');
    if (!date || !time) return std::nullopt;

    auto const year = signed_field16((*date)[0]);
    auto const month = signed_field8((*date)[1]);
    auto const day = signed_field8((*date)[2]);
    auto const hour = signed_field8((*time)[0]);
    auto const minute = signed_field8((*time)[1]);
    auto const second = signed_field8((*time)[2]);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    return civil_to_posix({*year, *month, *day, *hour, *minute, *second, 0});
}

}  // namespace epochsift
