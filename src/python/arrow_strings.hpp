// An Arrow string column read in place: views into its buffers, no copies.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "python/arrow_abi.hpp"

namespace epochsift::python {

// Rows of one or more arrays; a null row has valid == 0.
struct TextColumn {
    std::vector<std::string_view> texts;
    std::vector<uint8_t> valid;
    std::vector<std::unique_ptr<char[]>> owned;  // decimal texts of integer columns, which texts point into
};

enum class ArrowReadFault : uint8_t {
    None,
    UnsupportedType,  // not utf8, large_utf8, string_view, an integer, or a struct of one of them
    Malformed,        // a buffer missing where the format needs one
};

// Appends the rows of `array` (described by `schema`): a string array, or a
// struct (a record batch) whose one field is one. The views stay valid until
// the array is released. Throws std::bad_alloc only.
ArrowReadFault append_texts(const ArrowSchema& schema, const ArrowArray& array, TextColumn& out);

}  // namespace epochsift::python
