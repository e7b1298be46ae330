// TZif, the tz database's compiled zone file (RFC 8536, versions 1 to 4):
// a header, a data block with 32-bit times, and from version 2 on a second
// header and data block with 64-bit times, then a footer holding a POSIX TZ
// rule string for instants after the last transition.
//
// Our own reader rather than a tz library: Debian's date-tz ships only as a
// shared library, which cannot be linked into the one-file module, and it
// ignores the footer, so it gives every instant after 2037 the last listed
// offset (New York in July 2055 would read EST).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/posix_tz.hpp"

namespace epochsift {

// Why a file is not a usable TZif file.
enum class TzifError : uint8_t {
    None,
    BadMagic,          // does not start with "TZif"
    Truncated,         // ends before the counts say it does
    BadCounts,         // no local time type, no abbreviation, or isstd/isut counts that fit nothing
    BadTransition,     // transition times not ascending, or a type index out of range
    BadLocalTimeType,  // an offset outside [-89999, 93599] s, is_dst not 0 or 1, or an abbreviation index out of range
    BadDesignation,    // an abbreviation not of 3 to 6 ASCII letters, digits, '+' and '-' (here or in the footer)
    BadLeapSecond,     // leap-second records out of order
    BadFooter,         // no newline-framed footer, or a rule string that does not parse
};

// RFC 8536 §3.2: a UT offset "MUST NOT be -2**31 and SHOULD be in the range
// [-89999, 93599] (i.e., its value SHOULD be more than -25 hours and less
// than 26 hours)". Both ends are enforced: a wall clock at such an offset
// stays printable across the whole calendar (core/instant.hpp).
inline constexpr int32_t MIN_UT_OFFSET = -89'999;
inline constexpr int32_t MAX_UT_OFFSET = 93'599;

// RFC 8536 §3.2: a time zone designation "SHOULD consist of at least three
// (3) and no more than six (6) ASCII characters from the set of
// alphanumerics, '-', and '+'". Enforced, so an abbreviation is safe to
// write to a terminal or into JSON as it is.
bool valid_designation(std::string_view abbreviation);

struct LocalTimeType {
    int32_t offset = 0;  // seconds east of UTC, within [MIN_UT_OFFSET, MAX_UT_OFFSET]
    bool is_dst = false;
    std::string abbreviation;
};

struct TzifZone {
    std::vector<int64_t> transitions;       // Unix seconds, ascending
    std::vector<uint8_t> transition_types;  // index into types, one per transition
    std::vector<LocalTimeType> types;       // at least one
    std::optional<PosixTz> footer;          // empty for version 1 and for an empty footer
};

struct TzifResult {
    std::optional<TzifZone> zone;
    TzifError error = TzifError::None;
};

// The zone in a file's bytes, or why they are not one. Leap-second records
// are applied to the transition times, which count them in "right/" zones.
TzifResult parse_tzif(std::span<const unsigned char> bytes);

}  // namespace epochsift
