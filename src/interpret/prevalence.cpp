#include "interpret/prevalence.hpp"

#include <algorithm>
#include <array>

namespace epochsift {

namespace {

// Sorted byte-wise, which keeps the list easy to read and to check.
constexpr std::array<std::string_view, 20> RARE_FAMILIES = {
    "active", "bcd",     "bitdate", "bitdec",    "dhcp6", "dttm",    "dvr",
    "excel1904", "gmsgid", "gsm",   "hfs",       "logtime", "mjd",   "moto",
    "nokiale", "ns40",   "ns40le",  "semioctet", "sony",  "symantec",
};
static_assert(std::is_sorted(RARE_FAMILIES.begin(), RARE_FAMILIES.end()));

}  // namespace

// The candidate order asks this on every tie, so the scan rejects on the
// length and the first byte before it compares whole identifiers.
double prevalence(std::string_view format_id) {
    if (format_id.empty()) return 1.0;
    for (std::string_view const rare : RARE_FAMILIES) {
        if (rare.size() == format_id.size() && rare.front() == format_id.front() && rare == format_id) return 0.5;
    }
    return 1.0;
}

}  // namespace epochsift
