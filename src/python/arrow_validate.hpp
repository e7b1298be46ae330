// Checks an Arrow string column handed over through the C data interface
// before a byte of it is read: every length, offset, buffer count, pointer
// and view a producer controls. A column that passes can be read row by row
// without leaving the memory it declares. No Python here, so the checks can
// be tested and fuzzed on their own.
#pragma once

#include <cstdint>
#include <string_view>

#include "python/arrow_abi.hpp"

namespace epochsift::python {

enum class ArrowFault : uint8_t {
    None,
    UnsupportedType,     // not utf8, large_utf8, string_view, an integer, or a struct of exactly one of them
                         // (or, appended to a column, not the type of its rows)
    ReleasedSchema,      // a schema without its release callback (moved from, or released)
    ReleasedArray,       // an array without its release callback
    BadSchemaChildren,   // n_children negative, or children missing where n_children says some
    BadSchemaFlags,      // unknown flag bits, or a flag that belongs to another type
    UnexpectedDictionary,  // a dictionary on a string or struct type
    NegativeLength,      // length < 0
    NegativeOffset,      // offset < 0
    LengthTooLarge,      // offset + length past what any buffer can hold
    BadNullCount,        // null_count below -1 or above length
    BadBufferCount,      // n_buffers not what the format requires
    MissingBuffers,      // buffers null while n_buffers says some
    MissingValidity,     // nulls counted but no validity bitmap
    MissingOffsets,      // rows but no offsets (or views) buffer
    BadOffsets,          // an offset negative or below the one before it
    MissingData,         // text bytes but no data buffer
    BadArrayChildren,    // n_children not what the format requires, or a null child
    ShortChild,          // a struct's child shorter than the struct's rows
    BadView,             // a string_view of negative length, or its buffer index or range past the buffers declared
};

// Why a column is refused, for the error message.
std::string_view describe(ArrowFault fault);

// Whether schema describes a column this reader takes (utf8, large_utf8,
// string_view, or a struct of one such field); the type's own fields
// (flags, children, dictionary) are checked too.
ArrowFault validate_schema(const ArrowSchema& schema);

// Whether array, described by schema (already validated), can be read
// whole: called before any row of it is read.
ArrowFault validate_array(const ArrowSchema& schema, const ArrowArray& array);

}  // namespace epochsift::python
