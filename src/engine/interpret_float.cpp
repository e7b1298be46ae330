#include "engine/interpret_float.hpp"

#include <algorithm>
#include <cmath>

#include "engine/assumptions.hpp"
#include "engine/ranking.hpp"
#include "engine/prevalence.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"

namespace epochsift {

namespace {

// Below 2^127, so every rounded product that passes converts to i128 exactly.
constexpr double MAX_FLOAT_COUNT = 1e38;

// x counted in the row's unit, rounded to whole nanoseconds (halves away
// from zero) and moved to the row's epoch; nothing when out of range.
std::optional<PosixNs> float_instant(const Format& format, double x) {
    double const scaled = x * static_cast<double>(unit_ns(format.encoding().unit));
    double const rounded = std::round(scaled);
    if (!std::isfinite(rounded) || std::fabs(rounded) >= MAX_FLOAT_COUNT) return std::nullopt;
    i128 instant = 0;
    if (!checked_add(static_cast<i128>(rounded), format.epoch().ns, instant)) return std::nullopt;
    return PosixNs{instant};
}

}  // namespace

std::vector<Candidate> interpret_float(double value) {
    std::vector<Candidate> readings;
    if (!std::isfinite(value)) return readings;
    // Room for a reading of every float row: a reading is large to move.
    static std::size_t const float_rows = static_cast<std::size_t>(std::count_if(
        FORMATS.begin(), FORMATS.end(), [](Format const& format) { return format.encoding().tag == Encoding::Tag::Float; }));
    readings.reserve(float_rows);
    for (Format const& format : FORMATS) {
        if (format.encoding().tag != Encoding::Tag::Float) continue;
        std::optional<PosixNs> const instant = float_instant(format, value);
        if (!instant) continue;
        std::optional<RenderedText> rendered = RenderedText::of(*instant);
        if (!rendered) continue;  // a float reading is never kept unrendered

        Candidate& reading = readings.emplace_back(Candidate{
            .format_id = format.id(),
            .label = format.label(),
            .citation = format.citation(),
            .instant = *instant,
            .rendered = rendered,
            .score = 0.0,
            .components = {},
            .assumptions = assumptions(*format.spec),
            .sentinel = false,
        });
        // A float has no trailing-zero granularity and no sentinel values.
        ComponentList& components = reading.components;
        components.push_back({REPRESENTABLE, 1.0});
        components.push_back({IN_WINDOW, in_window_score(format, *instant)});
        components.push_back({GRANULARITY_MATCH, 1.0});
        components.push_back({MAGNITUDE_FIT, magnitude_fit(format, *instant)});
        components.push_back({EPOCH_DISTANCE, epoch_distance(format, *instant)});
        components.push_back({PREVALENCE, prevalence(format.id())});
        components.push_back({NOT_SENTINEL, 1.0});
        reading.score = overall_score(reading.components);
    }
    sort_in_candidate_order(readings);
    return readings;
}

}  // namespace epochsift
