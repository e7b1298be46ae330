#include "interpret/interpret_float.hpp"

namespace epochsift {

// Placeholder until the registry lands: no family reads floats yet.
std::vector<Candidate> interpret_float(double) { return {}; }

}  // namespace epochsift
