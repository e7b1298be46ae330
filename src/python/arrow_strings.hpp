// An Arrow string column read in place: views into its buffers, no copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "python/arrow_abi.hpp"
#include "python/arrow_validate.hpp"

namespace epochsift::python {

// Rows of one or more arrays; a null row has valid == 0.
struct TextColumn {
    std::vector<std::string_view> texts;
    std::vector<uint8_t> valid;
    std::vector<std::unique_ptr<char[]>> owned;  // decimal texts of integer columns, which texts point into
    // An integer column's values beside their texts (0 in null rows), so
    // the engine need not parse the texts back; empty for a string column,
    // or when a value does not fit int64 (the texts are read then).
    std::vector<int64_t> integers;
    bool integers_fit = true;

    bool has_integers() const { return integers_fit && !texts.empty() && integers.size() == texts.size(); }
};

// Appends the rows of `array` (described by `schema`): a string array, or a
// struct (a record batch) whose one field is one. Schema and array are
// validated whole first; on a fault nothing is appended.
// The views stay valid until the array is released. Throws std::bad_alloc or
// std::length_error only.
ArrowFault append_texts(const ArrowSchema& schema, const ArrowArray& array, TextColumn& out);

}  // namespace epochsift::python
