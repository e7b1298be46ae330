// The string-form table: every self-describing textual form, tried in table
// order for every input. ISO 8601, the two ASN.1 times and the JWT claims are
// rows like the others.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/instant.hpp"

namespace epochsift {

// What a form's parser found: the instant and whether the text left its zone
// unstated (read as UTC).
struct FormInstant {
    PosixNs instant;
    bool zone_unstated = false;
};

// A pure function from trimmed text to an instant, or nothing when the text
// is not in the form.
using FormParser = std::optional<FormInstant> (*)(std::string_view text);

struct StringForm {
    FormParser parse;
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    std::string_view note;
    bool naive = false;  // the form never stores an offset: its times are wall-clock times
};

inline constexpr std::size_t STRING_FORM_COUNT = 19;
extern const std::array<StringForm, STRING_FORM_COUNT> STRING_FORMS;

}  // namespace epochsift
