// The catalog: every format a reading can be in — numeric family, string
// form, extended string form or token, binary record — behind one dense,
// typed reference. A reading keeps its FormatRef; whatever a later layer
// needs to know about the format (its texts, its tier, whether byte order
// applies) it asks the catalog, or indexes an array of its own by the
// reference, instead of comparing or hashing texts.
//
// References are numbered table by table in the order below; the counts are
// the tables' own, so a row added to a table moves every later reference
// and every array sized FORMAT_COUNT grows with it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/byte_layouts.hpp"
#include "formats/extended_string_forms.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/string_forms.hpp"

namespace epochsift {

// The table a format's row sits in, in the order references are numbered.
enum class FormatKind : uint8_t {
    NumericFamily,  // NUMERIC_FAMILIES
    StringForm,     // STRING_FORMS (the reference reading's forms)
    ExtendedForm,   // EXTENDED_STRING_FORMS (date-time texts and tokens)
    BinaryRecord,   // BYTE_LAYOUTS
};

inline constexpr std::size_t NUMERIC_FAMILY_COUNT = NUMERIC_FAMILIES.size();
inline constexpr std::size_t STRING_FORM_BASE = NUMERIC_FAMILY_COUNT;
inline constexpr std::size_t EXTENDED_FORM_BASE = STRING_FORM_BASE + STRING_FORM_COUNT;
inline constexpr std::size_t BINARY_RECORD_BASE = EXTENDED_FORM_BASE + EXTENDED_STRING_FORM_COUNT;
inline constexpr std::size_t FORMAT_COUNT = BINARY_RECORD_BASE + BYTE_LAYOUT_COUNT;
static_assert(FORMAT_COUNT <= UINT16_MAX, "a reference is 16 bits");

class FormatRef {
public:
    constexpr FormatRef() = default;  // the first numeric family

    static constexpr FormatRef numeric_family(std::size_t row) { return at(row, NUMERIC_FAMILY_COUNT, 0); }
    static constexpr FormatRef string_form(std::size_t row) { return at(row, STRING_FORM_COUNT, STRING_FORM_BASE); }
    static constexpr FormatRef extended_form(std::size_t row) {
        return at(row, EXTENDED_STRING_FORM_COUNT, EXTENDED_FORM_BASE);
    }
    static constexpr FormatRef binary_record(std::size_t row) {
        return at(row, BYTE_LAYOUT_COUNT, BINARY_RECORD_BASE);
    }
    // The reference of a row met in its table (or a copy of a family row:
    // the row carries its position). A string form is told apart by the
    // table its address lies in.
    static constexpr FormatRef of(const NumericFamily& family) { return numeric_family(family.position); }
    static FormatRef of(const StringForm& form);
    static FormatRef of(const ByteLayout& layout) {
        return binary_record(static_cast<std::size_t>(&layout - BYTE_LAYOUTS.data()));
    }

    // The reference numbered index, or none past the catalog's end.
    static constexpr std::optional<FormatRef> from_index(std::size_t index) {
        if (index >= FORMAT_COUNT) return std::nullopt;
        return at(index, FORMAT_COUNT, 0);
    }

    // Dense: 0 to FORMAT_COUNT - 1, for indexing arrays.
    constexpr std::size_t index() const { return index_; }
    constexpr FormatKind kind() const {
        if (index_ < STRING_FORM_BASE) return FormatKind::NumericFamily;
        if (index_ < EXTENDED_FORM_BASE) return FormatKind::StringForm;
        if (index_ < BINARY_RECORD_BASE) return FormatKind::ExtendedForm;
        return FormatKind::BinaryRecord;
    }
    // The row within its own table.
    constexpr std::size_t row() const {
        constexpr std::size_t BASES[] = {0, STRING_FORM_BASE, EXTENDED_FORM_BASE, BINARY_RECORD_BASE};
        return index_ - BASES[static_cast<std::size_t>(kind())];
    }

    friend constexpr bool operator==(FormatRef, FormatRef) = default;

private:
    static constexpr FormatRef at(std::size_t row, [[maybe_unused]] std::size_t count, std::size_t base) {
        assert(row < count);
        FormatRef ref;
        ref.index_ = static_cast<uint16_t>(base + row);
        return ref;
    }
    uint16_t index_ = 0;
};

// What every format states, whatever its table.
struct FormatFacts {
    std::string_view id;
    std::string_view label;
    std::string_view citation;
    std::string_view note;  // a string form's own note; empty for the others
    FormatKind kind = FormatKind::NumericFamily;
    PriorTier prior = PriorTier::Common;  // the extended reading's prior when the value adds nothing
    TimeScale scale = TimeScale::Utc;
    bool local = false;               // holds wall-clock time with no offset, read as UTC
    bool byte_order_applies = false;  // read from bytes in either order (integer and binary64 families)
    uint8_t usual_width = 0;          // bytes a stored field of this format usually takes; 0: text
    uint8_t stored_width = 0;         // bytes the encoder writes when fixed (packed layouts, records); else 0
};

const FormatFacts& catalog_entry(FormatRef ref);

inline std::string_view format_id(FormatRef ref) { return catalog_entry(ref).id; }

// The format of this id, for the caller's texts (a family list, a lead
// format); none for an unknown id.
std::optional<FormatRef> find_format(std::string_view id);

}  // namespace epochsift
