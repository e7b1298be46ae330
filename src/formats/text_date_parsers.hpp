// Textual date-time notations from logs, documents and system records, and
// the small readers they share.
#pragma once

#include <array>

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

std::optional<PosixNs> parse_clf(std::string_view text);
std::optional<PosixNs> parse_pdf_date(std::string_view text);
std::optional<PosixNs> parse_dmtf_cim(std::string_view text);
std::optional<PosixNs> parse_rfc2822(std::string_view text);
std::optional<PosixNs> parse_exif(std::string_view text);
std::optional<PosixNs> parse_iso_ordinal(std::string_view text);
std::optional<PosixNs> parse_iso_week(std::string_view text);

// Month and weekday abbreviations, lower case; readers compare in any case,
// writers capitalise the first letter.
inline constexpr std::array<std::string_view, 12> MONTH_ABBRS = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
inline constexpr std::array<std::string_view, 7> DAY_ABBRS = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

// "jan" to "dec", ASCII letters in any case: 1 to 12.
std::optional<int> month_abbr(std::string_view text);
// "mon" to "sun", ASCII letters in any case: the ISO weekday, 1 to 7.
std::optional<int> day_abbr(std::string_view text);
// Up to nine fraction digits, right-padded: "5" is 500000000; 0 on failure.
int32_t frac_to_nanos(std::string_view digits);
// "+HHMM" or "-HHMM" in seconds east of UTC; the fields are not range-checked.
std::optional<int64_t> numeric_offset_secs(std::string_view text);

// UTC and the zone names RFC 5322 §4.3 gives offsets (UT, GMT, the US
// names), any case, in seconds east of UTC; other names have no reliable
// offset.
std::optional<int64_t> named_zone_offset_secs(std::string_view name);

// An optional sign then ASCII digits, fitting the given width.
std::optional<int16_t> signed_field16(std::string_view text);
std::optional<int8_t> signed_field8(std::string_view text);

}  // namespace epochsift
