// A reading's confidence: its share of belief among the value's readings.
//
// The extended score ranks well but says little about how likely a reading
// is: the first ten readings of a bare integer all score between 0.8 and 1.
// The confidence turns the scores of one value into shares that sum to 1,
// a softmax over the score,
//
//     confidence_i = exp((score_i - best) / T) / sum_j exp((score_j - best) / T)
//
// whose temperature T was fitted on values made by third-party tools
// (confidence_model.hpp), so that of readings given 0.7 about 70 % are right.
// Readings more than CONFIDENCE_SPAN below the best weigh nothing (their
// share would be below e^-12 of the best's): the share of a reading is then
// decided by the readings near the best alone, which is what lets a caller
// that keeps the first K readings build only those near the top.
#pragma once

#include <span>

#include "engine/candidate.hpp"
#include "core/portable_exp.hpp"
#include "engine/confidence_model.hpp"

namespace epochsift {

// How far below the best score a reading still weighs.
inline constexpr double CONFIDENCE_SPAN = 12.0 * CONFIDENCE_TEMPERATURE;

// Sets the confidence of every reading of one value, ranked best first.
void assign_confidence(std::span<Candidate> ranked);

// The softmax's denominator over every score of one value, best first
// (readings tied on score may come in any order: they add the same terms).
double confidence_total(std::span<const double> scores_best_first);
// The same, its e^x kept in exp from call to call.
double confidence_total(std::span<const double> scores_best_first, PortableExpMemo& exp);

// Sets the confidence of readings of a value whose best score is best and
// whose scores make total (confidence_total): a caller that scored every
// reading but built only some gives them the shares the full reading gives.
void assign_confidence(std::span<Candidate> readings, double best, double total);

}  // namespace epochsift
