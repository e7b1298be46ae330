// The JSON of the parts of a reading that its row fixes, prepared once a row
// at first use: the opening members up to the instant and the consistency
// note. The writer copies them whole and writes only what the value decides.
#pragma once

#include <string>
#include <string_view>

#include "engine/candidate.hpp"

namespace epochsift {

struct RowJson {
    // The row's texts; a reading matches when its views are these very texts.
    std::string_view format_id;
    std::string_view label;
    std::string_view citation;
    std::string head;        // {"format_id":"…","label":"…","citation":"…","instant":
    std::string consistent;  // the consistency note as a quoted JSON string
};

// The fragments of the numeric family or string form whose texts c holds, or
// null for a reading whose texts come from no table row.
const RowJson* row_json(const Candidate& c);

}  // namespace epochsift
