#include "engine/interpret_float.hpp"

#include <cmath>
#include <span>

#include "engine/extended_score.hpp"
#include "engine/interpret_int.hpp"
#include "engine/notes.hpp"
#include "engine/ranking.hpp"
#include "engine/score.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"

namespace epochsift {

void append_float_readings(std::vector<Candidate>& out, double value, const ReadOptions& options) {
    if (!std::isfinite(value)) return;
    std::span<const NumericFamily> const rows = options.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES)
                                                                 : std::span<const NumericFamily>(REFERENCE_FAMILIES);
    for (NumericFamily const& table_row : rows) {
        if (table_row.encoding.tag != Encoding::Tag::Float) continue;
        NumericFamily const family = windowed_row(table_row, options);
        std::optional<PosixNs> const instant = decode_float(family, value);
        if (!instant) continue;
        if (!instant->renders()) continue;  // a float reading is never kept unrendered

        bool const inside = family.contains(*instant);
        Candidate& reading = out.emplace_back(Candidate{
            .format = FormatRef::of(family),
            .instant = *instant,
            .score = 0.0,
            .components = {},
            .notes = row_notes(family),
            .facts = {.sentinel = false,
                      .local = family.local,
                      .rare = family.prevalence == Prevalence::Rare,
                      .packed = false,
                      .outside_window = !inside,
                      .string_form = false,
                  .zone_unstated = false},
            .raw = 0,
        });
        // A float has no trailing-zero granularity and no sentinel values.
        ComponentList& components = reading.components;
        components.push_back({Component::Representable, 1.0});
        components.push_back({Component::InWindow, inside ? 1.0 : 0.0});
        components.push_back({Component::GranularityMatch, 1.0});
        components.push_back({Component::MagnitudeFit, magnitude_fit(family, *instant)});
        components.push_back({Component::EpochDistance, epoch_distance(family, *instant)});
        components.push_back({Component::Prevalence, prevalence_value(family.prevalence)});
        components.push_back({Component::NotSentinel, 1.0});
        if (options.extended && options.context.artifact_hint) {
            add_hint_evidence(reading, family, *options.context.artifact_hint);
        }
        // The extended evidence scores the reading again, over all its components.
        if (options.extended) {
            add_numeric_evidence(reading, family, nullptr, options.window.has_value());
        } else {
            reading.score = overall_score(reading.components);
        }
    }
}

std::vector<Candidate> interpret_float(double value) {
    std::vector<Candidate> readings;
    append_float_readings(readings, value, ReadOptions{});
    rank(readings);
    return readings;
}

}  // namespace epochsift
