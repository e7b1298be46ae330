// Score components: named plausibility measures in [0, 1] for one reading of
// one registry family, and the weighted mean that ranks the reading.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/candidate.hpp"
#include "core/instant.hpp"

namespace epochsift {

struct Format;

// Component names; the JSON output shows them as written here.
inline constexpr std::string_view REPRESENTABLE = "representable";
inline constexpr std::string_view IN_WINDOW = "in_window";
inline constexpr std::string_view GRANULARITY_MATCH = "granularity_match";
inline constexpr std::string_view MAGNITUDE_FIT = "magnitude_fit";
inline constexpr std::string_view EPOCH_DISTANCE = "epoch_distance";
inline constexpr std::string_view PREVALENCE = "prevalence";
inline constexpr std::string_view NOT_SENTINEL = "not_sentinel";
inline constexpr std::string_view BYTE_WIDTH_MATCH = "byte_width_match";
inline constexpr std::string_view ENDIAN_MATCH = "endian_match";
inline constexpr std::string_view ARTIFACT_MATCH = "artifact_match";
inline constexpr std::string_view NEIGHBOUR_MONOTONICITY = "neighbour_monotonicity";
inline constexpr std::string_view SELF_DESCRIBING = "self_describing";

// Two years of nanoseconds: the distance from the epoch at which the
// distance measures saturate.
inline constexpr double TWO_YEARS = 6.3072e16;

// 0, -1 and the two 64-bit extremes: markers of an unset or never-expiring
// field more often than real instants.
constexpr bool is_sentinel(int64_t raw) {
    return raw == 0 || raw == -1 || raw == INT64_MIN || raw == INT64_MAX;
}

// window_start <= instant < window_end.
bool in_window(const Format& format, PosixNs instant);

// Whether raw decodes in format to an instant inside the window; a codec
// error counts as outside.
bool decodes_into_window(const Format& format, int64_t raw);

double in_window_score(const Format& format, PosixNs instant);
double granularity_match(const Format& format, int64_t raw);
double magnitude_fit(const Format& format, PosixNs instant);
double epoch_distance(const Format& format, PosixNs instant);
double not_sentinel(int64_t raw);

// Context components: what the caller knows about where raw came from.
double byte_width_match(const Format& format, int64_t raw, uint8_t byte_width);
double endian_match(const Format& format, int64_t raw, uint8_t byte_width);
double artifact_match(const Format& format, std::string_view artifact_hint);
double neighbour_monotonicity(const Format& format, std::span<const int64_t> neighbours);

// The weight a component carries in overall_score, by exact name.
double component_weight(std::string_view name);

// Weighted mean of the components in list order; 0.0 when no component
// carries weight.
double overall_score(std::span<const ScoreComponent> components);

}  // namespace epochsift
