// ISO 8601 / RFC 3339 date-times with RFC 9557 suffixes.
#pragma once

#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// One complete date-time with a UTC offset, normalised to UTC.
std::optional<PosixNs> parse_iso8601(std::string_view text);

}  // namespace epochsift
