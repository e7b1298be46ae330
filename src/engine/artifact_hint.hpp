// The caller's hint about the artifact a value came from, read once: which
// numeric families its words name. A call prepares it once and shares it
// over every value and family it reads, so a hint costs its length once,
// not once a value and family.
#pragma once

#include <bitset>
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

private:
    std::string_view text_;
    std::bitset<MAX_HINT_FAMILIES> named_;
};

}  // namespace epochsift
