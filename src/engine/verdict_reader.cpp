#include "engine/verdict_reader.hpp"

#include <vector>

#include "core/ascii_scan.hpp"
#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"
#include "engine/extended_score.hpp"
#include "engine/hint_words.hpp"
#include "engine/interpret_int.hpp"
#include "engine/interpret_string.hpp"

namespace epochsift {

VerdictReader::VerdictReader(FormatRef format, const ReadOptions& given) : format_(format) {
    ReadOptions storage;
    options_ = with_useful_hint(given, storage);
    if (format.kind() == FormatKind::NumericFamily) {
        NumericFamily const& family = NUMERIC_FAMILIES[format.row()];
        // Float rows read decimals through their own path; the reference
        // reading does not read the extended rows at all.
        // The extended reading judges neighbours over every family at once:
        // such values are read in full.
        bool const alone = !(options_.extended && !options_.context.neighbours.empty());
        if (alone && family.encoding.tag != Encoding::Tag::Float && (options_.extended || family.reference())) {
            family_ = &family;
            windowed_ = windowed_row(family, options_);
        }
    } else if (format.kind() == FormatKind::StringForm) {
        form_ = &STRING_FORMS[format.row()];
    }
}

std::optional<Candidate> VerdictReader::read_integer(int64_t value) const {
    if (family_ == nullptr) return std::nullopt;
    bool const shaped = weighs_identifier_shape(*family_) && shaped_like_identifier(value, options_);
    return family_reading(*family_, value, options_, shaped);
}

std::optional<ScoredInstant> VerdictReader::score_integer(int64_t value) const {
    if (family_ == nullptr) return std::nullopt;
    bool const shaped = weighs_identifier_shape(*family_) && shaped_like_identifier(value, options_);
    return family_score(*windowed_, value, options_, shaped);
}

std::optional<ScoredInstant> VerdictReader::score_text(std::string_view value) const {
    if (family_ == nullptr) return std::nullopt;
    auto const integer = parse_integer(trim_white_space(value));
    if (!integer) return std::nullopt;
    return score_integer(*integer);
}

std::optional<ScoredInstant> VerdictReader::score_integer(int64_t value, FamilyScoreMemo& memo) const {
    if (family_ == nullptr) return std::nullopt;
    bool const shaped = weighs_identifier_shape(*family_) && shaped_like_identifier(value, options_);
    return memo.score(value, shaped);
}

std::optional<ScoredInstant> VerdictReader::score_text(std::string_view value, FamilyScoreMemo& memo) const {
    if (family_ == nullptr) return std::nullopt;
    auto const integer = parse_integer(trim_white_space(value));
    if (!integer) return std::nullopt;
    return score_integer(*integer, memo);
}

std::optional<Candidate> VerdictReader::read(std::string_view value) const {
    std::string_view const text = trim_white_space(value);
    if (family_ != nullptr) {
        // Only an integer's text reaches the integer rows (hex and word
        // pairs are read in full, in both orders).
        auto const integer = parse_integer(text);
        if (!integer) return std::nullopt;
        return read_integer(*integer);
    }
    if (form_ == nullptr) return std::nullopt;
    FormMemo memo;
    auto const found = read_form(*form_, text, memo);
    if (!found) return std::nullopt;
    Candidate reading = string_candidate(*form_, *found);
    // As identify weighs a string reading of bare digits with no zone.
    if (options_.extended && reading.facts.zone_unstated && !text.empty() && all_ascii_digits(text)) {
        bool const inside = options_.window && options_.window->contains(reading.instant);
        add_bare_digits_evidence(reading, options_.window.has_value(), inside);
    }
    return reading;
}

}  // namespace epochsift
