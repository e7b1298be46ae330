// The engine's entry: classify the text, run the paths, rank the readings.
#pragma once

#include <string_view>
#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value);

}  // namespace epochsift
