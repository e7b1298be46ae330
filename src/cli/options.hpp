// The command line's arguments: what was asked for, or the one-line reason
// why the arguments make no sense.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch_record.hpp"
#include "engine/read_options.hpp"

namespace epochsift::cli {

enum class Mode : unsigned char {
    Table,  // a ranked table for each value
    Json,   // identify_json's text for each value, one a line
    Batch,  // one value a line of a file or of stdin
    Encode, // every family's value for one instant
    Scan,   // the timestamps in a file's bytes
    Help,
    Version,
    Manual,      // the man page
    Completion,  // a shell's completion script
};



struct CliOptions {
    Mode mode = Mode::Table;
    std::vector<std::string_view> values;  // the values; in batch mode the input path, if any
    bool all = false;
    bool notes = false;
    bool hex = false;  // read each value as hex bytes, decimal digits too
    std::optional<std::size_t> best;    // batch: CSV rows for the best K readings
    std::optional<std::size_t> column;  // batch: the field to read, from 1 (the first of columns, when a number)
    std::vector<ColumnRef> columns;     // batch rows: every field to read
    HeaderMode header = HeaderMode::Auto;
    bool every = false;                 // batch: every reading of each value (JSON Lines)
    bool quiet = false;                 // batch: no progress line
    std::string_view shell;             // --completion
    bool values_from_stdin = false;     // no VALUE given: one a line of standard input
    std::optional<std::string> delimiter;
    std::optional<unsigned> threads;
    std::optional<std::size_t> max_line;  // batch: bytes a line may take
    std::optional<std::string_view> encode;      // the instant to encode: RFC 3339, integer ns or "now"
    std::optional<std::string_view> tz;          // show each reading's wall clock in this zone
    std::optional<std::string_view> local_zone;  // read wall-clock families as this zone's local time
    bool json = false;
    bool reference = false;  // the reference score instead of the extended evidence
    // The context and window the values are read with; extended unless
    // --reference. The hint points into the arguments.
    ReadOptions read{.extended = true, .context = {}, .window = {}, .zones = {}};
    bool infer = false;      // batch: the column's verdicts instead of records
    bool by_column = false;  // batch: each record led by the column's best format
    bool csv = false;        // scan: CSV rows instead of the table
    std::vector<std::string_view> formats;  // scan: the formats to look for (ids)
};

struct ParsedOptions {
    CliOptions options;
    std::string error;  // empty when the arguments are sound; may quote them raw
};

// args excludes the program name.
ParsedOptions parse_options(std::span<char* const> args);



}  // namespace epochsift::cli
