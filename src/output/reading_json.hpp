// The compact JSON form of a reading: member order and the texts of its
// facts. Strings and numbers are written by json_string and json_number.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/candidate.hpp"
#include "output/json_number.hpp"
#include "output/json_string.hpp"

namespace epochsift {

void append_json_candidate(std::string& out, const Candidate& candidate);
void append_json_candidates(std::string& out, std::span<const Candidate> candidates);

// identify(value) written as the JSON array of its readings.
std::string identify_json(std::string_view value);

}  // namespace epochsift
