#include "engine/best_readings.hpp"

#include <algorithm>
#include <functional>
#include <limits>
#include <span>

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/confidence.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "engine/identify.hpp"
#include "engine/interpret_int.hpp"
#include "engine/neighbour_evidence.hpp"
#include "engine/ranking.hpp"
#include "engine/score.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

// Past this many readings kept, the bookkeeping costs more than it spares:
// every reading is built.
constexpr std::size_t MOST_PRUNED_BEST = 64;

std::span<const NumericFamily> families_of(const ReadOptions& options) {
    return options.extended ? std::span<const NumericFamily>(NUMERIC_FAMILIES)
                            : std::span<const NumericFamily>(REFERENCE_FAMILIES);
}

// The components a reading of family gets under options, in the order
// interpret_int lists them, with each that depends on the value or its
// instant at its best (1.0) and those the call fixes at their value.
ComponentList bound_components_of(const NumericFamily& table_row, const ReadOptions& options) {
    NumericFamily const family = windowed_row(table_row, options);
    IntContext const& context = options.context;
    ComponentList components{
        {Component::Representable, 1.0}, {Component::InWindow, 1.0},      {Component::GranularityMatch, 1.0},
        {Component::MagnitudeFit, 1.0},  {Component::EpochDistance, 1.0}, {Component::Prevalence, prevalence_value(family.prevalence)},
        {Component::NotSentinel, 1.0},
    };
    if (context.byte_width) {
        components.push_back({Component::ByteWidthMatch, 1.0});
        if (context.byte_order) components.push_back({Component::EndianMatch, 1.0});
    }
    if (context.artifact_hint) {
        // The extended reading weighs the hint through its vocabulary, and
        // only a hint that implies some family.
        if (!options.extended) {
            components.push_back({Component::ArtifactMatch, context.artifact_hint->match(family)});
        } else if (context.artifact_hint->implies_a_family()) {
            components.push_back({Component::ArtifactMatch, context.artifact_hint->vocabulary_match(family)});
        }
    }
    if (!context.neighbours.empty()) {
        // The extended reading judges the neighbours with the value: 1.0 at best.
        double const measure = options.extended ? 1.0 : neighbour_monotonicity(family, context.neighbours);
        components.push_back({Component::NeighbourMonotonicity, measure});
    }
    if (!options.extended) return components;
    components.push_back({Component::Prior, prior_value(family.prior)});
    components.push_back({Component::PlausibleEra, 1.0});
    components.push_back({Component::ResolutionFit, 1.0});
    components.push_back({Component::IdStructure, 1.0});
    return components;
}

double bound_of(const NumericFamily& table_row, const ReadOptions& options) {
    return components_score(bound_components_of(table_row, options), options);
}

// The best scores seen so far, highest first, at most `keep` of them.
class TopScores {
public:
    // span: how far below the best a reading still counts (for its
    // confidence), or negative when only the first keep count.
    TopScores(std::size_t keep, double span) : keep_(keep), span_(span) {}

    void add(double score) {
        std::size_t i = std::min(count_, keep_ - 1);
        if (count_ == keep_ && score <= scores_[i]) return;
        for (; i > 0 && scores_[i - 1] < score; --i) scores_[i] = scores_[i - 1];
        scores_[i] = score;
        count_ = std::min(count_ + 1, keep_);
        if (count_ == keep_) {
            below_ = span_ < 0.0 ? scores_[keep_ - 1] : std::min(scores_[keep_ - 1], scores_[0] - span_);
        }
    }
    // Whether a reading scoring at most bound can neither enter the first
    // keep nor lie within span of the best (the best only rises).
    bool excludes(double bound) const { return bound < below_; }
    // Whether keep scores of 1.0, the most any reading scores, are in.
    bool full_marks() const { return count_ == keep_ && scores_[keep_ - 1] >= 1.0; }
    // The lowest score a reading needs to be among the first keep so far
    // (ties included); every score counts while fewer are in.
    double entry() const { return count_ == keep_ ? scores_[keep_ - 1] : -1.0; }

private:
    std::array<double, MOST_PRUNED_BEST> scores_;  // the first count_ are set
    std::size_t keep_;
    double span_;
    std::size_t count_ = 0;
    // What excludes() compares with: below the K-th score and below the
    // span's floor once keep are in; nothing is below it before.
    double below_ = -std::numeric_limits<double>::infinity();
};

}  // namespace

double score_bound(std::size_t family_position, const ReadOptions& given) {
    ReadOptions storage;
    const ReadOptions& options = with_useful_hint(given, storage);
    return bound_of(families_of(options)[family_position], options);
}

