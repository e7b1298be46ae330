// Batch rows: each input record written back whole, followed by the best
// reading of each field read (its format, UTC text, the --tz zone's local
// text, score) and an error cell; or the same as one JSON object a line.
// The first record may name the fields: it is settled once, before any
// record is read, and named fields are found in it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/batch_record.hpp"

namespace epochsift::cli {

struct HeaderOutcome {
    bool is_header = false;
    std::string error;  // a named field the header lacks, or a name without a header
};

// Decides whether first is a header under format.header, resolves named
// fields to numbers and names every field read.
HeaderOutcome settle_header(std::string_view first, RecordFormat& format);

// The header row written for a header record: its fields, then the names of
// the cells added for each field read.
void append_header_row(std::string& out, std::string_view record, const RecordFormat& format);

// The row of one record; false with problem set when a field read is
// missing or not UTF-8 (the row still carries the error).
bool append_row(std::string& out, std::string& problem, std::string_view record, uint64_t line_number,
                const RecordFormat& format, std::string& scratch);

// The row of a record longer than the limit, whose text was not kept.
void append_overlong_row(std::string& out, uint64_t line_number, std::string_view error, const RecordFormat& format);

}  // namespace epochsift::cli
