// The integer path: one signed 64-bit value read in every numeric family.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

struct NumericFamily;

// The readings of raw in table order, unranked.
void append_integer_readings(std::vector<Candidate>& out, int64_t raw, const ReadOptions& options);

// The same, ranked.
std::vector<Candidate> interpret_int_with_context(int64_t raw, const IntContext& context);

// At most one reading of raw in one numeric family.
std::optional<Candidate> build_candidate(const NumericFamily& family, int64_t raw, const IntContext& context);

}  // namespace epochsift
