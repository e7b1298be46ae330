// The readable form of one value's readings: a title line, then one row a
// reading (rank, score, label, rendered instant, flags) in aligned columns.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift::cli {

inline constexpr std::size_t DEFAULT_TOP = 10;
inline constexpr std::size_t DEFAULT_LABEL_WIDTH = 48;

struct TableStyle {
    bool all = false;    // every reading, not just the best DEFAULT_TOP
    bool notes = false;  // each reading's assumptions under its row
    bool colour = false; // ANSI colour, for a terminal only
    std::size_t label_width = DEFAULT_LABEL_WIDTH;  // longer labels are cut with an ellipsis
    // The width the table is read at (a terminal's, or COLUMNS): labels take
    // what the other columns leave, whole when they fit. Unset: label_width.
    std::optional<std::size_t> width;
};

// What time zones add to the table: a column of each reading's wall clock
// in the display zone, and a note under a reading placed in a local zone.
struct ZoneColumns {
    std::string header;               // "local (Europe/Berlin)"; empty for no column
    std::vector<std::string> local;   // one a reading
    std::vector<std::string> notes;   // one a reading, empty for none
};

// Appends the table for value and its ranked readings to out. Readings of
// hex bytes get a column with the byte order, signedness and width read
// ("LE u32"), so the two orders of the same bytes tell apart.
void append_table(std::string& out, std::string_view value, std::span<const Candidate> readings,
                  const TableStyle& style, const ZoneColumns* zones = nullptr);

// value as typed when that is unambiguous on screen; quoted with JSON
// escapes when it is empty, starts or ends with a space, or has a character
// that a terminal would not show as itself (safe_text.hpp).
std::string shown_value(std::string_view value);

}  // namespace epochsift::cli
