#include "interpret/prevalence.hpp"

#include <algorithm>
#include <array>

namespace epochsift {

namespace {

// Sorted byte-wise so the lookup can bisect.
constexpr std::array<std::string_view, 20> RARE_FAMILIES = {
    "active", "bcd",     "bitdate", "bitdec",    "dhcp6", "dttm",    "dvr",
    "excel1904", "gmsgid", "gsm",   "hfs",       "logtime", "mjd",   "moto",
    "nokiale", "ns40",   "ns40le",  "semioctet", "sony",  "symantec",
};
static_assert(std::is_sorted(RARE_FAMILIES.begin(), RARE_FAMILIES.end()));

}  // namespace

double prevalence(std::string_view format_id) {
    return std::binary_search(RARE_FAMILIES.begin(), RARE_FAMILIES.end(), format_id) ? 0.5 : 1.0;
}

}  // namespace epochsift
