// MongoDB ObjectId: 24 hex digits, the first eight big-endian Unix seconds.
#include "core/ascii_scan.hpp"
#include "formats/identifier_parsers.hpp"

namespace epochsift {

std::optional<PosixNs> parse_objectid(std::string_view text) {
    constexpr std::size_t OBJECTID_HEX_DIGITS = 24;
    if (text.size() != OBJECTID_HEX_DIGITS) return std::nullopt;
    auto const seconds = hex_number(text.substr(0, 8));
    // The machine, process and counter digits are not read, only checked.
    if (!seconds || !hex_number(text.substr(8, 16))) return std::nullopt;
    return PosixNs::from_seconds(static_cast<int64_t>(*seconds));
}

}  // namespace epochsift