ComponentList score_bound_components(std::size_t family_position, const ReadOptions& given) {
    ReadOptions storage;
    const ReadOptions& options = with_useful_hint(given, storage);
    return bound_components_of(families_of(options)[family_position], options);
}

double components_score(std::span<const ScoreComponent> components, const ReadOptions& options) {
    return options.extended ? extended_score(components, options.window.has_value()) : overall_score(components);
}

BestReadings::BestReadings(const ReadOptions& given, std::size_t best) : best_(best) {
    ReadOptions storage;
    options_ = with_useful_hint(given, storage);
    std::span<const NumericFamily> const rows = families_of(options_);
    by_bound_.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        by_bound_.push_back({bound_of(rows[i], options_), static_cast<uint16_t>(i)});
    }
    std::stable_sort(by_bound_.begin(), by_bound_.end(), [](const Bounded& a, const Bounded& b) { return a.bound > b.bound; });
    weighs_shape_.reserve(rows.size());
    for (NumericFamily const& row : rows) weighs_shape_.push_back(weighs_identifier_shape(row) ? 1 : 0);
}

bool BestReadings::judges_neighbours() const {
    return options_.extended && !options_.context.neighbours.empty();
}

bool BestReadings::prunes() const { return best_ != 0 && best_ <= MOST_PRUNED_BEST && !judges_neighbours(); }

bool BestReadings::append_integers(std::vector<Candidate>& out, int64_t raw) const {
    // The neighbours' column verdict scores every reading again once all
    // are made: no reading is spared then.
    if (!prunes()) {
        if (judges_neighbours()) {
            NeighbourEvidence const column = neighbour_evidence(raw, options_);
            append_integer_readings(out, raw, options_, &column);
        } else {
            append_integer_readings(out, raw, options_);
        }
        return false;
    }
    std::span<const NumericFamily> const rows = families_of(options_);
    // Found when a family that weighs it is first built.
    std::optional<bool> shaped;
    // Each made reading's row, to put them back in table order.
    std::array<uint16_t, NUMERIC_FAMILIES.size()> positions;
    std::size_t const first = out.size();
    // The extended reading's confidences weigh every reading near the best.
    TopScores top(best_, options_.extended ? CONFIDENCE_SPAN : -1.0);
    for (Bounded const& family : by_bound_) {
        if (top.excludes(family.bound)) break;  // and every family after it: their bounds are no higher
        std::size_t const before = out.size();
        NumericFamily const& row = rows[family.position];
        if (!shaped && weighs_identifier_shape(row)) shaped = shaped_like_identifier(raw, options_);
        append_family_reading(out, row, raw, options_, shaped.value_or(false));
        if (out.size() == before) continue;
        positions[before - first] = family.position;
        top.add(out.back().score);
    }
    // Table order, as the full reading lists them: ties part by it. A few
    // readings: sorted by insertion.
    for (std::size_t i = first + 1; i < out.size(); ++i) {
        uint16_t const position = positions[i - first];
        if (positions[i - 1 - first] < position) continue;
        Candidate moving = std::move(out[i]);
        std::size_t j = i;
        for (; j > first && positions[j - 1 - first] > position; --j) {
            out[j] = std::move(out[j - 1]);
            positions[j - first] = positions[j - 1 - first];
        }
        out[j] = std::move(moving);
        positions[j - first] = position;
    }
    return top.full_marks();
}

std::vector<Candidate> BestReadings::identify(std::string_view value) const {
    std::vector<Candidate> readings;
    identify(value, readings);
    return readings;
}

std::vector<Candidate> BestReadings::identify_integer(int64_t value, std::string_view text) const {
    std::vector<Candidate> readings;
    identify_integer(value, text, readings);
    return readings;
}

void BestReadings::identify(std::string_view value, std::vector<Candidate>& out) const {
    identify_text(value, out, nullptr);
}

void BestReadings::identify(std::string_view value, std::vector<Candidate>& out, BestReadingsMemo& memo) const {
    identify_text(value, out, &memo);
}

void BestReadings::identify_text(std::string_view value, std::vector<Candidate>& out, BestReadingsMemo* memo) const {
    out.clear();
    std::string_view const text = trim_white_space(value);
    if (auto const integer = parse_integer(text)) {
        if (memo != nullptr) identify_integer(*integer, text, out, *memo);
        else identify_integer(*integer, text, out);
        return;
    }
    append_float_path(out, text, options_);
    append_text_readings_and_rank(out, text, options_);
    if (options_.extended) assign_confidence(out);
    keep_best(out);
}

