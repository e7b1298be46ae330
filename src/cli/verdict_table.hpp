// The readable form of a column's verdicts: one row a format, best first,
// with how many values it reads and the span of instants they give.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/column.hpp"

namespace epochsift::cli {

// values: how many values the column held (the title says so).
void append_verdict_table(std::string& out, std::span<const ColumnVerdict> verdicts, uint64_t values);

}  // namespace epochsift::cli
