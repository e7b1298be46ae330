// The prior on how common a format family is: the second key of the
// candidate order, reported as a component with weight 0.
#pragma once

#include <string_view>

namespace epochsift {

// 0.5 for the rare registry families, 1.0 for every other text.
double prevalence(std::string_view format_id);

}  // namespace epochsift
