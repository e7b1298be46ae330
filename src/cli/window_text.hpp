// The --window argument: START..END, each side RFC 3339 text with an offset
// or integer nanoseconds since 1970 UTC, start before end.
#pragma once

#include <optional>
#include <string_view>

#include "engine/read_options.hpp"

namespace epochsift::cli {

// Nothing for text without "..", an unreadable side, or an empty span.
std::optional<InstantWindow> parse_window(std::string_view text);

}  // namespace epochsift::cli
