#include "engine/prevalence.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

namespace epochsift {

namespace {

// Sorted byte-wise, which keeps the list easy to read and to check.
constexpr std::array<std::string_view, 20> RARE_FAMILIES = {
    "active", "bcd",     "bitdate", "bitdec",    "dhcp6", "dttm",    "dvr",
    "excel1904", "gmsgid", "gsm",   "hfs",       "logtime", "mjd",   "moto",
    "nokiale", "ns40",   "ns40le",  "semioctet", "sony",  "symantec",
};
static_assert(std::is_sorted(RARE_FAMILIES.begin(), RARE_FAMILIES.end()));

// The entries [first, last) of RARE_FAMILIES that begin with a byte: sorted,
// so they sit together.
struct FirstByteRange {
    uint8_t first = 0;
    uint8_t last = 0;
};
constexpr std::array<FirstByteRange, 256> BY_FIRST_BYTE = [] {
    std::array<FirstByteRange, 256> ranges{};
    for (std::size_t i = RARE_FAMILIES.size(); i-- > 0;) {
        FirstByteRange& range = ranges[static_cast<unsigned char>(RARE_FAMILIES[i].front())];
        if (range.last == 0) range.last = static_cast<uint8_t>(i + 1);
        range.first = static_cast<uint8_t>(i);
    }
    return ranges;
}();

}  // namespace

// The candidate order asks this on every tie: only the identifiers that
// share the first byte are compared.
double prevalence(std::string_view format_id) {
    if (format_id.empty()) return 1.0;
    FirstByteRange const range = BY_FIRST_BYTE[static_cast<unsigned char>(format_id.front())];
    for (std::size_t i = range.first; i < range.last; ++i) {
        if (RARE_FAMILIES[i] == format_id) return 0.5;
    }
    return 1.0;
}

}  // namespace epochsift
