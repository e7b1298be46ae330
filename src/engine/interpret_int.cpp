#include "engine/interpret_int.hpp"

#include <algorithm>
#include <span>
#include <utility>

#include "core/decimal_digits.hpp"
#include "engine/diagnostics.hpp"
#include "engine/extended_score.hpp"
#include "engine/neighbour_evidence.hpp"
#include "engine/notes.hpp"
#include "engine/ranking.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

// Seven base components, then at most four from the context (byte width,
// byte order, artifact hint, neighbours) and four of the extended evidence.
static_assert(ComponentList::CAPACITY == 7 + 4 + 4);

namespace {

// The instant raw denotes in family and its text, or nothing: no reading.
std::optional<PosixNs> renderable_instant(const NumericFamily& family, int64_t raw);

// The reading of raw at instant, its components still to add.
Candidate bare_reading(const NumericFamily& family, int64_t raw, PosixNs instant);

// Adds the reference components; the caller scores them. hinted: the
// reading the extended hint evidence notes, when one is made.
void add_components(ComponentList& components, const NumericFamily& family, int64_t raw, PosixNs instant,
                    bool inside, const IntContext& context, bool extended, const NeighbourEvidence* column,
                    Candidate* hinted);
void add_components(Candidate& reading, const NumericFamily& family, int64_t raw, const IntContext& context,
                    bool extended, const NeighbourEvidence* column = nullptr);

// Appends raw's reading in row, if any. A reading is made only once the
// instant renders: value-initialising one zeroes some 450 bytes, for the
// many families a value has no reading in too.
void append_reading(std::vector<Candidate>& out, const NumericFamily& row, int64_t raw, const ReadOptions& options,
                    bool shaped, const NeighbourEvidence* column = nullptr) {
    auto const found = renderable_instant(row, raw);
    if (!found) return;
    Candidate& reading = out.emplace_back(bare_reading(row, raw, *found));
    add_components(reading, row, raw, options.context, options.extended, column);
    // The extended evidence scores the reading again, over all its components.
    if (options.extended) {
        add_numeric_evidence(reading, row, &raw, options.window.has_value(), shaped);
    } else {
        reading.score = overall_score(reading.components);
    }
}

}  // namespace

NumericFamily windowed_row(const NumericFamily& row, const ReadOptions& options) {
    return options.window ? row.with_window(options.window->start, options.window->end) : row;
}

std::optional<Candidate> family_reading(const NumericFamily& table_row, int64_t raw, const ReadOptions& options,
                                        bool shaped) {
    NumericFamily const family = windowed_row(table_row, options);
    auto const found = renderable_instant(family, raw);
    if (!found) return std::nullopt;
    std::optional<Candidate> reading = bare_reading(family, raw, *found);
    add_components(*reading, family, raw, options.context, options.extended);
    if (options.extended) {
        add_numeric_evidence(*reading, family, &raw, options.window.has_value(), shaped);
    } else {
        reading->score = overall_score(reading->components);
    }
    return reading;
}

std::optional<ScoredInstant> family_score(const NumericFamily& windowed, int64_t raw, const ReadOptions& options,
                                          bool shaped) {
    auto const found = renderable_instant(windowed, raw);
    if (!found) return std::nullopt;
    return family_score_at(windowed, raw, *found, options, shaped);
}

ScoredInstant family_score_at(const NumericFamily& windowed, int64_t raw, PosixNs instant, const ReadOptions& options,
                              bool shaped) {
    // The components alone: the notes and the facts are nobody's here.
    ComponentList components;
    add_components(components, windowed, raw, instant, windowed.contains(instant), options.context, options.extended,
                   nullptr, nullptr);
    if (!options.extended) return ScoredInstant{instant, overall_score(components)};
    bool const caller_window = options.window.has_value();
    add_numeric_components(components, windowed, instant, &raw, caller_window, shaped);
    return ScoredInstant{instant, extended_score(components, caller_window)};
}

FamilyScoreMemo::FamilyScoreMemo(const NumericFamily& windowed, const ReadOptions& options)
    : family_(&windowed),
      options_(&options),
      keeps_(!options.context.artifact_hint && options.context.neighbours.empty() && !options.context.byte_width),
      sub_second_digits_(windowed.encoding.tag == Encoding::Tag::Packed ? 0 : sub_second_digits(windowed.encoding.unit)) {
    if (keeps_) learn_components();
}

