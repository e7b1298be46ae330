// The ustar header's mtime field: Unix seconds written as octal text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// Eleven octal digits, the width ustar writers zero-pad the 12-byte field
// to before its terminating NUL or space (POSIX.1-2017 pax, ustar format).
std::optional<PosixNs> parse_tar_mtime(std::string_view text);

// The eleven digits of the whole second at or below the instant; nothing
// before 1970 or past 8^11 − 1 seconds (the field's reach without base-256).
std::optional<std::string> write_tar_mtime(PosixNs instant);

}  // namespace epochsift
