// Batch mode: one value a record (a line, or several lines for a quoted
// field), identified on every core, written in input order. A reader thread
// cuts the input into chunks of records, workers turn chunks into output,
// and the calling thread writes finished chunks in sequence, each with one
// write call, so that its records are never split between writers. The
// chunks in flight are bounded in bytes, whatever the thread count, and a
// chunk is handed on as soon as the input pauses, so that a slow source
// (tail -f) sees each record soon after its line.
#pragma once

#include <cstddef>
#include <string_view>

#include "cli/batch_record.hpp"

namespace epochsift::cli {

inline constexpr std::size_t DEFAULT_MAX_LINE = std::size_t(1) << 20;

// The exit statuses of the command line.
enum ExitStatus : int {
    EXIT_DONE = 0,
    EXIT_FAILED = 1,          // output not written, out of memory, no thread could start
    EXIT_USAGE = 2,           // usage error, or the input cannot be opened or read
    EXIT_LINES_UNREAD = 3,    // finished, but some lines could not be read (their records say why)
};

// What batch mode writes for the column.
enum class ColumnMode : unsigned char {
    PerValue,  // a record a value as it is read, on every core
    Infer,     // the column's verdicts, once the input ends
    ByColumn,  // a record a value led by the column's best format, once the input ends
};

struct BatchSettings {
    std::string_view path;  // empty or "-" for standard input
    RecordFormat format;
    ColumnMode column_mode = ColumnMode::PerValue;
    bool json = false;  // Infer: the verdicts as JSON instead of a table
    unsigned threads = 1;
    std::size_t max_line = DEFAULT_MAX_LINE;  // bytes a record may take, line ends excluded
    bool quiet = false;                        // no progress line, even on a terminal
};

struct BatchStreams {
    int input;
    int output;
    int messages;  // one line a message, each starting "epochsift: "
    std::string_view input_name;  // in messages
    bool progress = false;        // redraw a progress line on stderr
};

// The pipeline over open descriptors. Returns an ExitStatus.
int run_batch_streams(const BatchStreams& streams, const BatchSettings& settings);

// The column modes over open descriptors. --infer tallies the column as it
// is read; --by-column reads a file twice (the verdict, then the records
// through the pipeline), a pipe through an unnamed temporary copy. Returns
// an ExitStatus.
int run_column_streams(const BatchStreams& streams, const BatchSettings& settings);

// Opens settings.path (or takes standard input) and writes to standard
// output and standard error.
int run_batch(const BatchSettings& settings);

}  // namespace epochsift::cli
