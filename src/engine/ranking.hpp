// The one order readings are shown in.
#pragma once

#include <vector>

#include "engine/candidate.hpp"

namespace epochsift {

// Score descending; at equal scores numeric families before string forms,
// then common families before rare ones, then family ids ascending byte-wise.
// String forms that tie keep their table order.
bool candidate_order(const Candidate& a, const Candidate& b);

// Stable sort in candidate order; the same result as std::stable_sort with
// candidate_order, with each reading's keys computed once and each reading
// moved once.
void rank(std::vector<Candidate>& readings);

}  // namespace epochsift
