// A value's first K readings without building the readings that cannot be
// among them.
//
// A numeric reading's score is a weighted mean of its components, each in
// [0, 1]. Before a value is read, much of that mean is known from the call
// alone: the family's prior, its artifact match, its neighbour agreement,
// the weights. Setting every other component to its best (1.0) gives each
// family a bound on any reading it can make. The families are visited from
// the highest bound down; once K readings are made, a family whose bound is
// below the K-th best score so far cannot enter the first K, and neither
// can any family after it. The bound is the same weighted sum over the same
// components in the same order, with values only raised, so rounding keeps
// it at or above the score the reading gets.
//
// Readings tied with the K-th are all built (their bound is not below it),
// and the survivors go into the ranking in table order, as the full reading
// lists them, so ties part exactly as they would have: the result equals the
// first K of identify(value, options). In the extended reading every
// reading within CONFIDENCE_SPAN of the best is scored too (its score
// alone, not the reading), so that the confidences of the first K are
// those the full reading gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/portable_exp.hpp"
#include "engine/band_bounds.hpp"
#include "engine/candidate.hpp"
#include "engine/interpret_int.hpp"
#include "engine/read_options.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

class BestReadingsMemo;

class BestReadings {
public:
    // Prepared once for many values; best 0 keeps every reading. The
    // options' hint and neighbours must outlive the object.
    BestReadings(const ReadOptions& options, std::size_t best);

    // The first `best` readings of identify(value, options), in its order.
    std::vector<Candidate> identify(std::string_view value) const;

    // The same for a value already known to be this integer, as its
    // decimal text reads (text is that text, for the string forms).
    std::vector<Candidate> identify_integer(int64_t value, std::string_view text) const;

    // The same into out, whose room is kept from value to value.
    void identify(std::string_view value, std::vector<Candidate>& out) const;
    void identify_integer(int64_t value, std::string_view text, std::vector<Candidate>& out) const;
    // The same for one of many values, keeping what memo learns from one
    // value to the next (a memo made from this reader).
    void identify(std::string_view value, std::vector<Candidate>& out, BestReadingsMemo& memo) const;
    void identify_integer(int64_t value, std::string_view text, std::vector<Candidate>& out,
                          BestReadingsMemo& memo) const;

    // The readings of value that score at least floor, with every other
    // reading that ranks before one of them, in identify's order: a reading
    // scoring `floor` has the place here it has in identify(value, options).
    // Not every reading is built, so none has a confidence.
    // Only families whose bound reaches floor are built, and the text's own
    // readings only when one could rank before such a reading.
    void identify_down_to(std::string_view value, double floor, std::vector<Candidate>& out) const;

    const ReadOptions& options() const { return options_; }

    struct Bounded {
        double bound;       // no reading of the family scores above it
        uint16_t position;  // the family's row in the table the call reads
    };

private:
    friend class BestReadingsMemo;

    // Appends raw's readings that can be among the first `best`, in table
    // order; true when `best` of them score 1.0.
    bool append_integers(std::vector<Candidate>& out, int64_t raw) const;
    // The extended reading's first K of an integer: every family that can
    // be among them or weigh in their confidences is scored, and only
    // those that can be among them are built.
    void identify_extended_integer(int64_t raw, std::string_view text, std::vector<Candidate>& out,
                                   BestReadingsMemo* memo) const;
    bool prunes() const;
    void identify_text(std::string_view value, std::vector<Candidate>& out, BestReadingsMemo* memo) const;
    void keep_best(std::vector<Candidate>& readings) const;
    bool judges_neighbours() const;

    ReadOptions options_;
    std::size_t best_;
    std::vector<Bounded> by_bound_;  // the call's families, highest bound first
    std::vector<uint8_t> weighs_shape_;  // by family position: whether its score weighs the identifier shape
};

// What a reader of many values keeps from one to the next, one a thread:
// for each magnitude band met, the families in the order of their bounds
// over the band (band_bounds.hpp), and each family's score memo. The
// reader must outlive it.
class BestReadingsMemo {
public:
    explicit BestReadingsMemo(const BestReadings& reader);
    // Its memos and the last band's order point into its own vectors.
    BestReadingsMemo(const BestReadingsMemo&) = delete;
    BestReadingsMemo& operator=(const BestReadingsMemo&) = delete;

private:
    friend class BestReadings;
    using Bounded = BestReadings::Bounded;

    void prepare();
    // The call's families, highest bound over raw's band first (and the
    // memos prepared).
    std::span<const Bounded> order_for(int64_t raw);

    const BestReadings* reader_;
    std::vector<NumericFamily> windowed_;  // the call's families, the caller's window in place
    std::vector<FamilyScoreMemo> scores_;  // by family position, over windowed_
    std::vector<std::vector<Bounded>> bands_;  // by band key, made when first met
    std::vector<bool> made_;                   // by band key
    PortableExpMemo exp_;                      // the confidences' weights
    IntegerBand last_{.first = 1, .last = 0, .key = 0};  // the band last met: none at first
    std::span<const Bounded> last_order_;               // its order (bands_'s vectors are made once)
};

// The bound BestReadings gives family under options: a reading of the family
// under those options never scores above it. For the tests.
double score_bound(std::size_t family_position, const ReadOptions& options);

// The components score_bound weighs, in the order a reading lists them:
// each that depends on the value at its best.
ComponentList score_bound_components(std::size_t family_position, const ReadOptions& options);

// A numeric reading's score from its components, as it is taken under options.
double components_score(std::span<const ScoreComponent> components, const ReadOptions& options);

}  // namespace epochsift
