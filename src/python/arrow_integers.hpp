// An Arrow integer column read as its values: each row widened to int64 (a
// uint64 kept as its bits), its decimal text written only where a reading
// takes text (TextColumn::text), as a CSV reader's number would read.
#pragma once

#include <cstdint>
#include <string_view>

#include "python/arrow_strings.hpp"

namespace epochsift::python {

// Whether format is a signed or unsigned integer of 8 to 64 bits.
bool is_integer_format(std::string_view format);

// Whether format is the unsigned 64-bit integer, whose values TextColumn
// holds as their bits.
bool is_unsigned_64_format(std::string_view format);

// Appends rows [first, first + rows) of an integer array already validated
// (arrow_validate.hpp) to out.integers and out.valid; parent, when not
// null, is a struct whose validity applies too. Throws std::bad_alloc only.
void append_integers(std::string_view format, const ArrowArray& array, int64_t first, int64_t rows,
                     const ArrowArray* parent, TextColumn& out);

}  // namespace epochsift::python
