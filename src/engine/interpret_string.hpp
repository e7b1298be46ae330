// The string path: every row of the string-form table.
#pragma once

#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

struct StringForm;
struct FormInstant;

// A string form names its own format, so the reading is not scored: score
// 1.0, the three fixed components, the row's note.
Candidate string_candidate(const StringForm& form, const FormInstant& found);

// The readings of text (trimmed already) in table order.
void append_string_readings(std::vector<Candidate>& out, std::string_view text);

std::vector<Candidate> interpret_string(std::string_view text);

}  // namespace epochsift
