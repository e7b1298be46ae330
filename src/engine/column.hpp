// Many values of one field judged together: which family reads the column,
// weighed by how specific each family's structure is.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/instant.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

struct ColumnVerdict {
    std::string_view format_id;  // static texts of a numeric family or string form row
    std::string_view label;
    double score = 0.0;       // posterior share among the verdicts, in [0, 1]
    uint64_t read = 0;        // values the family decodes
    uint64_t in_window = 0;   // of those, inside the window (the caller's or the family's)
    double ordered = 0.0;     // share of neighbouring read pairs whose instants do not fall
    PosixNs first;            // instant of the first value read, in column order
    PosixNs last;             // instant of the last value read
};

// The verdicts best first; one per family or form that reads any value.
// Linear in the number of values. options.extended and neighbours are not
// used: the column is its own context.
std::vector<ColumnVerdict> identify_column(std::span<const std::string_view> values, const ReadOptions& options);

}  // namespace epochsift
