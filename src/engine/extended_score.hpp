// The extended reading's evidence: a prior over families, soft plausibility
// of the instant, trailing zeros against common producer clock resolutions,
// and the sequence field of identifiers. It is added to a reading after the
// reference components, which stay listed unchanged, and the reading is
// scored again with the extended weights.
#pragma once

#include <cstdint>
#include <span>

#include "core/instant.hpp"
#include "engine/candidate.hpp"
#include "engine/score.hpp"

namespace epochsift {

struct NumericFamily;
class ArtifactHint;
enum class PriorTier : uint8_t;

// Where most timestamps analysts meet lie: 1995-01-01 up to 2041-01-01 (a
// fixed end, as the engine reads no clock: the year of writing plus 15).
inline constexpr PosixNs TYPICAL_START = PosixNs::from_seconds(788'918'400);
inline constexpr PosixNs TYPICAL_END = PosixNs::from_seconds(2'240'611'200);
// Plausibility falls linearly to 0 over ten years outside the typical span.
inline constexpr double ERA_DECAY_NS = 3.15576e17;

// plausible_era of an instant outside the typical span, with no caller's window.
double era_decay(PosixNs instant);

// 1.0 inside the typical span, decaying outside it; with a caller's window
// the window decides alone (1.0 inside, 0.0 outside). Inline: a column's
// scores ask it of every value, and most lie inside.
inline double plausible_era(PosixNs instant, bool caller_window, bool inside_caller_window) {
    if (caller_window) return inside_caller_window ? 1.0 : 0.0;
    if (instant >= TYPICAL_START && instant < TYPICAL_END) return 1.0;
    return era_decay(instant);
}

// 1.0 when the raw count's trailing decimal zeros fit a producer clock of
// whole seconds, milliseconds, microseconds or 100 ns ticks (a coarser clock
// zeroes the finer digits, and its own last digit is zero one time in ten);
// 0.75 for a nanosecond count ending in exactly one zero.
double resolution_fit(const NumericFamily& family, int64_t raw);

// The identifier's sequence field: full credit while it uses at most half
// its bits, falling to 0 as it fills them. Only for rows with such a field.
double id_structure(const NumericFamily& family, int64_t raw);

// Whether raw reads as an identifier with a well-formed sequence field at a
// typical instant. A plain count has random bits there (a 12-bit field is
// this small by chance once in 64), so the counts' readings of such a value
// get id_structure 0.5. A count ending in three or more decimal zeros is
// never taken for one.
bool identifier_shaped(int64_t raw);

// The extended score: plausible_era stands in for in_window (unless the
// caller gave a window) and resolution_fit for granularity_match.
double extended_score(std::span<const ScoreComponent> components, bool caller_window);
// The weights extended_score takes.
const WeightTable& extended_weights(bool caller_window);

// Whether a reading of family weighs identifier_shaped: only the nanosecond
// counts reach an identifier's magnitude at typical instants.
bool weighs_identifier_shape(const NumericFamily& family);

// structure_component of a value shaped like an identifier, or read in a
// family with a sequence field.
double weighed_structure(const NumericFamily& family, int64_t raw, bool shaped_like_identifier);

// The id_structure component of raw's reading in family: id_structure, or
// 0.5 for a count weighing a value shaped like an identifier. Inline: most
// families have no sequence field, and their answer is 1.0 at once.
inline double structure_component(const NumericFamily& family, int64_t raw, bool shaped_like_identifier) {
    if (!shaped_like_identifier && family.sequence.width == 0) return 1.0;
    return weighed_structure(family, raw, shaped_like_identifier);
}

// The hint's evidence for a numeric reading in the extended reading: the
// vocabulary's measure as artifact_match, and the note naming the words
// that implied the family. A hint that implies no family adds nothing.
void add_hint_evidence(Candidate& reading, const NumericFamily& family, const ArtifactHint& hint);

// Three months of nanoseconds: how long after its epoch an identifier's
// time field reads as typical in the extended reading.
inline constexpr double ID_EPOCH_SETTLING_NS = 7.8894e15;

// An identifier's time field against its epoch: 0 at or before it, rising
// to 1 three months after it.
double identifier_epoch_fit(PosixNs instant, PosixNs epoch);

// Adds the extended components to a numeric reading of family and scores it
// again. raw is absent for float readings.
void add_numeric_evidence(Candidate& reading, const NumericFamily& family, const int64_t* raw, bool caller_window,
                          bool shaped_like_identifier = false);

// The same on the components alone of a reading at instant, for a caller
// that needs the score and not the reading.
void add_numeric_components(ComponentList& components, const NumericFamily& family, PosixNs instant,
                            const int64_t* raw, bool caller_window, bool shaped_like_identifier);

// Adds the prior of tier and the era to a binary record's reading (a fixed
// layout read from bytes) and scores it again.
void add_record_evidence(Candidate& reading, PriorTier tier, bool caller_window, bool inside_caller_window);

// Scores a string reading of bare digits with no zone (an ASN.1 time
// without its Z) for plausibility like a numeric one.
void add_bare_digits_evidence(Candidate& reading, bool caller_window, bool inside_caller_window);

}  // namespace epochsift
