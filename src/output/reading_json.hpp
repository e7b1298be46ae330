// The compact JSON form of a reading: member order and the texts of its
// facts. Strings and numbers are written by json_string and json_number.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "engine/request.hpp"
#include "output/json_number.hpp"
#include "output/json_string.hpp"

namespace epochsift {

class JsonBuffer;

void append_json_candidate(std::string& out, const Candidate& candidate);
// The JSON array of the candidates, written at the buffer's cursor.
void write_json_candidates(JsonBuffer& out, std::span<const Candidate> candidates);
void append_json_candidates(std::string& out, std::span<const Candidate> candidates);

// The JSON array of read()'s answer: each reading's members, then, when the
// request named zones, "local" (the display zone's wall clock) and
// "local_zone" (how a wall-clock reading was placed) where present.
void write_json_readings(JsonBuffer& out, const Readings& readings);
void append_json_readings(std::string& out, const Readings& readings);

// identify(value) written as the JSON array of its readings.
std::string identify_json(std::string_view value);
std::string identify_json(std::string_view value, const ReadOptions& options);

// identify_bytes written the same way.
std::string identify_bytes_json(std::span<const uint8_t> bytes, const ReadOptions& options,
                                std::optional<ByteOrder> byte_order);

}  // namespace epochsift
