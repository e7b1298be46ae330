#include "engine/interpret_string.hpp"

#include <bit>

#include "engine/diagnostics.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

Candidate string_candidate(const StringForm& form, const FormInstant& found) {
    Candidate reading{
        .format = FormatRef::of(form),
        .instant = found.instant,
        .score = 1.0,
        .components = {{Component::Representable, 1.0},
                       {Component::SelfDescribing, 1.0},
                       {Component::NotSentinel, 1.0}},
        .notes = {Note::Form},
        .facts = {.sentinel = false,
                  .local = form.naive || found.zone_unstated,
                  .rare = false,
                  .packed = false,
                  .outside_window = false,
                  .string_form = true,
                  .zone_unstated = found.zone_unstated},
        .raw = 0,
    };
    return reading;
}

void append_string_readings(std::vector<Candidate>& out, std::string_view text) {
    DiagnosticsSpan const span("interpret_string", "len", static_cast<long long>(text.size()));
    FormMemo memo;
    // An integer's text visits the few forms that can read digits alone.
    for (uint64_t rows = STRING_FORM_DIGIT_READERS.of(digit_text_of(text)); rows != 0; rows &= rows - 1) {
        const StringForm& form = STRING_FORMS[static_cast<std::size_t>(std::countr_zero(rows))];
        if (auto const found = read_form(form, text, memo)) out.push_back(string_candidate(form, *found));
    }
}

std::vector<Candidate> interpret_string(std::string_view text) {
    std::vector<Candidate> out;
    append_string_readings(out, text);
    return out;
}

}  // namespace epochsift
