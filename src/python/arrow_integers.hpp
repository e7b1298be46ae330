// An Arrow integer column read as the decimal text of each value, as a CSV
// reader's numbers are: the texts are written once into a block the
// TextColumn owns, and read like a string column's.
#pragma once

#include <cstdint>
#include <string_view>

#include "python/arrow_strings.hpp"

namespace epochsift::python {

// Whether format is a signed or unsigned integer of 8 to 64 bits.
bool is_integer_format(std::string_view format);

// Appends rows [first, first + rows) of an integer array already validated
// (arrow_validate.hpp); parent, when not null, is a struct whose validity
// applies too. Throws std::bad_alloc only.
void append_integer_texts(std::string_view format, const ArrowArray& array, int64_t first, int64_t rows,
                                    const ArrowArray* parent, TextColumn& out);

}  // namespace epochsift::python
