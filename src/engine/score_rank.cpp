#include "engine/score_rank.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>

#include "engine/best_readings.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "formats/numeric_decode.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

namespace {

// The first and last values a row decodes into the instants [from, to)
// (rendering), by bisection: on a row of UTC counts or shifted identifiers
// the instant never falls as the value grows, so those values are one run.
// Nothing for other rows; an empty run (first past last) for a row that
// puts no value there.
struct ValueRun {
    int64_t first;
    int64_t last;
};
std::optional<ValueRun> values_between(const NumericFamily& row, PosixNs from, PosixNs to) {
    Encoding::Tag const tag = row.encoding.tag;
    if (row.scale != TimeScale::Utc || (tag != Encoding::Tag::Integer && tag != Encoding::Tag::Shifted)) return std::nullopt;
    auto const instant = [&](int64_t raw) -> std::optional<PosixNs> {
        auto const decoded = decode_integer(row, raw);
        if (!decoded) return std::nullopt;
        return *decoded;
    };
    // The two halves of renders() and the span: one holds from some value on, the other up to some value.
    auto const low_side = [&](int64_t raw) {
        auto const at = instant(raw);
        return at && at->ns > i128{MIN_CALENDAR_SECOND - 1} * NS_PER_SECOND && !(*at < from);
    };
    auto const high_side = [&](int64_t raw) {
        auto const at = instant(raw);
        return at && at->ns < i128{MAX_CALENDAR_SECOND + 1} * NS_PER_SECOND && *at < to;
    };
    // Differences of 64-bit values taken in 64 unsigned bits: they may pass INT64_MAX.
    auto const gap = [](int64_t a, int64_t b) { return static_cast<uint64_t>(b) - static_cast<uint64_t>(a); };
    auto const halfway = [&](int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + gap(a, b) / 2); };
    constexpr int64_t LEAST = std::numeric_limits<int64_t>::min(), MOST = std::numeric_limits<int64_t>::max();
    ValueRun const empty{1, 0};
    if (!low_side(MOST)) return empty;
    int64_t first = LEAST;
    if (!low_side(LEAST)) {
        int64_t below = LEAST, at = MOST;  // !low_side(below), low_side(at)
        while (gap(below, at) > 1) {
            int64_t const middle = halfway(below, at);
            (low_side(middle) ? at : below) = middle;
        }
        first = at;
    }
    if (!high_side(first)) return empty;
    int64_t last = MOST;  // from first on every value decodes
    if (!high_side(MOST)) {
        int64_t above = MOST;  // high_side(last), !high_side(above)
        last = first;
        while (gap(last, above) > 1) {
            int64_t const middle = halfway(last, above);
            (high_side(middle) ? last : above) = middle;
        }
    }
    return ValueRun{first, last};
}

// Half the era's decay: an instant that far outside the typical era or
// farther has an era measure of 0.5 or less (the quotient is exact).
constexpr i128 HALF_ERA_DECAY_NS = 157'788'000'000'000'000;
static_assert(static_cast<double>(HALF_ERA_DECAY_NS) * 2.0 == ERA_DECAY_NS);

}  // namespace

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
        // A float row reads no integer (decode_integer gives it nothing).
        if (row.position == own.position || row.encoding.tag == Encoding::Tag::Float) continue;
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
        double const window_share = share(Component::InWindow), era_share = share(Component::PlausibleEra);
        // The instants outside which a reading loses at least a known part
        // of the bound (reaching adds what it loses): with the caller's
        // window, outside it both shares; else, half an era's decay or more
        // outside the typical era, half the era's share or more.
        PosixNs from = windowed.window_start, to = windowed.window_end;
        double outside_bound = bound - (window_share + era_share);
        if (!options_.window) {
            from = PosixNs{TYPICAL_START.ns - HALF_ERA_DECAY_NS + 1};
            to = PosixNs{TYPICAL_END.ns + HALF_ERA_DECAY_NS};
            outside_bound = bound - era_share * 0.5;
        }
        std::optional<ValueRun> const near = window_share >= 0.0 && era_share >= 0.0 ? values_between(windowed, from, to)
                                                                                     : std::nullopt;
        rivals_.push_back({bound, window_share, era_share, windowed, first_on_tie, prior_value(row.prior),
                           near ? near->first : std::numeric_limits<int64_t>::min(),
                           near ? near->last : std::numeric_limits<int64_t>::max(), outside_bound});
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
        if (out_of_reach(rival, value, score)) continue;
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
        if (out_of_reach(rival, value, score)) continue;
        if (!shaped && weighs_identifier_shape(rival.windowed)) shaped = shaped_like_identifier(value, options_);
        auto const scored = reaching(rival, value, score, shaped.value_or(false));
        if (!scored || scored->score < score) continue;
        if (scored->score > score || rival.prior > own_prior_) ++place;
        else if (rival.prior == own_prior_) return std::nullopt;
    }
    return place;
}

}  // namespace epochsift