void FamilyScoreMemo::probe_span() {
    // In the middle of what the span's terms allow: the window, the typical
    // era, two years past the epoch. A miss leaves it to the values.
    NumericFamily const& family = *family_;
    i128 low = std::max(family.window_start.ns, TYPICAL_START.ns);
    if (family.encoding.tag != Encoding::Tag::Packed) low = std::max(low, family.epoch.ns + i128{2} * static_cast<i128>(TWO_YEARS));
    i128 const high = std::min(family.window_end.ns, TYPICAL_END.ns);
    if (low >= high) return;
    PosixNs const middle{low + (high - low) / 2};
    if (at_most(middle)) learn_span(middle);
}

void FamilyScoreMemo::learn_components() {
    NumericFamily const& family = *family_;
    ReadOptions const& options = *options_;
    bool const caller_window = options.window.has_value();
    // The list family_score_at makes, for any value: its kinds and the
    // values the call fixes are the same for every value.
    int64_t const one = 1;
    ComponentList probe;
    add_components(probe, family, one, family.epoch, true, options.context, options.extended, nullptr, nullptr);
    if (options.extended) add_numeric_components(probe, family, family.epoch, &one, caller_window, false);
    constexpr std::array<Component, DIRECT_COMPONENTS> ORDER{
        Component::Representable, Component::InWindow,   Component::GranularityMatch, Component::MagnitudeFit,
        Component::EpochDistance, Component::Prevalence, Component::NotSentinel,      Component::Prior,
        Component::PlausibleEra,  Component::ResolutionFit, Component::IdStructure,
    };
    std::size_t const expected = options.extended ? DIRECT_COMPONENTS : 7;
    if (probe.size() != expected) return;
    WeightTable const& weights = options.extended ? extended_weights(caller_window) : reference_weights();
    for (std::size_t i = 0; i < expected; ++i) {
        if (probe[i].kind != ORDER[i]) return;
        weights_[i] = weights[static_cast<std::size_t>(ORDER[i])];
        fixed_[i] = probe[i].value;
        weight_sum_ += weights_[i];  // as weighted_score adds them: in list order
    }
    // Both weigh raw by its trailing zeros up to the sub-second digits
    // alone: 10^zeros stands for every value with that many.
    int64_t power = 1;
    for (int zeros = 0; zeros <= sub_second_digits_; ++zeros, power *= 10) {
        granularity_[static_cast<std::size_t>(zeros)] = granularity_match(family, power);
        resolution_[static_cast<std::size_t>(zeros)] = resolution_fit(family, power);
    }
    components_ = expected;
}

int FamilyScoreMemo::weighed_zeros(int64_t raw) const {
    return sub_second_digits_ == 0 ? 0 : std::min(trailing_decimal_zeros(magnitude(raw)), sub_second_digits_);
}

double FamilyScoreMemo::direct_score(int64_t raw, PosixNs instant, bool shaped) const {
    NumericFamily const& family = *family_;
    ReadOptions const& options = *options_;
    bool const inside = family.contains(instant);
    auto const zeros = static_cast<std::size_t>(weighed_zeros(raw));
    // A shifted row's magnitude measure is its epoch distance.
    double distance = epoch_distance(family, instant);
    double magnitude_measure = family.encoding.tag == Encoding::Tag::Shifted ? distance : 1.0;
    if (options.extended && family.encoding.tag == Encoding::Tag::Shifted) {
        double const fit = identifier_epoch_fit(instant, family.epoch);
        magnitude_measure = std::max(magnitude_measure, fit);
        distance = std::max(distance, fit);
    }
    // weighted_score's sum, term by term in list order.
    double sum = 0.0;
    sum += weights_[0] * fixed_[0];  // representable
    sum += weights_[1] * (inside ? 1.0 : 0.0);
    sum += weights_[2] * granularity_[zeros];
    sum += weights_[3] * magnitude_measure;
    sum += weights_[4] * distance;
    sum += weights_[5] * fixed_[5];  // prevalence
    sum += weights_[6] * (is_sentinel(raw) ? 0.0 : 1.0);  // not_sentinel, without the call
    if (components_ == DIRECT_COMPONENTS) {
        double const era = plausible_era(instant, options.window.has_value(), inside);
        sum += weights_[7] * fixed_[7];  // prior
        sum += weights_[8] * era;
        sum += weights_[9] * resolution_[zeros];
        sum += weights_[10] * structure_component(family, raw, shaped);
    }
    return weight_sum_ == 0.0 ? 0.0 : sum / weight_sum_;
}

