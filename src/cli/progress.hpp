// A one-line progress report on stderr for a batch read from a file: how
// far through the file, how many rows, how fast, and the time left. Redrawn in place at most
// a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace epochsift::cli {

// "  2m05s left": the rest of the input at the pace so far; empty before
// anything is done or once everything is.
std::string time_left(uint64_t bytes_done, uint64_t total_bytes, double seconds);

class Progress {
public:
    // Draws nothing unless enabled; total_bytes is the input file's size.
    Progress(bool enabled, uint64_t total_bytes);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(uint64_t bytes_done, uint64_t lines_done);
    // Erases the line, so that a message can take its place.
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool drawn_ = false;
    uint64_t total_bytes_;
    Clock::time_point start_;
    Clock::time_point last_draw_;
};

}  // namespace epochsift::cli
