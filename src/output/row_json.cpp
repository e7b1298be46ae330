#include "output/row_json.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#include "formats/extended_string_forms.hpp"
#include "formats/numeric_family_table.hpp"
#include "formats/string_forms.hpp"
#include "output/json_buffer.hpp"
#include "output/json_sink.hpp"
#include "output/json_string.hpp"
#include "output/reading_text.hpp"

namespace epochsift {

namespace {

std::string escaped(std::initializer_list<std::string_view> pieces, bool quoted) {
    std::size_t bound = 2;
    for (std::string_view piece : pieces) bound += piece.size() * MAX_ESCAPE_GROWTH;
    JsonBuffer buffer(bound);
    char* p = buffer.room(bound);
    if (quoted) *p++ = '"';
    for (std::string_view piece : pieces) p = put_escaped(p, piece);
    if (quoted) *p++ = '"';
    buffer.advance_to(p);
    return std::string(buffer.view());
}

RowJson row(std::string_view id, std::string_view label, std::string_view citation) {
    using namespace note_texts_detail;
    return RowJson{
        .format_id = id,
        .label = label,
        .citation = citation,
        .head = "{\"format_id\":" + escaped({id}, true) + ",\"label\":" + escaped({label}, true) +
                ",\"citation\":" + escaped({citation}, true) + ",\"instant\":",
        .consistent = escaped({CONSISTENT_PREFIX, label, " [", citation, CONSISTENT_SUFFIX}, true),
    };
}

// Every row, found through an open-addressed index on the address of its id.
struct RowIndex {
    static constexpr std::size_t SLOTS = 256;
    static constexpr uint16_t EMPTY = UINT16_MAX;
    std::vector<RowJson> rows;
    std::array<uint16_t, SLOTS> slots;

    static std::size_t home(const char* id) {
        return static_cast<std::size_t>((std::bit_cast<uintptr_t>(id) * 0x9E37'79B9'7F4A'7C15u) >> 56);
    }

    RowIndex() {
        slots.fill(EMPTY);
        for (NumericFamily const& family : NUMERIC_FAMILIES) rows.push_back(row(family.id, family.label, family.citation));
        for (StringForm const& form : STRING_FORMS) rows.push_back(row(form.id, form.label, form.citation));
        for (StringForm const& form : EXTENDED_STRING_FORMS) rows.push_back(row(form.id, form.label, form.citation));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::size_t slot = home(rows[i].format_id.data());
            while (slots[slot] != EMPTY) slot = (slot + 1) % SLOTS;
            slots[slot] = static_cast<uint16_t>(i);
        }
    }

    const RowJson* find(const Candidate& c) const {
        for (std::size_t slot = home(c.format_id.data()); slots[slot] != EMPTY; slot = (slot + 1) % SLOTS) {
            RowJson const& r = rows[slots[slot]];
            // Same addresses and lengths: the very texts of the row.
            if (r.format_id.data() == c.format_id.data() && r.format_id.size() == c.format_id.size() &&
                r.label.data() == c.label.data() && r.label.size() == c.label.size() &&
                r.citation.data() == c.citation.data() && r.citation.size() == c.citation.size()) {
                return &r;
            }
        }
        return nullptr;
    }
};
static_assert(NUMERIC_FAMILIES.size() + STRING_FORM_COUNT + EXTENDED_STRING_FORM_COUNT < RowIndex::SLOTS / 2,
              "the index stays at most half full");

}  // namespace

const RowJson* row_json(const Candidate& c) {
    static const RowIndex index;
    return index.find(c);
}

}  // namespace epochsift
