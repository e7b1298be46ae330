// A column's values read by its verdict's format alone: once a column's
// format is known, each value needs that one format's reading, not every
// format's. The reading is the one identify(value, options) gives of the
// format, made by the format's own path; values that path does not read are
// read in full by the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/candidate.hpp"
#include "engine/interpret_int.hpp"
#include "engine/read_options.hpp"
#include "formats/catalog.hpp"

namespace epochsift {

class VerdictReader {
public:
    // The options' hint and neighbours must outlive the object.
    VerdictReader(FormatRef format, const ReadOptions& options);

    // The format's reading of value, as identify(value, options) lists it
    // (its first of the format); nothing when the format's own path does not
    // apply to the value, or reads nothing from it.
    std::optional<Candidate> read(std::string_view value) const;

    // The same for a value known to be this integer (as its decimal text reads).
    std::optional<Candidate> read_integer(int64_t value) const;

    // The instant and score of read_integer's reading, made without the
    // rest of it; nothing where it gives nothing.
    std::optional<ScoredInstant> score_integer(int64_t value) const;
    // The same of a text, read as read reads it.
    std::optional<ScoredInstant> score_text(std::string_view value) const;

    // The same through a thread's memo of the family's scores (score_memo).
    std::optional<ScoredInstant> score_integer(int64_t value, FamilyScoreMemo& memo) const;
    std::optional<ScoredInstant> score_text(std::string_view value, FamilyScoreMemo& memo) const;
    // A memo for the calls above; only where reads_integers(). It reads
    // this object, which must outlive it.
    FamilyScoreMemo score_memo() const { return FamilyScoreMemo(*windowed_, options_); }

    // Whether the format reads integers by a numeric family (score_integer
    // applies; read gives the same family's reading of an integer's text).
    bool reads_integers() const { return family_ != nullptr; }

    // Whether the format has its own path here (else read gives nothing).
    bool has_own_path() const { return family_ != nullptr || form_ != nullptr; }

    FormatRef format() const { return format_; }

private:
    FormatRef format_;
    ReadOptions options_;
    const NumericFamily* family_ = nullptr;  // an integer-read numeric family the options read
    std::optional<NumericFamily> windowed_;  // family_ with the options' window in place of its own
    const StringForm* form_ = nullptr;       // a reference string form
};

}  // namespace epochsift
