// The caller's hint about the artifact a value came from, read once: which
// numeric families its words name. A call prepares it once and shares it
// over every value and family it reads, so a hint costs its length once,
// not once a value and family.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string_view>

namespace epochsift {

struct NumericFamily;

// Rows of the family table a hint can name (checked against the table).
inline constexpr std::size_t MAX_HINT_FAMILIES = 128;

class ArtifactHint {
public:
    // A token is a run of ASCII letters and digits, three or more long; it
    // names a family when it occurs, ignoring ASCII case, in the family's
    // id, source or label.
    ArtifactHint(std::string_view text);  // NOLINT: a text is a hint, so options read `.artifact_hint = text`
    ArtifactHint(const char* text) : ArtifactHint(std::string_view(text)) {}  // NOLINT: the same for literals

    std::string_view text() const { return text_; }

    // 1.0 when a token names the family, else 0.2 (the artifact_match
    // component).
    double match(const NumericFamily& family) const;

    // Whether some token names some family.
    bool names_a_family() const { return named_.any(); }

    // The extended reading's measure, from the hint vocabulary
    // (formats/hint_vocabulary.hpp): the number of the hint's words that
    // imply the family over the number that imply the family most implied,
    // so "Excel 1904" weighs 1904-system serials above 1900 ones; 0 for a
    // family no word implies.
    double vocabulary_match(const NumericFamily& family) const;

    // Whether some word of the hint implies some family.
    bool implies_a_family() const { return most_ != 0; }

    // The rows of HINT_TERMS (at most two, NO_TERM past them) whose words
    // imply the family, for the note on the readings they raised.
    static constexpr uint8_t NO_TERM = UINT8_MAX;
    std::array<uint8_t, 2> terms_for(const NumericFamily& family) const;

private:
    std::string_view text_;
    std::bitset<MAX_HINT_FAMILIES> named_;
    std::array<uint8_t, MAX_HINT_FAMILIES> implied_{};  // words implying each family row
    std::array<std::array<uint8_t, 2>, MAX_HINT_FAMILIES> terms_{};
    uint8_t most_ = 0;
};

}  // namespace epochsift
