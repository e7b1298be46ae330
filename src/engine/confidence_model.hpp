// Written by bench/fit_confidence.py; do not edit. The temperature comes
// from data: it is the one under which the right readings of the 602
// values of bench/ground_truth/values.tsv (values made by third-party tools) get the
// highest likelihood, each value read alone in the extended reading.
#pragma once

namespace epochsift {

inline constexpr double CONFIDENCE_TEMPERATURE = 0.0168;
static_assert(CONFIDENCE_TEMPERATURE > 0.0, "a softmax needs a positive temperature");

}  // namespace epochsift
