// The order readings are shown in.
#pragma once

#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

// The numeric paths' order: score descending, then prevalence descending,
// then format_id ascending byte-wise.
bool candidate_order(const Candidate& a, const Candidate& b);

// Stable sort in candidate order; the same result as std::stable_sort with
// candidate_order, with each reading's keys computed once and each reading
// moved once.
void sort_in_candidate_order(std::vector<Candidate>& readings);

}  // namespace epochsift
