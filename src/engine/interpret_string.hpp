// The string path: ISO 8601, ASN.1, JWT and the string-format table.
#pragma once

#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

// text is trimmed already (identify trims once for every path).
std::vector<Candidate> interpret_string(std::string_view text);

}  // namespace epochsift
