// The string path: every row of the string-form table.
#pragma once

#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

// The readings of text (trimmed already) in table order.
void append_string_readings(std::vector<Candidate>& out, std::string_view text);

std::vector<Candidate> interpret_string(std::string_view text);

}  // namespace epochsift
