// An Arrow string or integer column read in place: views into a string
// column's buffers, an integer column's values; no texts made.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/decimal_text.hpp"
#include "python/arrow_abi.hpp"
#include "python/arrow_validate.hpp"

namespace epochsift::python {

// Rows of one or more arrays of one type; a null row has valid == 0. A
// string column's rows are views into its buffers; an integer column's are
// its values, whose decimal text is written only where a reading takes text.
struct TextColumn {
    std::vector<uint8_t> valid;
    std::vector<std::string_view> texts;  // a string column's rows; empty for an integer column
    std::vector<int64_t> integers;        // an integer column's values, 0 in null rows; empty for a string column
    // integers holds uint64 bits (format L): a negative one is a value above
    // INT64_MAX, read by its text as the text of such a number reads.
    bool unsigned_bits = false;

    std::size_t size() const { return valid.size(); }
    bool holds_integers() const { return !integers.empty(); }

    // The row's value where the engine reads it as an int64; null for a
    // string column's row and for a uint64 above INT64_MAX.
    const int64_t* integer(std::size_t row) const {
        if (row >= integers.size() || (unsigned_bits && integers[row] < 0)) return nullptr;
        return &integers[row];
    }

    // The row's text: a string column's view, or an integer's decimal text
    // written into room (valid while room is). Empty for a null row.
    std::string_view text(std::size_t row, DecimalText& room) const {
        if (row < texts.size()) return texts[row];
        if (row >= integers.size() || !valid[row]) return {};
        int64_t const value = integers[row];
        return unsigned_bits ? room.write_unsigned(static_cast<uint64_t>(value)) : room.write_signed(value);
    }
};

// Appends the rows of `array` (described by `schema`): a string or integer
// array, or a struct (a record batch) whose one field is one. Schema and
// array are validated whole first, and an array of another type than the
// rows out holds is refused (UnsupportedType); on a fault nothing is
// appended. The views stay valid until the array is released. Throws std::bad_alloc or
// std::length_error only.
ArrowFault append_texts(const ArrowSchema& schema, const ArrowArray& array, TextColumn& out);

}  // namespace epochsift::python
