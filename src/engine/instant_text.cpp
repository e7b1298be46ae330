#include "engine/instant_text.hpp"

#include "core/ascii_scan.hpp"
#include "formats/iso8601.hpp"

namespace epochsift {

namespace {

// An optional sign and up to 30 digits: more than the calendar's 4e20 ns.
std::optional<i128> integer_ns(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 30 || !all_ascii_digits(text)) return std::nullopt;
    i128 value = 0;
    for (char const c : text) value = value * 10 + (c - '0');
    return negative ? -value : value;
}

}  // namespace

std::optional<PosixNs> parse_instant(std::string_view text) {
    std::optional<PosixNs> instant;
    if (auto const ns = integer_ns(text)) instant = PosixNs{*ns};
    else instant = parse_iso8601(text);
    if (!instant || !in_calendar_range(*instant)) return std::nullopt;
    return instant;
}

}  // namespace epochsift
