#include "engine/extended_score.hpp"

#include <algorithm>
#include <array>
#include <bit>

#include "core/decimal_digits.hpp"
#include "engine/artifact_hint.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

namespace {

int trailing_zeros_of(int64_t raw) { return trailing_decimal_zeros(magnitude(raw)); }

// The families whose sequence field identifier_shaped weighs: a narrower
// field than 12 bits is small by chance too often.
constexpr bool weighs_sequence(const NumericFamily& family) { return family.sequence.width >= 12; }
constexpr std::size_t SEQUENCED_COUNT = static_cast<std::size_t>(
    std::count_if(NUMERIC_FAMILIES.begin(), NUMERIC_FAMILIES.end(), weighs_sequence));
constexpr std::array<NumericFamily, SEQUENCED_COUNT> SEQUENCED_FAMILIES = [] {
    std::array<NumericFamily, SEQUENCED_COUNT> rows{};
    std::size_t n = 0;
    for (NumericFamily const& family : NUMERIC_FAMILIES) {
        if (weighs_sequence(family)) rows[n++] = family;
    }
    return rows;
}();

// A bare-digit date names its form less surely than a count's family: it
// weighs like a family of the Specialised tier.
constexpr double BARE_DIGITS_PRIOR = prior_value(PriorTier::Specialised);

}  // namespace

double era_decay(PosixNs instant) {
    i128 const outside = instant < TYPICAL_START ? TYPICAL_START.ns - instant.ns : instant.ns - TYPICAL_END.ns;
    // Ten years or more outside: 1 - outside / decay is 0 or below (the
    // decay is a whole number of nanoseconds and the conversion keeps the order).
    static_assert(static_cast<double>(static_cast<i128>(ERA_DECAY_NS)) == ERA_DECAY_NS);
    if (outside >= static_cast<i128>(ERA_DECAY_NS)) return 0.0;
    return std::max(0.0, 1.0 - to_double(outside) / ERA_DECAY_NS);
}

double resolution_fit(const NumericFamily& family, int64_t raw) {
    if (family.encoding.tag != Encoding::Tag::Integer) return 1.0;  // packed fields and identifiers
    int const digits = sub_second_digits(family.encoding.unit);
    if (digits == 0) return 1.0;
    int const zeros = std::min(trailing_zeros_of(raw), digits);
    if (zeros == 0) return 1.0;
    // Any clock of 100 ns or coarser zeroes the digits below it, and its
    // own last digit is zero one time in ten: only zeros that leave eight
    // sub-second digits (a nanosecond count ending in one zero) fit no
    // common producer, and random digits do that one time in eleven.
    int const kept = digits - zeros;
    return kept > 7 ? 0.75 : 1.0;
}

double id_structure(const NumericFamily& family, int64_t raw) {
    SequenceField const field = family.sequence;
    if (field.width == 0 || raw < 0) return 1.0;
    uint64_t const sequence = static_cast<uint64_t>(raw) >> field.low_bit & ((uint64_t{1} << field.width) - 1);
    int const half = field.width / 2;
    int const used = std::bit_width(sequence);  // [0, width]
    if (used <= half) return 1.0;
    return std::max(0.0, 1.0 - static_cast<double>(used - half) / static_cast<double>(half));
}

namespace {

constexpr double HINT_WEIGHT = 3.0;

constexpr double weight_of(Component kind, bool caller_window) {
    switch (kind) {
        case Component::InWindow: return caller_window ? 2.0 : 0.0;
        case Component::GranularityMatch: return 0.0;
        case Component::Prior: return 1.0;
        case Component::PlausibleEra: return caller_window ? 0.0 : 2.0;
        case Component::ResolutionFit: return 1.0;
        case Component::IdStructure: return 2.0;
        // An analyst's word for the artifact outweighs the era and prior
        // that cannot part same-shaped families.
        case Component::ArtifactMatch: return HINT_WEIGHT;
        default: return component_weight(kind);
    }
}

// weight_of as two tables, without and with a caller's window: one load a
// component instead of a branch.
constexpr std::array<WeightTable, 2> EXTENDED_WEIGHTS = [] {
    std::array<WeightTable, 2> tables{};
    for (std::size_t window = 0; window < 2; ++window) {
        for (std::size_t i = 0; i < COMPONENT_COUNT; ++i) tables[window][i] = weight_of(static_cast<Component>(i), window != 0);
    }
    return tables;
}();

}  // namespace

