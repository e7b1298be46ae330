// The compact JSON form of the readings. Every byte is fixed: member order,
// the string escapes, exact 128-bit integers and the float rule.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/candidate.hpp"

namespace epochsift {

void append_json_string(std::string& out, std::string_view text);
void append_json_integer(std::string& out, i128 value);
// Shortest round-trip digits; "1.0" for one, exponent form outside
// 1e-5 <= |x| < 1e16, null for NaN and infinities.
void append_json_double(std::string& out, double value);

void append_json_candidate(std::string& out, const Candidate& candidate);
void append_json_candidates(std::string& out, std::span<const Candidate> candidates);

// identify(value) written as the JSON array of its readings.
std::string identify_json(std::string_view value);

}  // namespace epochsift
