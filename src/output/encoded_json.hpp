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

// The assumptions an encoded value takes, one sentence each. wall_zone
// names the zone whose wall clock the WallClockZone values hold, with its
// offset ("Europe/Berlin, +02:00 CEST").
std::vector<std::string> encode_assumptions(const Encoded& encoded, PosixNs instant, std::string_view wall_zone = {});

// [{"format_id", "label", "value", "instant", "rendered", "hex_be", "hex_le",
//   "exact", "assumptions"}, ...]; hex_le is null for bytes that have no
// byte order (a sequence of BCD digits or semi-octets).
std::string encoded_json(std::span<const Encoded> encoded, PosixNs instant, std::string_view wall_zone = {});

}  // namespace epochsift
