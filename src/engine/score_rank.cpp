#include "engine/score_rank.hpp"

#include <algorithm>
#include <array>
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
    own_position_ = own.position;
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
        NumericFamily const windowed =
            options_.window ? row.with_window(options_.window->start, options_.window->end) : row;
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

std::optional<std::size_t> ScoreRank::rank(int64_t value, std::string_view text, ScoredInstant own) const {
    if (!options_.extended) return rank_reference(value, text, own.score);
    if (!(own.score >= 1.0)) return std::nullopt;
    return rank_extended(value, own);
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
    return family_score(rival.windowed, value, options_, shaped);
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

std::size_t ScoreRank::rank_extended(int64_t value, ScoredInstant own) const {
    // Every reading at or above own's score is numeric (a text reading scores
    // 1.0 at most and goes after a numeric one of equal score). Those above:
    // a higher score, or an equal one and a higher prior. Those tied on both
    // keep table order, except that one whose instant a reading above it gives
    // goes after those that give a new one.
    // Instants as their nanosecond counts, the arrays left unwritten past
    // the counts: zeroing them cost more than the rest.
    struct Tied {
        i128 instant;
        uint16_t position;  // the family's row
    };
    std::array<i128, NUMERIC_FAMILIES.size()> above;
    std::array<Tied, NUMERIC_FAMILIES.size()> tied;
    std::size_t above_count = 0, tied_count = 0;
    std::optional<bool> shaped;
    for (Rival const& rival : rivals_) {
        if (rival.bound < own.score) break;
        if (!shaped && weighs_identifier_shape(rival.windowed)) shaped = shaped_like_identifier(value, options_);
        auto const scored = reaching(rival, value, own.score, shaped.value_or(false));
        if (!scored || scored->score < own.score) continue;
        if (scored->score > own.score || rival.prior > own_prior_) {
            above[above_count++] = scored->instant.ns;
        } else if (rival.prior == own_prior_) {
            tied[tied_count++] = {scored->instant.ns, rival.windowed.position};
        }
    }
    if (tied_count == 0) return 1 + above_count;
    // The tied readings in table order (own among them), each marked whether
    // a reading above it, or tied before it, gives its instant.
    std::sort(tied.begin(), tied.begin() + static_cast<std::ptrdiff_t>(tied_count),
              [](const Tied& a, const Tied& b) { return a.position < b.position; });
    auto const given_above = [&](i128 at, std::size_t tied_before) {
        for (std::size_t i = 0; i < above_count; ++i) {
            if (above[i] == at) return true;
        }
        for (std::size_t i = 0; i < tied_before; ++i) {
            if (tied[i].instant == at) return true;
        }
        return false;
    };
    std::size_t own_index = 0;  // own's index among the tied, in table order
    while (own_index < tied_count && tied[own_index].position < own_position_) ++own_index;
    // own's instant is compared with those before it; the tied after own see own's instant above them.
    bool const own_repeats = given_above(own.instant.ns, own_index);
    std::size_t place = 1 + above_count;
    for (std::size_t i = 0; i < tied_count; ++i) {
        i128 const at = tied[i].instant;
        bool const before_own = i < own_index;
        bool repeats = given_above(at, i);
        if (!before_own) repeats = repeats || at == own.instant.ns;
        // A new instant before a repeated one; within each, table order.
        if (repeats == own_repeats ? before_own : !repeats) ++place;
    }
    return place;
}

}  // namespace epochsift
