// The engine's entry: classify the text, run the paths, rank the readings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interpret/candidate.hpp"

namespace epochsift {

std::vector<Candidate> identify(std::string_view value);
std::string identify_json(std::string_view value);

// Strips leading and trailing characters with the Unicode White_Space
// property (UTF-8).
std::string_view trim_white_space(std::string_view text);

// An optional sign and ASCII digits that fit a signed 64-bit integer.
std::optional<int64_t> parse_integer(std::string_view text);

// A decimal number, inf, infinity or nan, correctly rounded to binary64.
std::optional<double> parse_float(std::string_view text);

// The numeric paths' order: score descending, then prevalence descending,
// then format_id ascending byte-wise.
bool candidate_order(const Candidate& a, const Candidate& b);

// Stable sort in candidate order; the same result as std::stable_sort with
// candidate_order, with each reading's keys computed once and each reading
// moved once.
void sort_in_candidate_order(std::vector<Candidate>& readings);

}  // namespace epochsift
