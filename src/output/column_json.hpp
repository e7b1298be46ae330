// The JSON form of a column's verdicts.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/column.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

void append_json_verdicts(std::string& out, std::span<const ColumnVerdict> verdicts);

// identify_column(values) written as a JSON array of objects with the keys
// format_id, label, score, read, in_window, ordered, first and last.
// Column tallies as a JSON array of arrays: values, log_likelihood, read,
// in_window, pairs, ordered_pairs, first, last, starts_read, ends_read.
std::string column_tallies_json(std::span<const ColumnTally> tallies);

std::string identify_column_json(std::span<const std::string_view> values, const ReadOptions& options);

}  // namespace epochsift
