// The short warnings the table shows beside a reading, taken from the
// reading's typed facts so that they agree with its JSON form.
#pragma once

#include <string>

#include "engine/candidate.hpp"

namespace epochsift::cli {

struct ReadingFlags {
    bool sentinel = false;        // the raw value looks like an unset/never marker
    bool local = false;           // the instant is a wall-clock time read as if it were UTC
    bool outside_window = false;  // the instant lies outside the family's window
};

ReadingFlags flags_of(const Candidate& reading);

// "sentinel", "local", "outside-window", space-separated, in that order.
std::string flags_text(ReadingFlags flags);

}  // namespace epochsift::cli
