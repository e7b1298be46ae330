// The string forms read only with extended=True: wall-clock date-time text
// and identifiers whose time field is short or whose alphabet other text
// shares, so they would crowd the reference readings.
#pragma once

#include <array>

#include "formats/string_forms.hpp"

namespace epochsift {

inline constexpr std::size_t EXTENDED_STRING_FORM_COUNT = 25;
extern const std::array<StringForm, EXTENDED_STRING_FORM_COUNT> EXTENDED_STRING_FORMS;

}  // namespace epochsift
