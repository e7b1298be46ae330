// Batch mode: one value a line, identified on every core, written in input
// order. A reader thread cuts the input into chunks of lines, workers turn
// chunks into output, and the calling thread writes finished chunks in
// sequence. At most a fixed number of chunks is in flight, so memory stays
// bounded however long the input is (a single line is held whole).
#pragma once

#include <string_view>

#include "cli/batch_record.hpp"

namespace epochsift::cli {

struct BatchSettings {
    std::string_view path;  // empty or "-" for standard input
    RecordFormat format;
    unsigned threads = 1;
};

// Returns the exit status: 0, 1 when the output cannot be written, 2 when
// the input cannot be read.
int run_batch(const BatchSettings& settings);

}  // namespace epochsift::cli
