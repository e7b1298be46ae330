// The written forms of encode's results: hex of the stored bytes, the
// assumption texts and the JSON array the Python binding returns.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine/encode.hpp"

namespace epochsift {

// Lower-case hex of the stored bytes, most significant byte first or last.
std::string hex_big_endian(const StoredBytes& stored);
std::string hex_little_endian(const StoredBytes& stored);

// The assumptions an encoded value takes, one sentence each.
std::vector<std::string> encode_assumptions(const Encoded& encoded, PosixNs instant);

// [{"format_id", "label", "value", "instant", "rendered", "hex_be", "hex_le",
//   "exact", "assumptions"}, ...]
std::string encoded_json(std::span<const Encoded> encoded, PosixNs instant);

}  // namespace epochsift
