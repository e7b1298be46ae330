// The JSON of the parts of a reading that its row fixes, prepared once a row
// at first use: the opening members up to the instant and the consistency
// note. The writer copies them whole and writes only what the value decides.
#pragma once

#include <string>
#include <string_view>

#include "formats/catalog.hpp"

namespace epochsift {

struct RowJson {
    std::string head;        // {"format_id":"…","label":"…","citation":"…","instant":
    std::string consistent;  // the consistency note as a quoted JSON string
};

// The fragments of every catalog row, made at first use, indexed by
// FormatRef::index().
const RowJson* row_json_rows();

inline const RowJson& row_json(FormatRef format) { return row_json_rows()[format.index()]; }

}  // namespace epochsift
