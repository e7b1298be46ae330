// What the command line asks of its surroundings: whether a stream is a
// terminal, how wide it is, and how many cores it may use.
#pragma once

#include <cstddef>
#include <optional>

namespace epochsift::cli {

bool is_terminal(int fd);

// Colour only on a terminal, and not when NO_COLOR is set or TERM is "dumb".
bool colour_wanted(int fd);

std::optional<std::size_t> terminal_columns(int fd);

// The width output is read at: the terminal's, or COLUMNS (a whole number
// from 20) when fd is not a terminal; nothing when neither says.
std::optional<std::size_t> output_columns(int fd);

// Cores this process may run on (its affinity mask), at least 1.
unsigned available_cores();

}  // namespace epochsift::cli
