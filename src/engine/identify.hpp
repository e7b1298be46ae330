// The engine's entry: classify the text, run the paths, rank the readings.
#pragma once

#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

// The reference reading: identify(value, ReadOptions{}).
std::vector<Candidate> identify(std::string_view value);

std::vector<Candidate> identify(std::string_view value, const ReadOptions& options);

}  // namespace epochsift
