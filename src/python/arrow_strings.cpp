#include "python/arrow_strings.hpp"

#include "python/arrow_integers.hpp"
#include "python/arrow_layout.hpp"

namespace epochsift::python {

namespace {

// The rows below are read only after validate_array accepted the array, so
// every offset and view lies within the buffers it declares.

template <class Offset>
void append_offset_texts(const ArrowArray& array, int64_t first, int64_t rows, const ArrowArray* parent,
                         TextColumn& out) {
    auto const* offsets = static_cast<const Offset*>(array.buffers[1]);
    auto const* data = static_cast<const char*>(array.buffers[2]);
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = row_valid(array, row) && (parent == nullptr || row_valid(*parent, i));
        out.valid.push_back(valid ? 1 : 0);
        int64_t const begin = valid ? static_cast<int64_t>(offsets[array.offset + row]) : 0;
        int64_t const end = valid ? static_cast<int64_t>(offsets[array.offset + row + 1]) : 0;
        out.texts.emplace_back(end > begin ? data + begin : "", static_cast<std::size_t>(end - begin));
    }
}

void append_view_texts(const ArrowArray& array, int64_t first, int64_t rows, const ArrowArray* parent,
                       TextColumn& out) {
    auto const* views = static_cast<const uint8_t*>(array.buffers[1]);
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = row_valid(array, row) && (parent == nullptr || row_valid(*parent, i));
        out.valid.push_back(valid ? 1 : 0);
        if (!valid) {
            out.texts.emplace_back();
            continue;
        }
        StringView const view = read_view(views, array.offset + row);
        auto const length = static_cast<std::size_t>(view.length);
        if (view.length <= STRING_VIEW_INLINE) {
            out.texts.emplace_back(reinterpret_cast<const char*>(view.inline_bytes), length);
        } else {
            out.texts.emplace_back(static_cast<const char*>(array.buffers[2 + view.buffer]) + view.offset, length);
        }
    }
}

void append_string_array(const ArrowSchema& schema, const ArrowArray& array, int64_t first, int64_t rows,
                         const ArrowArray* parent, TextColumn& out) {
    if (string_layout_of(schema.format) == StringLayout::Integer) {
        out.unsigned_bits = is_unsigned_64_format(schema.format);
        return append_integers(schema.format, array, first, rows, parent, out);
    }
    out.texts.reserve(out.texts.size() + static_cast<std::size_t>(rows));
    out.valid.reserve(out.valid.size() + static_cast<std::size_t>(rows));
    switch (string_layout_of(schema.format)) {
        case StringLayout::Utf8: return append_offset_texts<int32_t>(array, first, rows, parent, out);
        case StringLayout::LargeUtf8: return append_offset_texts<int64_t>(array, first, rows, parent, out);
        case StringLayout::View: return append_view_texts(array, first, rows, parent, out);
        case StringLayout::Integer:  // read above
        case StringLayout::Struct:
        case StringLayout::None: return;  // refused by the validator
    }
}

// Whether rows of the type schema describes can join out's: a column holds
// texts or integers, never both, and unsigned 64-bit integers (kept as their
// bits) with no other.
bool joins(const ArrowSchema& schema, const TextColumn& out) {
    if (out.size() == 0) return true;
    const ArrowSchema& rows = string_layout_of(schema.format) == StringLayout::Struct ? *schema.children[0] : schema;
    if (string_layout_of(rows.format) != StringLayout::Integer) return out.texts.size() == out.size();
    return out.integers.size() == out.size() && out.unsigned_bits == is_unsigned_64_format(rows.format);
}

}  // namespace

ArrowFault append_texts(const ArrowSchema& schema, const ArrowArray& array, TextColumn& out) {
    if (ArrowFault const fault = validate_schema(schema); fault != ArrowFault::None) return fault;
    if (ArrowFault const fault = validate_array(schema, array); fault != ArrowFault::None) return fault;
    if (!joins(schema, out)) return ArrowFault::UnsupportedType;
    if (string_layout_of(schema.format) == StringLayout::Struct) {
        append_string_array(*schema.children[0], *array.children[0], array.offset, array.length, &array, out);
    } else {
        append_string_array(schema, array, 0, array.length, nullptr, out);
    }
    return ArrowFault::None;
}

}  // namespace epochsift::python