BestReadingsMemo::BestReadingsMemo(const BestReadings& reader) : reader_(&reader) {}

void BestReadingsMemo::prepare() {
    // Made on the first integer: a call of a few texts may have none.
    std::span<const NumericFamily> const rows = families_of(reader_->options_);
    windowed_.reserve(rows.size());  // the memos hold their rows: never moved
    for (NumericFamily const& row : rows) windowed_.push_back(windowed_row(row, reader_->options_));
    scores_.reserve(rows.size());
    for (NumericFamily const& row : windowed_) scores_.emplace_back(row, reader_->options_);
    bands_.resize(BAND_KEYS);
    made_.resize(BAND_KEYS);
}

std::span<const BestReadings::Bounded> BestReadingsMemo::order_for(int64_t raw) {
    // A column's values run in few bands: the last one met is tried first.
    if (raw >= last_.first && raw <= last_.last) return last_order_;
    if (bands_.empty()) prepare();
    IntegerBand const band = band_of(raw);
    std::vector<Bounded>& order = bands_[band.key];
    last_ = band;
    if (made_[band.key]) {
        last_order_ = order;
        return order;
    }
    made_[band.key] = true;
    ReadOptions const& options = reader_->options_;
    std::span<const NumericFamily> const rows = families_of(options);
    order.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // A family that reads no value of the band (a float family reads no
        // integer) has no place in the order.
        if (band_reads_none(windowed_[i], band)) continue;
        ComponentList const components =
            band_bound_components(windowed_[i], bound_components_of(rows[i], options), band, options);
        order.push_back({components_score(components, options), static_cast<uint16_t>(i)});
    }
    std::stable_sort(order.begin(), order.end(), [](const Bounded& a, const Bounded& b) { return a.bound > b.bound; });
    last_order_ = order;
    return order;
}

void BestReadings::identify_extended_integer(int64_t raw, std::string_view text, std::vector<Candidate>& out,
                                             BestReadingsMemo* memo) const {
    struct Scored {
        double score;
        uint16_t position;
    };
    std::span<const NumericFamily> const rows = families_of(options_);
    std::array<Scored, NUMERIC_FAMILIES.size()> scored;
    std::size_t count = 0;
    std::optional<bool> shaped;  // found when a family that weighs it is first scored
    TopScores top(best_, CONFIDENCE_SPAN);
    std::span<const Bounded> const order = memo != nullptr ? memo->order_for(raw) : std::span<const Bounded>(by_bound_);
    for (Bounded const& family : order) {
        if (top.excludes(family.bound)) break;  // and every family after it: their bounds are no higher
        NumericFamily const& row = rows[family.position];
        // Most values hold some field out of a packed layout's range: no
        // reading, found before the memo is asked.
        if (row.encoding.tag == Encoding::Tag::Packed && !packed_fields_may_decode(row.encoding.codec, raw)) continue;
        if (!shaped && weighs_shape_[family.position] != 0) shaped = shaped_like_identifier(raw, options_);
        std::optional<ScoredInstant> found;
        if (memo != nullptr) {
            found = memo->scores_[family.position].score_fields_passed(raw, shaped.value_or(false));
        } else if (options_.window) {
            found = family_score(row.with_window(options_.window->start, options_.window->end), raw, options_,
                                 shaped.value_or(false));
        } else {
            found = family_score(row, raw, options_, shaped.value_or(false));
        }
        if (!found) continue;
        scored[count++] = {found->score, family.position};
        top.add(found->score);
    }
    // A family scoring below `best_` others can be none of the first best_:
    // its score is only weighed. The others are built in table order, as
    // the full reading lists them: ties part by it.
    double const entry = top.entry();
    // Every score the confidences weigh: the families not built, then each
    // reading in out once the text's readings join them.
    std::array<double, NUMERIC_FAMILIES.size() + 64> weighed;
    std::size_t weighed_count = 0;
    std::array<uint16_t, NUMERIC_FAMILIES.size()> built;
    std::size_t built_count = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (scored[i].score < entry) weighed[weighed_count++] = scored[i].score;
        else built[built_count++] = scored[i].position;
    }
    std::sort(built.begin(), built.begin() + static_cast<std::ptrdiff_t>(built_count));
    for (std::size_t i = 0; i < built_count; ++i) {
        append_family_reading(out, rows[built[i]], raw, options_, shaped.value_or(false));
    }
    append_text_readings_and_rank(out, text, options_);
    if (out.empty()) return;
    std::vector<double> spilled;  // past the room on the stack: a text with many readings
    std::span<double> scores(weighed.data(), weighed_count);
    if (weighed_count + out.size() <= weighed.size()) {
        for (Candidate const& reading : out) weighed[weighed_count++] = reading.score;
        scores = std::span<double>(weighed.data(), weighed_count);
    } else {
        spilled.assign(weighed.begin(), weighed.begin() + static_cast<std::ptrdiff_t>(weighed_count));
        for (Candidate const& reading : out) spilled.push_back(reading.score);
        scores = spilled;
    }
    // Only the scores within the span of the best enter the sum, which
    // takes them best first: the rest are left out before sorting.
    double const floor = *std::max_element(scores.begin(), scores.end()) - CONFIDENCE_SPAN;
    auto const near_end = std::partition(scores.begin(), scores.end(), [floor](double score) { return score >= floor; });
    scores = scores.first(static_cast<std::size_t>(near_end - scores.begin()));
    std::sort(scores.begin(), scores.end(), std::greater<>());
    // The best reading is built: it scores at or above entry.
    double const total = memo != nullptr ? confidence_total(scores, memo->exp_) : confidence_total(scores);
    assign_confidence(out, out.front().score, total);
}