bool FamilyScoreMemo::at_most(PosixNs instant) const {
    NumericFamily const& family = *family_;
    bool const inside = family.contains(instant);
    bool const extended = options_->extended;
    // An identifier's distances rise to their most three months after its epoch.
    double const settled = extended && family.encoding.tag == Encoding::Tag::Shifted
                               ? identifier_epoch_fit(instant, family.epoch)
                               : 0.0;
    return inside && std::max(magnitude_fit(family, instant), settled) == 1.0 &&
           std::max(epoch_distance(family, instant), settled) == 1.0 &&
           (!extended || plausible_era(instant, options_->window.has_value(), inside) == 1.0);
}

void FamilyScoreMemo::learn_span(PosixNs inside) {
    // Far past any window, era or epoch's two years: the span's ends lie within.
    constexpr i128 REACH = i128{1} << 80;
    auto const last_holding = [&](i128 step) {
        i128 holds = inside.ns;
        i128 fails = inside.ns + step;
        if (at_most(PosixNs{fails})) return fails;
        while (fails - holds > 1 || holds - fails > 1) {
            i128 const middle = holds + (fails - holds) / 2;
            (at_most(PosixNs{middle}) ? holds : fails) = middle;
        }
        return holds;
    };
    first_ = last_holding(-REACH);
    last_ = last_holding(REACH);
    span_known_ = true;
}

std::optional<ScoredInstant> FamilyScoreMemo::score(int64_t raw, bool shaped) {
    NumericFamily const& family = *family_;
    // Most values hold some field out of a packed layout's range: no
    // reading, found without the decoder.
    if (family.encoding.tag == Encoding::Tag::Packed && !packed_fields_may_decode(family.encoding.codec, raw)) {
        return std::nullopt;
    }
    return score_fields_passed(raw, shaped);
}

std::optional<ScoredInstant> FamilyScoreMemo::score_fields_passed(int64_t raw, bool shaped) {
    NumericFamily const& family = *family_;
    if (!keeps_) return family_score(family, raw, *options_, shaped);
    auto const found = renderable_instant(family, raw);
    if (!found) return std::nullopt;
    PosixNs const instant = *found;
    // Once the span is known, an instant outside it is not at its most.
    bool const at = span_known_ ? instant.ns >= first_ && instant.ns <= last_ : at_most(instant);
    if (!at) {
        // A family whose values all lie off the span tests at_most on each
        // until one lies within: after about as many as the span's bisection
        // costs, it is looked for once (a short call never pays for it).
        if (!span_known_ && ++misses_ == PROBE_AFTER) probe_span();
        if (components_ != 0) return ScoredInstant{instant, direct_score(raw, instant, shaped)};
        return family_score_at(family, raw, instant, *options_, shaped);
    }
    if (!span_known_) learn_span(instant);
    // The granularity and the resolution weigh the value's trailing zeros
    // up to its sub-second digits alone: those zeros stand for both.
    Digits const digits{
        .zeros = weighed_zeros(raw),
        .sentinel = is_sentinel(raw),
        .structure = options_->extended ? structure_component(family, raw, shaped) : 1.0,
    };
    for (std::size_t i = 0; i < count_; ++i) {
        if (entries_[i].digits == digits) return ScoredInstant{instant, entries_[i].score};
    }
    ScoredInstant const scored = family_score_at(family, raw, instant, *options_, shaped);
    if (count_ < entries_.size()) entries_[count_++] = Entry{digits, scored.score};
    return scored;
}

bool shaped_like_identifier(int64_t raw, const ReadOptions& options) {
    return options.extended && raw >= (int64_t{1} << 40) && identifier_shaped(raw);
}

void append_family_reading(std::vector<Candidate>& out, const NumericFamily& family, int64_t raw,
                           const ReadOptions& options, bool shaped) {
    if (options.window) {
        append_reading(out, family.with_window(options.window->start, options.window->end), raw, options, shaped);
    } else {
        append_reading(out, family, raw, options, shaped);
    }
}

