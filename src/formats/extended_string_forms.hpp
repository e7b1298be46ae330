// The string forms read only with extended=True: wall-clock date-time text
// and identifiers whose time field is short or whose alphabet other text
// shares, so they would crowd the reference readings.
#pragma once

#include <array>
#include <cstdint>

#include "formats/string_forms.hpp"

namespace epochsift {

inline constexpr std::size_t EXTENDED_STRING_FORM_COUNT = 26;
extern const std::array<StringForm, EXTENDED_STRING_FORM_COUNT> EXTENDED_STRING_FORMS;

// EXTENDED_STRING_FORMS' digit readers.
extern const DigitReaders EXTENDED_FORM_DIGIT_READERS;

// What every text a form reads has, so that a scan of the text once can
// spare the parsers of forms it cannot be.
enum class FormText : uint8_t {
    DateTime,  // a date and a clock: ASCII digits among other text
    Token,     // letters, digits and -_.:,= alone
    YearFromWindow,  // a date with no year: read only with the caller's window
};

// The characters of a Token form's text.
constexpr bool is_token_char(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_' ||
           c == '.' || c == ':' || c == ',' || c == '=';
}

// The text class of each row of EXTENDED_STRING_FORMS, in its order.
extern const std::array<FormText, EXTENDED_STRING_FORM_COUNT> EXTENDED_FORM_TEXT;

// The syslog row: its text has no year, so it has no parser of its own and
// is read (parse_syslog) only when the caller gives a window.
extern const StringForm& SYSLOG_FORM;

}  // namespace epochsift