void BestReadings::identify_integer(int64_t value, std::string_view text, std::vector<Candidate>& out,
                                    BestReadingsMemo& memo) const {
    if (!(options_.extended && prunes())) {
        identify_integer(value, text, out);
        return;
    }
    out.clear();
    out.reserve(std::min(best_ + 8, NUMERIC_FAMILIES.size()));
    identify_extended_integer(value, text, out, &memo);
    keep_best(out);
}

void BestReadings::identify_integer(int64_t value, std::string_view text, std::vector<Candidate>& out) const {
    out.clear();
    if (options_.extended && prunes()) {
        out.reserve(std::min(best_ + 8, NUMERIC_FAMILIES.size()));
        identify_extended_integer(value, text, out, nullptr);
        keep_best(out);
        return;
    }
    out.reserve(best_ == 0 ? NUMERIC_FAMILIES.size() : std::min(best_ + 8, NUMERIC_FAMILIES.size()));
    if (append_integers(out, value) && !options_.extended) {
        // K readings of full marks: a string reading scores 1.0 at most and
        // goes after a numeric one of equal score in either order, and an
        // integer's text is no hex bytes or word pair, so nothing the text
        // reads could enter the first K. (The extended reading's text
        // readings still weigh in the confidences.)
        rank(out);
    } else {
        append_text_readings_and_rank(out, text, options_);
    }
    // Every reading within CONFIDENCE_SPAN of the best is in.
    if (options_.extended) assign_confidence(out);
    keep_best(out);
}

void BestReadings::identify_down_to(std::string_view value, double floor, std::vector<Candidate>& out) const {
    out.clear();
    std::string_view const text = trim_white_space(value);
    auto const integer = parse_integer(text);
    if (!integer || judges_neighbours()) {
        identify(value, out);  // read whole
        return;
    }
    std::span<const NumericFamily> const rows = families_of(options_);
    std::optional<bool> shaped;
    std::array<uint16_t, NUMERIC_FAMILIES.size()> positions;
    for (Bounded const& family : by_bound_) {
        if (family.bound < floor) break;  // no reading of it or of a later family reaches floor
        NumericFamily const& row = rows[family.position];
        if (!shaped && weighs_identifier_shape(row)) shaped = shaped_like_identifier(*integer, options_);
        std::size_t const before = out.size();
        append_family_reading(out, row, *integer, options_, shaped.value_or(false));
        if (out.size() > before) positions[before] = family.position;
    }
    // Table order, as identify lists them before ranking.
    for (std::size_t i = 1; i < out.size(); ++i) {
        uint16_t const position = positions[i];
        Candidate moving = std::move(out[i]);
        std::size_t j = i;
        for (; j > 0 && positions[j - 1] > position; --j) {
            out[j] = std::move(out[j - 1]);
            positions[j] = positions[j - 1];
        }
        out[j] = std::move(moving);
        positions[j] = position;
    }
    if (floor >= 1.0) {
        // A text reading scores 1.0 at most and goes after a numeric reading
        // of equal score: none ranks before a numeric reading at floor.
        if (options_.extended) rank_extended(out);
        else rank(out);
        return;
    }
    append_text_readings_and_rank(out, text, options_);
}

void BestReadings::keep_best(std::vector<Candidate>& readings) const {
    if (best_ != 0 && readings.size() > best_) readings.erase(readings.begin() + static_cast<std::ptrdiff_t>(best_), readings.end());
}

}  // namespace epochsift
