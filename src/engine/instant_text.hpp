// An instant given as text: integer nanoseconds since 1970 UTC, or an
// RFC 3339 date-time with its offset.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// Nothing for other text or an instant outside the calendar range.
std::optional<PosixNs> parse_instant(std::string_view text);

}  // namespace epochsift