double extended_score(std::span<const ScoreComponent> components, bool caller_window) {
    return weighted_score(components, EXTENDED_WEIGHTS[caller_window ? 1 : 0]);
}

const WeightTable& extended_weights(bool caller_window) { return EXTENDED_WEIGHTS[caller_window ? 1 : 0]; }

bool identifier_shaped(int64_t raw) {
    // Three or more trailing decimal zeros (a count from a coarser clock)
    // clear the low binary bits too; an identifier ends so once in 1000.
    if (trailing_zeros_of(raw) >= 3) return false;
    for (NumericFamily const& family : SEQUENCED_FAMILIES) {
        if (id_structure(family, raw) < 1.0) continue;
        auto const instant = decode_integer(family, raw);
        if (instant && *instant >= TYPICAL_START && *instant < TYPICAL_END) return true;
    }
    return false;
}

bool weighs_identifier_shape(const NumericFamily& family) {
    return family.encoding.tag == Encoding::Tag::Integer && family.encoding.unit == Unit::Nanoseconds;
}

double weighed_structure(const NumericFamily& family, int64_t raw, bool shaped_like_identifier) {
    // Only nanosecond counts reach an identifier's magnitude at typical instants.
    if (shaped_like_identifier && weighs_identifier_shape(family)) return 0.5;
    return id_structure(family, raw);
}

void add_hint_evidence(Candidate& reading, const NumericFamily& family, const ArtifactHint& hint) {
    if (!hint.implies_a_family()) return;
    double const match = hint.vocabulary_match(family);
    reading.components.push_back({Component::ArtifactMatch, match});
    if (match > 0.0) {
        reading.hint_terms = hint.terms_for(family);
        reading.notes.add(Note::HintNamed);
    }
}

double identifier_epoch_fit(PosixNs instant, PosixNs epoch) {
    if (instant <= epoch) return 0.0;
    i128 const after = instant.ns - epoch.ns;
    if (after >= static_cast<i128>(ID_EPOCH_SETTLING_NS)) return 1.0;
    return to_double(after) / ID_EPOCH_SETTLING_NS;
}

void add_numeric_components(ComponentList& components, const NumericFamily& family, PosixNs instant,
                            const int64_t* raw, bool caller_window, bool shaped_like_identifier) {
    if (family.encoding.tag == Encoding::Tag::Shifted) {
        // An identifier's epoch is its service's start, whose first ids lie
        // near it: the distance measures saturate after three months here,
        // not two years (a Discord id of 2016 is as typical as one of 2022).
        double const fit = identifier_epoch_fit(instant, family.epoch);
        for (ScoreComponent& component : components) {
            if (component.kind == Component::MagnitudeFit || component.kind == Component::EpochDistance) {
                component.value = std::max(component.value, fit);
            }
        }
    }
    components.push_back({Component::Prior, prior_value(family.prior)});
    components.push_back({Component::PlausibleEra, plausible_era(instant, caller_window, family.contains(instant))});
    if (raw != nullptr) {
        components.push_back({Component::ResolutionFit, resolution_fit(family, *raw)});
        // Every integer reading carries it, so that an identifier's full
        // credit does not lift it above a count that has no such field.
        components.push_back({Component::IdStructure, structure_component(family, *raw, shaped_like_identifier)});
    }
}

void add_numeric_evidence(Candidate& reading, const NumericFamily& family, const int64_t* raw, bool caller_window,
                          bool shaped_like_identifier) {
    add_numeric_components(reading.components, family, reading.instant, raw, caller_window, shaped_like_identifier);
    reading.prior = prior_value(family.prior);
    reading.score = extended_score(reading.components, caller_window);
}

void add_record_evidence(Candidate& reading, PriorTier tier, bool caller_window, bool inside_caller_window) {
    reading.prior = prior_value(tier);
    reading.components.push_back({Component::Prior, reading.prior});
    reading.components.push_back(
        {Component::PlausibleEra, plausible_era(reading.instant, caller_window, inside_caller_window)});
    reading.score = extended_score(reading.components, caller_window);
}

void add_bare_digits_evidence(Candidate& reading, bool caller_window, bool inside_caller_window) {
    reading.prior = BARE_DIGITS_PRIOR;
    reading.components.push_back({Component::Prior, reading.prior});
    reading.components.push_back(
        {Component::PlausibleEra, plausible_era(reading.instant, caller_window, inside_caller_window)});
    reading.score = extended_score(reading.components, caller_window);
}

}  // namespace epochsift
