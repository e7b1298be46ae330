#include "output/row_json.hpp"

#include <vector>

#include "formats/catalog.hpp"
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

RowJson row(const FormatFacts& facts) {
    using namespace note_texts_detail;
    return RowJson{
        .head = "{\"format_id\":" + escaped({facts.id}, true) + ",\"label\":" + escaped({facts.label}, true) +
                ",\"citation\":" + escaped({facts.citation}, true) + ",\"instant\":",
        .consistent = escaped({CONSISTENT_PREFIX, facts.label, " [", facts.citation, CONSISTENT_SUFFIX}, true),
    };
}

// Every row of the catalog, at its reference's index.
struct RowIndex {
    std::vector<RowJson> rows;

    RowIndex() {
        rows.reserve(FORMAT_COUNT);
        for (std::size_t i = 0; i < FORMAT_COUNT; ++i) rows.push_back(row(catalog_entry(*FormatRef::from_index(i))));
    }
};

}  // namespace

const RowJson* row_json_rows() {
    static const RowIndex index;
    return index.rows.data();
}

}  // namespace epochsift
