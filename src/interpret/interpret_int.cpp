#include "interpret/interpret_int.hpp"

namespace epochsift {

// Placeholder until the registry lands: no family reads integers yet.
std::vector<Candidate> interpret_int_with_context(int64_t, const IntContext&) { return {}; }

}  // namespace epochsift
