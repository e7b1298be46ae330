#include "engine/interpret_int.hpp"

#include <algorithm>

#include "engine/assumptions.hpp"
#include "engine/diagnostics.hpp"
#include "engine/ranking.hpp"
#include "engine/prevalence.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"

namespace epochsift {

// Seven base components, then at most four from the context: byte width,
// byte order, artifact hint, neighbours.
static_assert(ComponentList::CAPACITY == 7 + 4);

std::vector<Candidate> interpret_int_with_context(int64_t raw, const IntContext& context) {
    DiagnosticsSpan const span("interpret_int_with_context", "value", raw);
    std::vector<Candidate> readings;
    readings.reserve(FORMATS.size());
    for (Format const& format : FORMATS) {
        if (auto reading = build_candidate(format, raw, context)) readings.push_back(std::move(*reading));
    }
    sort_in_candidate_order(readings);
    return readings;
}

std::optional<Candidate> build_candidate(const Format& format, int64_t raw, const IntContext& context) {
    auto const decoded = format.decode_int(raw);
    if (!decoded) return std::nullopt;
    PosixNs const instant = *decoded;
    std::optional<RenderedText> rendered = RenderedText::of(instant);
    if (!rendered) return std::nullopt;

    Candidate reading{
        .format_id = format.id(),
        .label = format.label(),
        .citation = format.citation(),
        .instant = instant,
        .rendered = rendered,
        .score = 0.0,
        .components = {},
        .assumptions = integer_assumptions(*format.spec, raw, instant),
        .sentinel = is_sentinel(raw),
    };

    ComponentList& components = reading.components;
    components.push_back({REPRESENTABLE, 1.0});
    components.push_back({IN_WINDOW, in_window_score(format, instant)});
    components.push_back({GRANULARITY_MATCH, granularity_match(format, raw)});
    components.push_back({MAGNITUDE_FIT, magnitude_fit(format, instant)});
    components.push_back({EPOCH_DISTANCE, epoch_distance(format, instant)});
    components.push_back({PREVALENCE, prevalence(format.id())});
    components.push_back({NOT_SENTINEL, not_sentinel(raw)});
    if (context.byte_width) {
        components.push_back({BYTE_WIDTH_MATCH, byte_width_match(format, raw, *context.byte_width)});
        if (context.byte_order) {
            components.push_back({ENDIAN_MATCH, endian_match(format, raw, *context.byte_width)});
        }
    }
    if (context.artifact_hint) components.push_back({ARTIFACT_MATCH, artifact_match(format, *context.artifact_hint)});
    if (!context.neighbours.empty()) {
        components.push_back({NEIGHBOUR_MONOTONICITY, neighbour_monotonicity(format, context.neighbours)});
    }
    reading.score = overall_score(components);
    return reading;
}

}  // namespace epochsift
