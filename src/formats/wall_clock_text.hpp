// Date-time text that names no offset (wall-clock time, read as UTC) or
// names it in a way ISO 8601 does not: ISO dates without an offset, git's
// "%ci", ctime and date(1), JavaScript's Date.prototype.toString, syslog.
#pragma once

#include <optional>
#include <string_view>

#include "formats/string_forms.hpp"

namespace epochsift {

// YYYY-MM-DD, then optionally ("T" / "t" / " ") hh:mm[:ss[(. / ,)fraction]],
// and nothing after: zone_unstated always.
std::optional<FormInstant> parse_iso_wall_clock(std::string_view text);

// YYYY-MM-DD hh:mm:ss[.fraction] ±hhmm (git log --format=%ci, Ruby
// Time#to_s, stat(1) %y).
std::optional<FormInstant> parse_iso_space_offset(std::string_view text);

// Www Mmm _d hh:mm:ss YYYY (C asctime/ctime) and Www Mmm _d hh:mm:ss ZONE YYYY
// (date(1) in the C locale). UTC and the names RFC 5322 gives offsets (GMT,
// EST, PDT, ...) are read as stated, and so are tzdata's numeric names
// ("-03", "+0530"); any other abbreviation is not interpreted and the time is
// read as wall-clock time.
std::optional<FormInstant> parse_ctime(std::string_view text);

// Www Mmm dd YYYY hh:mm:ss GMT±hhmm [(zone name)] (ECMA-262 §21.4.4.41).
std::optional<FormInstant> parse_js_date_string(std::string_view text);

// Mmm _d hh:mm:ss (RFC 3164 TIMESTAMP): no year. Read only with a window
// that admits exactly one year's instance of the date; the instant must lie
// in [window_start, window_end).
std::optional<FormInstant> parse_syslog(std::string_view text, PosixNs window_start, PosixNs window_end);

}  // namespace epochsift
