// The float path: a finite binary64 value read in every float family.
#pragma once

#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

// The readings of value in table order, unranked; none for NaN or infinity.
void append_float_readings(std::vector<Candidate>& out, double value);

// The same, ranked.
std::vector<Candidate> interpret_float(double value);

}  // namespace epochsift
