// epochsift --scan FILE: the timestamps in a file's bytes.
//
// The input (a file or standard input) is read in chunks of
// SCAN_CHUNK_BYTES, each scanned with scan_context_bytes of its neighbours
// on either side; a round reads one chunk a thread (plus the next one's
// head), scans them on every thread and writes their hits in offset order
// before the next round reads on. Memory is about (threads + 1) chunks
// and their shown hits, whatever the input's size; with --all, every raw
// hit of a round is held until it is written.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "engine/scan_plan.hpp"

namespace epochsift::cli {

enum class ScanOutput : unsigned char { Table, JsonLines, Csv };

struct ScanSettings {
    std::string_view path;  // "-" or empty: standard input
    ScanRequest request;
    ScanOutput output = ScanOutput::Table;
    bool all = false;
    unsigned threads = 1;
};

// An exit status (cli/report.hpp).
int run_scan(const ScanSettings& settings);

}  // namespace epochsift::cli