void append_integer_readings(std::vector<Candidate>& out, int64_t raw, const ReadOptions& options,
                             const NeighbourEvidence* column) {
    DiagnosticsSpan const span("interpret_int_with_context", "value", raw);
    bool const shaped = shaped_like_identifier(raw, options);
    std::span<const NumericFamily> const rows = options.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES)
                                                                 : std::span<const NumericFamily>(REFERENCE_FAMILIES);
    out.reserve(out.size() + rows.size());  // the readings are built in place
    for (NumericFamily const& family : rows) {
        // A caller's window stands in for the row's wherever the row's is tested.
        if (options.window) {
            append_reading(out, family.with_window(options.window->start, options.window->end), raw, options, shaped,
                           column);
        } else {
            append_reading(out, family, raw, options, shaped, column);
        }
    }
}

std::vector<Candidate> interpret_int_with_context(int64_t raw, const IntContext& context) {
    std::vector<Candidate> readings;
    readings.reserve(REFERENCE_FAMILIES.size());
    append_integer_readings(readings, raw, ReadOptions{.extended = false, .context = context, .window = {}, .zones = {}});
    rank(readings);
    return readings;
}

std::optional<Candidate> build_candidate(const NumericFamily& family, int64_t raw, const IntContext& context) {
    auto const found = renderable_instant(family, raw);
    if (!found) return std::nullopt;
    std::optional<Candidate> reading = bare_reading(family, raw, *found);
    add_components(*reading, family, raw, context, false);
    reading->score = overall_score(reading->components);
    return reading;
}

namespace {

std::optional<PosixNs> renderable_instant(const NumericFamily& family, int64_t raw) {
    auto const decoded = decode_integer(family, raw);
    if (!decoded || !(*decoded).renders()) return std::nullopt;
    return *decoded;
}

Candidate bare_reading(const NumericFamily& family, int64_t raw, PosixNs instant) {
    return Candidate{
        .format = FormatRef::of(family),
        .instant = instant,
        .score = 0.0,
        .components = {},
        .notes = integer_notes(family, raw, instant),
        .facts = {.sentinel = is_sentinel(raw),
                  .local = family.local,
                  .rare = family.prevalence == Prevalence::Rare,
                  .packed = family.packed(),
                  .outside_window = !family.contains(instant),
                  .string_form = false,
                  .zone_unstated = false},
        .raw = raw,
    };
}

void add_components(ComponentList& components, const NumericFamily& family, int64_t raw, PosixNs instant,
                    bool inside, const IntContext& context, bool extended, const NeighbourEvidence* column,
                    Candidate* hinted) {
    components.push_back({Component::Representable, 1.0});
    components.push_back({Component::InWindow, inside ? 1.0 : 0.0});
    components.push_back({Component::GranularityMatch, granularity_match(family, raw)});
    components.push_back({Component::MagnitudeFit, magnitude_fit(family, instant)});
    components.push_back({Component::EpochDistance, epoch_distance(family, instant)});
    components.push_back({Component::Prevalence, prevalence_value(family.prevalence)});
    components.push_back({Component::NotSentinel, not_sentinel(raw)});
    if (context.byte_width) {
        components.push_back({Component::ByteWidthMatch, byte_width_match(family, raw, *context.byte_width)});
        if (context.byte_order) {
            components.push_back({Component::EndianMatch, endian_match(family, raw, inside, *context.byte_width)});
        }
    }
    if (context.artifact_hint) {
        if (!extended) {
            components.push_back({Component::ArtifactMatch, context.artifact_hint->match(family)});
        } else if (hinted != nullptr) {
            add_hint_evidence(*hinted, family, *context.artifact_hint);
        } else if (context.artifact_hint->implies_a_family()) {
            // add_hint_evidence's component, without the reading's note.
            components.push_back({Component::ArtifactMatch, context.artifact_hint->vocabulary_match(family)});
        }
    }
    if (!context.neighbours.empty()) {
        float const standing = column != nullptr ? column->standing[family.position] : NeighbourEvidence::UNJUDGED;
        double const measure =
            standing != NeighbourEvidence::UNJUDGED ? standing : neighbour_monotonicity(family, context.neighbours);
        components.push_back({Component::NeighbourMonotonicity, measure});
    }
}

void add_components(Candidate& reading, const NumericFamily& family, int64_t raw, const IntContext& context,
                    bool extended, const NeighbourEvidence* column) {
    add_components(reading.components, family, raw, reading.instant, !reading.facts.outside_window, context, extended,
                   column, &reading);
}

}  // namespace

}  // namespace epochsift
