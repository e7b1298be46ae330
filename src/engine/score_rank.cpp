#include "engine/score_rank.hpp"

#include <algorithm>
#include <span>

#include "engine/best_readings.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

ScoreRank::ScoreRank(FormatRef format, const ReadOptions& given) {
    ReadOptions storage;
    options_ = with_useful_hint(given, storage);
    std::span<const NumericFamily> const rows = options_.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES)
                                                                  : std::span<const NumericFamily>(REFERENCE_FAMILIES);
    if (format.kind() != FormatKind::NumericFamily || format.row() >= rows.size()) return;
    NumericFamily const& own = rows[format.row()];
    // Decimals are read by the float rows' own path; the extended reading
    // scores integers against the neighbours' column.
    if (own.encoding.tag == Encoding::Tag::Float) return;
    if (options_.extended && !options_.context.neighbours.empty()) return;
    applies_ = true;
    own_prior_ = prior_value(own.prior);
    bool const own_rare = own.prevalence == Prevalence::Rare;
    for (NumericFamily const& row : rows) {
        if (row.position == own.position) continue;
        bool first_on_tie = row.position < own.position;  // a stable sort: table order
        if (!options_.extended) {
            // ranking.cpp's reference order: common before rare, then the ids byte-wise.
            bool const rare = row.prevalence == Prevalence::Rare;
            if (rare != own_rare) first_on_tie = !rare;
            else if (row.id != own.id) first_on_tie = row.id < own.id;
        }
        NumericFamily const windowed = windowed_row(row, options_);
        ComponentList const best = score_bound_components(row.position, options_);
        double const bound = components_score(best, options_);
        auto const share = [&](Component kind) {
            ComponentList without = best;
            for (ScoreComponent& component : without) {
                if (component.kind == kind) component.value = 0.0;
            }
            return bound - components_score(without, options_);
        };
        rivals_.push_back({bound, share(Component::InWindow), share(Component::PlausibleEra), windowed, first_on_tie,
                           prior_value(row.prior)});
    }
    std::stable_sort(rivals_.begin(), rivals_.end(), [](const Rival& a, const Rival& b) { return a.bound > b.bound; });
}

std::optional<std::size_t> ScoreRank::rank(int64_t value, std::string_view text, double score) const {
    if (!options_.extended) return rank_reference(value, text, score);
    if (!(score >= 1.0)) return std::nullopt;
    return rank_extended(value, score);
}

std::optional<ScoredInstant> ScoreRank::reaching(const Rival& rival, int64_t value, double score, bool shaped) const {
    auto const decoded = decode_integer(rival.windowed, value);
    if (!decoded || !(*decoded).renders()) return std::nullopt;  // no reading
    PosixNs const instant = *decoded;
    // The window and era measures as the reading takes them; the bound less
    // what they lose. The margin dwarfs the rounding of either sum.
    bool const inside = rival.windowed.contains(instant);
    double lost = inside ? 0.0 : rival.window_share;
    if (rival.era_share != 0.0) {
        bool const caller_window = options_.window.has_value();
        lost += rival.era_share * (1.0 - plausible_era(instant, caller_window, inside));
    }
    if (rival.bound - lost < score - 1e-9) return std::nullopt;
    return family_score_at(rival.windowed, value, instant, options_, shaped);
}

std::size_t ScoreRank::rank_reference(int64_t value, std::string_view text, double score) const {
    std::size_t place = 1;
    for (Rival const& rival : rivals_) {
        if (rival.bound < score) break;  // neither it nor any family after it reaches the score
        auto const scored = reaching(rival, value, score, false);
        if (!scored) continue;
        if (scored->score > score || (scored->score == score && rival.first_on_tie)) ++place;
    }
    // A string form's reading scores 1.0 and goes after a numeric reading of
    // equal score.
    if (score < 1.0) {
        FormMemo memo;
        for (StringForm const& form : STRING_FORMS) place += read_form(form, text, memo) ? 1 : 0;
    }
    return place;
}

std::optional<std::size_t> ScoreRank::rank_extended(int64_t value, double score) const {
    // Every reading at or above the score is numeric (a text reading scores
    // 1.0 at most and goes after a numeric one of equal score). Those above
    // it: a higher score, or an equal one and a higher prior. A reading tied
    // with it on both may go before or after it by their instants: rare at
    // full marks, such a value is left to the full ranking.
    std::size_t place = 1;
    std::optional<bool> shaped;
    for (Rival const& rival : rivals_) {
        if (rival.bound < score) break;
        if (!shaped && weighs_identifier_shape(rival.windowed)) shaped = shaped_like_identifier(value, options_);
        auto const scored = reaching(rival, value, score, shaped.value_or(false));
        if (!scored || scored->score < score) continue;
        if (scored->score > score || rival.prior > own_prior_) ++place;
        else if (rival.prior == own_prior_) return std::nullopt;
    }
    return place;
}

}  // namespace epochsift
