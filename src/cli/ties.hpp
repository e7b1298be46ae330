// Ranks as the table shows them: entries whose scores (or confidences)
// print the same share the rank of the first of them ("1, 2, 2, 4"), so
// that the row order does not pass for a preference the numbers do not make.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace epochsift::cli {

// The score as the tables print it: two decimals, "nan" for NaN.
std::string two_decimals(double score);

// A confidence as the table prints it: whole percents ("93%"), "<1%" for
// a share too small to round to one, "0%" for none.
std::string whole_percent(double confidence);

// shown_scores in row order; the rank of each row, from 1.
std::vector<std::size_t> shared_ranks(const std::vector<std::string>& shown_scores);

}  // namespace epochsift::cli
