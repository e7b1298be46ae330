// A numeric reading's rank among all of a value's readings, from scores
// alone. A column read by one format wants, for each value, that format's
// reading and its place in identify's order; building every competing
// reading (notes, facts, renderings) only to count those ahead of it costs
// most of the time. Past the score, both orders compare facts of the
// families themselves (reference: numeric before text, common before rare,
// the id, table order; extended: numeric before text, the prior, table
// order), so those are settled once, and a competing family needs only its
// score. (The extended order parts readings tied on score and prior by
// their instants: those are left to the full ranking.)
// Families whose bound (BestReadings) is below the reading's score cannot
// reach it and are not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/interpret_int.hpp"
#include "engine/read_options.hpp"
#include "formats/catalog.hpp"
#include "formats/numeric_family.hpp"

namespace epochsift {

class ScoreRank {
public:
    // The options' hint and neighbours must outlive the object.
    ScoreRank(FormatRef format, const ReadOptions& options);

    // Whether rank can apply: format is a numeric family the call reads
    // integers by, each family's score its own (not judged against the
    // neighbours' column, as the extended reading does).
    bool applies() const { return applies_; }

    // The place (from 1) that identify(text, options) gives format's reading
    // of value, which scores score, where text is value's decimal text as
    // trimmed. Nothing where the scores alone do not decide it: in
    // the extended reading, a reading below 1.0 (text readings of any score
    // may pass it) or one tied with another on score and prior.
    std::optional<std::size_t> rank(int64_t value, std::string_view text, double score) const;

private:
    struct Rival {
        double bound;            // no reading of the family scores above it
        // What the bound loses with the window's and the era's measure at
        // 0 (each its share of the weights): a value whose instant is
        // outside them scores no more than bound less these, and the family
        // is read only when that still reaches the score.
        double window_share;
        double era_share;
        NumericFamily windowed;  // the row with the call's window in place
        bool first_on_tie;       // in the reference order, ranked before the format's reading at an equal score
        double prior;            // the extended order's prior of the family's readings
        // The values whose instant lies near enough (both ends included; the
        // whole range where not known): outside them the family reads
        // nothing, or scores no more than outside_bound.
        int64_t inside_first;
        int64_t inside_last;
        double outside_bound;
    };

    // Whether the rival cannot reach score, told from the value alone.
    static bool out_of_reach(const Rival& rival, int64_t value, double score) {
        return (value < rival.inside_first || value > rival.inside_last) && rival.outside_bound < score - 1e-9;
    }
    // The rival's reading of value when it can reach score (its instant and
    // score), else nothing.
    std::optional<ScoredInstant> reaching(const Rival& rival, int64_t value, double score, bool shaped) const;
    std::size_t rank_reference(int64_t value, std::string_view text, double score) const;
    std::optional<std::size_t> rank_extended(int64_t value, double score) const;

    ReadOptions options_;
    bool applies_ = false;
    double own_prior_ = 0.0;
    std::vector<Rival> rivals_;  // every other family of the call, highest bound first
};

}  // namespace epochsift
