// The string-form table: every self-describing textual form, tried in table
// order for every input. ISO 8601, the two ASN.1 times and the JWT claims are
// rows like the others.
#pragma once

#include <array>
#include <cstdint>
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

// Which texts of ASCII digits alone, or of a '-' and digits, a form can
// read: bit n of `plain` (of `negative`) set when such a text of n digits
// may be read. An integer's text is such a text and most forms read none,
// so their parsers are spared it. Each row's mask is read off its parser;
// a test tries every length against it. Masks state lengths up to
// MOST_STATED_DIGITS; a longer run (leading zeros) is tried by every form.
inline constexpr std::size_t MOST_STATED_DIGITS = 20;  // 2^64 - 1: an int64's text and more

struct DigitTexts {
    uint32_t plain = ~uint32_t{0};  // unstated: every length may be read
    uint32_t negative = ~uint32_t{0};
};

// The digit counts low..high (at most MOST_STATED_DIGITS) as a DigitTexts mask.
constexpr uint32_t digit_counts(unsigned low, unsigned high) {
    uint32_t mask = 0;
    for (unsigned n = low; n <= high; ++n) mask |= uint32_t{1} << n;
    return mask;
}

inline constexpr DigitTexts NO_DIGIT_TEXT{0, 0};

// A text of digits alone (negative: after a '-'), as DigitTexts weighs it.
struct DigitText {
    std::size_t digits;
    bool negative;
};

// text's shape when it is a run of digits, or a '-' and one.
constexpr std::optional<DigitText> digit_text_of(std::string_view text) {
    bool const negative = !text.empty() && text[0] == '-';
    std::size_t const digits = text.size() - (negative ? 1 : 0);
    if (digits == 0) return std::nullopt;
    for (std::size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    return DigitText{digits, negative};
}

// Whether a form declaring mask can read a text of shape (a text of any
// other shape, or a run longer than masks state, may always be read).
constexpr bool may_read(const DigitTexts& mask, const std::optional<DigitText>& shape) {
    if (!shape || shape->digits > MOST_STATED_DIGITS) return true;
    return ((shape->negative ? mask.negative : mask.plain) >> shape->digits & 1u) != 0;
}

// The rows of a table that may read a text of each shape, one bit a row
// (bit i: row i): the rows' masks turned around, so that a digit text
// visits its few readers alone.
struct DigitReaders {
    std::array<uint64_t, MOST_STATED_DIGITS + 1> plain{};
    std::array<uint64_t, MOST_STATED_DIGITS + 1> negative{};
    uint64_t every = 0;  // every row: a text of no digit shape, or a longer run

    constexpr uint64_t of(const std::optional<DigitText>& shape) const {
        if (!shape || shape->digits >= plain.size()) return every;
        return (shape->negative ? negative : plain)[shape->digits];
    }
};

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
    DigitTexts digits{};  // the texts of digits alone it can read
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

// The digit readers of a table of at most 64 rows.
template <std::size_t N>
constexpr DigitReaders digit_readers(const std::array<StringForm, N>& rows) {
    static_assert(N <= 64, "a row a bit");
    DigitReaders readers;
    for (std::size_t i = 0; i < N; ++i) {
        uint64_t const bit = uint64_t{1} << i;
        readers.every |= bit;
        for (std::size_t n = 0; n < readers.plain.size(); ++n) {
            if (may_read(rows[i].digits, DigitText{n, false})) readers.plain[n] |= bit;
            if (may_read(rows[i].digits, DigitText{n, true})) readers.negative[n] |= bit;
        }
    }
    return readers;
}

// STRING_FORMS' digit readers.
extern const DigitReaders STRING_FORM_DIGIT_READERS;

}  // namespace epochsift
