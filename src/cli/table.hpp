// The readable form of one value's readings: a title line, then one row a
// reading (rank, score, label, rendered instant, flags) in aligned columns.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "engine/candidate.hpp"

namespace epochsift::cli {

inline constexpr std::size_t DEFAULT_TOP = 10;
inline constexpr std::size_t DEFAULT_LABEL_WIDTH = 48;

struct TableStyle {
    bool all = false;    // every reading, not just the best DEFAULT_TOP
    bool notes = false;  // each reading's assumptions under its row
    bool colour = false; // ANSI colour, for a terminal only
    std::size_t label_width = DEFAULT_LABEL_WIDTH;  // longer labels are cut with an ellipsis
};

// Appends the table for value and its ranked readings to out.
void append_table(std::string& out, std::string_view value, std::span<const Candidate> readings,
                  const TableStyle& style);

// value as typed when that is unambiguous on screen; quoted with JSON
// escapes when it is empty, starts or ends with a space, or has a character
// that a terminal would not show as itself (safe_text.hpp).
std::string shown_value(std::string_view value);

}  // namespace epochsift::cli
