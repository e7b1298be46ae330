// The readable form of encode's results: one row a family with its value
// and stored bytes.
#pragma once

#include <span>
#include <string>

#include "engine/encode.hpp"

namespace epochsift::cli {

// A title naming the instant, then family, value, hex big-endian, hex
// little-endian ("-" where the bytes have no order) and whose wall clock a
// wall-clock family holds (UTC, or wall_zone); "~" marks a value that
// rounds the instant.
void append_encode_table(std::string& out, PosixNs instant, std::span<const Encoded> encoded,
                         std::string_view wall_zone = {});

}  // namespace epochsift::cli
