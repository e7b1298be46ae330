// The --window argument as people type it: a year, month or day alone
// (2023, 2023-05, 2023-05-01), or START..END where each side is one of
// those (an end takes in the whole of it), an RFC 3339 date-time with an
// offset, or an integer with its unit (1700000000s, ms, us, ns); start
// before end. A bare integer names no unit and is refused.
#pragma once

#include <optional>
#include <string_view>

#include "engine/read_options.hpp"

namespace epochsift::cli {

// Nothing for an unreadable side or an empty span.
std::optional<InstantWindow> parse_window(std::string_view text);

}  // namespace epochsift::cli
