// The Google ei= URL parameter: urlsafe base64 whose first four bytes are
// little-endian Unix seconds.
#include "formats/identifier_parsers.hpp"
#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

constexpr std::string_view EI_KEY = "ei=";
constexpr std::size_t TIME_CHARS = 6;  // 36 bits cover the four time bytes

}  // namespace

std::optional<PosixNs> parse_google_ei(std::string_view text) {
    std::size_t const key = text.find(EI_KEY);
    if (key == std::string_view::npos) return std::nullopt;  // a bare value is not read
    std::string_view value = text.substr(key + EI_KEY.size());
    value = value.substr(0, value.find(EI_KEY));
    value = value.substr(0, value.find_first_of("&#"));
    if (value.size() < TIME_CHARS) return std::nullopt;
    uint64_t bits = 0;
    for (std::size_t i = 0; i < TIME_CHARS; ++i) {
        int const v = base64url_value(value[i]);
        if (v < 0) return std::nullopt;
        bits = bits << 6 | static_cast<uint64_t>(v);
    }
    uint64_t const be = bits >> 4;  // the first four decoded bytes, b0 highest
    uint64_t const seconds = (be >> 24 & 0xFF) | (be >> 16 & 0xFF) << 8 | (be >> 8 & 0xFF) << 16 | (be & 0xFF) << 24;
    return PosixNs::from_seconds(static_cast<int64_t>(seconds));
}

}  // namespace epochsift
