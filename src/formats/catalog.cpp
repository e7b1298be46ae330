#include "formats/catalog.hpp"

#include <array>

namespace epochsift {

namespace {

FormatFacts numeric_facts(const NumericFamily& family) {
    return FormatFacts{
        .id = family.id,
        .label = family.label,
        .citation = family.citation,
        .note = {},
        .kind = FormatKind::NumericFamily,
        .prior = family.prior,
        .scale = family.scale,
        .local = family.local,
        .byte_order_applies = true,  // every family reads an integer or a binary64 from bytes
        .usual_width = family.usual_width,
        .stored_width = family.packed_width,
    };
}

FormatFacts form_facts(const StringForm& form, FormatKind kind) {
    return FormatFacts{
        .id = form.id,
        .label = form.label,
        .citation = form.citation,
        .note = form.note,
        .kind = kind,
        .prior = form.rare ? PriorTier::Rare : PriorTier::Common,
        .scale = TimeScale::Utc,
        .local = form.naive,
        .byte_order_applies = false,
        .usual_width = 0,
        .stored_width = 0,
    };
}

// A record's fields sit in an order of its own: the caller's byte order
// does not apply to it.
FormatFacts record_facts(const ByteLayout& layout) {
    return FormatFacts{
        .id = layout.id,
        .label = layout.label,
        .citation = layout.citation,
        .note = {},
        .kind = FormatKind::BinaryRecord,
        .prior = layout.rare ? PriorTier::Rare : PriorTier::Specialised,
        .scale = TimeScale::Utc,
        .local = false,
        .byte_order_applies = false,
        .usual_width = layout.width,
        .stored_width = layout.width,
    };
}

// Built on first use: the string form and record tables are defined in
// their own files.
const std::array<FormatFacts, FORMAT_COUNT>& entries() {
    static const std::array<FormatFacts, FORMAT_COUNT> table = [] {
        std::array<FormatFacts, FORMAT_COUNT> rows{};
        for (std::size_t i = 0; i < NUMERIC_FAMILY_COUNT; ++i) {
            rows[FormatRef::numeric_family(i).index()] = numeric_facts(NUMERIC_FAMILIES[i]);
        }
        for (std::size_t i = 0; i < STRING_FORM_COUNT; ++i) {
            rows[FormatRef::string_form(i).index()] = form_facts(STRING_FORMS[i], FormatKind::StringForm);
        }
        for (std::size_t i = 0; i < EXTENDED_STRING_FORM_COUNT; ++i) {
            rows[FormatRef::extended_form(i).index()] = form_facts(EXTENDED_STRING_FORMS[i], FormatKind::ExtendedForm);
        }
        for (std::size_t i = 0; i < BYTE_LAYOUT_COUNT; ++i) {
            rows[FormatRef::binary_record(i).index()] = record_facts(BYTE_LAYOUTS[i]);
        }
        return rows;
    }();
    return table;
}

}  // namespace

FormatRef FormatRef::of(const StringForm& form) {
    if (&form >= STRING_FORMS.data() && &form < STRING_FORMS.data() + STRING_FORMS.size()) {
        return string_form(static_cast<std::size_t>(&form - STRING_FORMS.data()));
    }
    return extended_form(static_cast<std::size_t>(&form - EXTENDED_STRING_FORMS.data()));
}

const FormatFacts& catalog_entry(FormatRef ref) { return entries()[ref.index()]; }

std::optional<FormatRef> find_format(std::string_view id) {
    auto const& rows = entries();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].id == id) return FormatRef::from_index(i);
    }
    return std::nullopt;
}

}  // namespace epochsift
