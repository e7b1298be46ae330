// DMTF CIM datetime: yyyymmddHHMMSS.mmmmmm±UUU, 25 bytes, UUU the offset
// in minutes east of UTC or *** when unknown.
#include "core/ascii_scan.hpp"
#include "formats/text_date_parsers.hpp"
#include "core/civil.hpp"

namespace epochsift {

std::optional<PosixNs> parse_dmtf_cim(std::string_view text) {
    constexpr std::size_t CIM_LEN = 25;
    constexpr std::size_t SIGN_AT = 21;
    // Everything before the sign is digits and one dot, so the first sign in
    // a well-formed text is the one at SIGN_AT.
    if (text.size() != CIM_LEN || text.find_first_of("+-") != SIGN_AT) return std::nullopt;
    std::string_view const main = text.substr(0, 14);
    std::string_view const micros = text.substr(15, 6);
    std::string_view const minutes = text.substr(22, 3);
    if (!all_ascii_digits(main) || text[14] != '.' || !all_ascii_digits(micros)) return std::nullopt;

    int64_t offset = 0;
    if (minutes != "***") {  // *** is an unknown offset, read as UTC
        auto const value = fixed_digits(minutes);
        if (!value) return std::nullopt;
        offset = (text[SIGN_AT] == '-' ? -60 : 60) * int64_t{*value};
    }
    CivilTime const civil{.year = *fixed_digits(main.substr(0, 4)),
                          .month = two_digits_at(main, 4),
                          .day = two_digits_at(main, 6),
                          .hour = two_digits_at(main, 8),
                          .minute = two_digits_at(main, 10),
                          .second = two_digits_at(main, 12),
                          .nanosecond = frac_to_nanos(micros)};
    return civil_to_posix(civil, offset);
}

}  // namespace epochsift
