// The integer path: one signed 64-bit value read in every numeric family.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/candidate.hpp"
#include "engine/read_options.hpp"

namespace epochsift {

struct NumericFamily;
struct NeighbourEvidence;

// The readings of raw in table order, unranked. With column (the extended
// reading's verdict of raw and its neighbours), each reading's neighbour
// component is its family's standing there, and the family's own measure,
// which decodes every neighbour, is never taken.
void append_integer_readings(std::vector<Candidate>& out, int64_t raw, const ReadOptions& options,
                             const NeighbourEvidence* column = nullptr);

// raw's reading in one family, made exactly as append_integer_readings makes
// it (the caller's window in place of the row's), appended if there is one.
// shaped is shaped_like_identifier(raw, options), found once a value.
void append_family_reading(std::vector<Candidate>& out, const NumericFamily& family, int64_t raw,
                           const ReadOptions& options, bool shaped);

// row with the caller's window in place of its own, as every reading tests
// it; row itself without one.
NumericFamily windowed_row(const NumericFamily& row, const ReadOptions& options);

// raw's reading in one family as append_family_reading makes it, or nothing.
// shaped is read only for the families that weigh it (weighs_identifier_shape).
std::optional<Candidate> family_reading(const NumericFamily& family, int64_t raw, const ReadOptions& options,
                                        bool shaped);

// The instant and score of a reading, without the rest of it.
struct ScoredInstant {
    PosixNs instant;
    double score = 0.0;
};

// The instant and score family_reading gives raw, made the same way but
// without the reading's notes, facts or copies: a column decoded by one
// family needs no more. The caller's window must already stand in the row
// (NumericFamily::with_window), as family_reading puts it there.
std::optional<ScoredInstant> family_score(const NumericFamily& windowed, int64_t raw, const ReadOptions& options,
                                          bool shaped);
// The same for a caller that has decoded raw already: instant is its
// instant in windowed, and renders.
ScoredInstant family_score_at(const NumericFamily& windowed, int64_t raw, PosixNs instant, const ReadOptions& options,
                              bool shaped);

// family_score over many values of one family under one set of options (a
// column read by its verdict). Where every component that depends on the
// instant is at its most (the instant inside the window, past the epoch's
// saturation, in the typical era), the score depends on the components the
// value's digits decide alone (granularity, sentinel, resolution, sequence
// field): a score is kept by their values and given again, the same bits
// family_score gives, as the score is the same weighted sum of the same
// components. One memo a thread; the family and options must outlive it.
class FamilyScoreMemo {
public:
    FamilyScoreMemo(const NumericFamily& windowed, const ReadOptions& options);
    std::optional<ScoredInstant> score(int64_t raw, bool shaped);
    // The same where the caller has found that a packed layout's fields
    // pass packed_fields_may_decode (or the family is not packed).
    std::optional<ScoredInstant> score_fields_passed(int64_t raw, bool shaped);

private:
    // What the components the digits decide weigh of a value.
    struct Digits {
        int zeros;  // trailing decimal zeros, up to the unit's sub-second digits
        bool sentinel;
        double structure;
        friend bool operator==(const Digits&, const Digits&) = default;
    };
    struct Entry {
        Digits digits;
        double score;
    };
    // Whether every component that depends on the instant is at its most.
    bool at_most(PosixNs instant) const;
    // family_score_at's score of raw at instant, its components' values put
    // in their order and weighed as weighted_score weighs them: the same
    // products added in the same order, so the same bits. Only where
    // components_ is set.
    double direct_score(int64_t raw, PosixNs instant, bool shaped) const;
    // The components family_score_at lists, probed once: whether they are
    // the ones direct_score knows, in its order.
    void learn_components();
    // The instants around one where at_most holds: each of its terms holds
    // over an interval or a ray of instants, so together they hold over one
    // interval, found once by bisection and then tested by two comparisons.
    void learn_span(PosixNs inside);
    // The value's trailing zeros, up to the unit's sub-second digits: all of
    // it the granularity and the resolution weigh.
    int weighed_zeros(int64_t raw) const;
    // learn_span from an instant where the span should lie, if at_most holds there.
    void probe_span();

    const NumericFamily* family_;
    const ReadOptions* options_;
    bool keeps_;  // no context component, which may weigh more of the value
    int sub_second_digits_;  // the zeros the granularity and the resolution weigh
    bool span_known_ = false;
    static constexpr uint32_t PROBE_AFTER = 256;  // values off the span before it is looked for
    uint32_t misses_ = 0;
    i128 first_ = 0, last_ = 0;  // at_most holds from first_ to last_, both included
    std::array<Entry, 8> entries_{};
    std::size_t count_ = 0;
    // The direct score: the components' weights and the values the call
    // fixes (representable, prevalence, prior), by their place in the list.
    static constexpr std::size_t DIRECT_COMPONENTS = 11;
    std::size_t components_ = 0;  // the list's length where direct_score knows it, else 0
    std::array<double, DIRECT_COMPONENTS> weights_{};
    std::array<double, DIRECT_COMPONENTS> fixed_{};
    double weight_sum_ = 0.0;
    // The granularity and the resolution by the value's trailing zeros,
    // capped at the sub-second digits (no unit has more than nine).
    std::array<double, 10> granularity_{};
    std::array<double, 10> resolution_{};
};

// Whether the extended evidence weighs raw as identifier-shaped (the
// nanosecond counts' id_structure then drops to 0.5).
bool shaped_like_identifier(int64_t raw, const ReadOptions& options);

// The same, ranked.
std::vector<Candidate> interpret_int_with_context(int64_t raw, const IntContext& context);

// At most one reading of raw in one numeric family.
std::optional<Candidate> build_candidate(const NumericFamily& family, int64_t raw, const IntContext& context);

}  // namespace epochsift
