// Score components: plausibility measures in [0, 1] for one reading of
// one numeric family, and the weighted mean that ranks the reading.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/candidate.hpp"
#include "engine/notes.hpp"
#include "core/instant.hpp"

namespace epochsift {

struct NumericFamily;

// Two years of nanoseconds: the distance from the epoch at which the
// distance measures saturate.
inline constexpr double TWO_YEARS = 6.3072e16;

// Whether raw decodes in format to an instant inside the window; a codec
// error counts as outside.
bool decodes_into_window(const NumericFamily& family, int64_t raw);

double granularity_match(const NumericFamily& family, int64_t raw);
double magnitude_fit(const NumericFamily& family, PosixNs instant);
double epoch_distance(const NumericFamily& family, PosixNs instant);
double not_sentinel(int64_t raw);

// Context components: what the caller knows about where raw came from.
double byte_width_match(const NumericFamily& family, int64_t raw, uint8_t byte_width);
// raw_in_window: the reading of raw in family lies in the family's window
// (the caller has decoded it; only the swapped bytes are decoded here).
double endian_match(const NumericFamily& family, int64_t raw, bool raw_in_window, uint8_t byte_width);
// The hint's tokens searched in the family's fields one by one: the plain
// statement of what ArtifactHint computes once a call (and its test oracle).
double artifact_match(const NumericFamily& family, std::string_view artifact_hint);
double neighbour_monotonicity(const NumericFamily& family, std::span<const int64_t> neighbours);

// The weight a component carries in overall_score: the measures that can
// rule a reading out count twice; prevalence is a ranking prior only.
constexpr double component_weight(Component kind) {
    switch (kind) {
        case Component::InWindow:
        case Component::MagnitudeFit:
        case Component::NotSentinel:
        case Component::EndianMatch:
        case Component::ByteWidthMatch:
        case Component::NeighbourMonotonicity: return 2.0;
        case Component::Prevalence: return 0.0;
        case Component::Representable:
        case Component::GranularityMatch:
        case Component::EpochDistance:
        case Component::ArtifactMatch:
        case Component::SelfDescribing:
        case Component::Prior:
        case Component::PlausibleEra:
        case Component::ResolutionFit:
        case Component::IdStructure: return 1.0;
    }
    return 1.0;
}

// Weighted mean of the components in list order; 0.0 when no component
// carries weight.
double overall_score(std::span<const ScoreComponent> components);

// A weight for each component kind, by its enum value.
using WeightTable = std::array<double, COMPONENT_COUNT>;

// The weighted mean of the components' values; 0 when no component weighs.
double weighted_score(std::span<const ScoreComponent> components, const WeightTable& weights);

// The weights overall_score takes.
const WeightTable& reference_weights();

}  // namespace epochsift
