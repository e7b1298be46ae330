// The float path: a binary64 value read in the registry's Float families.
#pragma once

#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

std::vector<Candidate> interpret_float(double value);

}  // namespace epochsift
