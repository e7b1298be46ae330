// A value's neighbours (the same field's other values) weighed as a column:
// the value and its neighbours are judged together as identify_column judges
// a field (how specific each family's layout is, the share of values it
// reads at a typical instant, the order), and each numeric reading of the
// value gets its family's standing in that verdict as the neighbour
// component (append_integer_readings sets it as each reading is made), so
// one FAT word among FAT words reads as FAT.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"
#include "formats/catalog.hpp"

namespace epochsift {

// Each numeric family's posterior share in the column of the value and its
// neighbours over the greatest share, in [0, 1] (0 for a family that reads
// no value); UNJUDGED for a family the column verdict does not weigh (none
// since the column weighs every numeric family).
struct NeighbourEvidence {
    static constexpr float UNJUDGED = -1.0f;
    std::array<float, NUMERIC_FAMILY_COUNT> standing;
};

// The evidence for raw with options.context.neighbours (extended reading).
NeighbourEvidence neighbour_evidence(int64_t raw, const ReadOptions& options);

}  // namespace epochsift
