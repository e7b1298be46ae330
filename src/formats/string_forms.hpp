// The string-form table: every self-describing textual form, tried in table
// order for every input. ISO 8601, the two ASN.1 times and the JWT claims are
// rows like the others.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/instant.hpp"
#include "formats/jwt_claims.hpp"

namespace epochsift {

// What a form's parser found: the instant and whether the text left its zone
// unstated (read as UTC).
struct FormInstant {
    PosixNs instant;
    bool zone_unstated = false;
};

// What the rows share while they read one text: a token's claims are read
// once for the three claim rows.
struct FormMemo {
    std::optional<std::optional<JwtClaims>> jwt_claims;  // outer: not read yet
};

// Functions from trimmed text to an instant, or nothing when the text is not
// in the form: most forms always state their zone (or are defined in UTC);
// the others say whether this text did.
using InstantParser = std::optional<PosixNs> (*)(std::string_view text);
using FormParser = std::optional<FormInstant> (*)(std::string_view text, FormMemo& memo);

// The form's text for an instant, or nothing when the form cannot hold it.
using FormWriter = std::optional<std::string> (*)(PosixNs instant);

struct StringForm {
    InstantParser parse_instant;  // exactly one of the two is set
    FormParser parse_form;
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    std::string_view note;
    bool naive = false;  // the form never stores an offset: its times are wall-clock times
    FormWriter write = nullptr;
    bool rare = false;  // a token few inputs are: its reading takes the Rare prior (extended forms only)
};

// The form's reading of text, if any.
inline std::optional<FormInstant> read_form(const StringForm& form, std::string_view text, FormMemo& memo) {
    if (form.parse_form) return form.parse_form(text, memo);
    if (!form.parse_instant) return std::nullopt;  // a row the engine reads on its own
    if (auto const instant = form.parse_instant(text)) return FormInstant{*instant, false};
    return std::nullopt;
}

inline constexpr std::size_t STRING_FORM_COUNT = 19;
extern const std::array<StringForm, STRING_FORM_COUNT> STRING_FORMS;

}  // namespace epochsift
