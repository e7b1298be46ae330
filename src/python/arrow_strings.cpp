#include "python/arrow_strings.hpp"

#include "python/arrow_integers.hpp"

#include <cstring>
#include <string_view>

namespace epochsift::python {

namespace {

enum class Layout : uint8_t { Utf8, LargeUtf8, View };

bool layout_of(std::string_view format, Layout& layout) {
    if (format == "u") layout = Layout::Utf8;
    else if (format == "U") layout = Layout::LargeUtf8;
    else if (format == "vu") layout = Layout::View;
    else return false;
    return true;
}

bool bit_set(const void* bitmap, int64_t index) {
    return (static_cast<const uint8_t*>(bitmap)[index >> 3] >> (index & 7)) & 1;
}

// A validity bitmap may be absent when nothing is null.
bool row_valid(const ArrowArray& array, int64_t row) {
    if (array.null_count == 0 || array.n_buffers < 1 || array.buffers[0] == nullptr) return true;
    return bit_set(array.buffers[0], array.offset + row);
}

template <class Offset>
ArrowReadFault append_offset_texts(const ArrowArray& array, int64_t first, int64_t rows, const ArrowArray* parent,
                                   TextColumn& out) {
    if (array.n_buffers != 3) return ArrowReadFault::Malformed;
    auto const* offsets = static_cast<const Offset*>(array.buffers[1]);
    auto const* data = static_cast<const char*>(array.buffers[2]);
    if (rows > 0 && offsets == nullptr) return ArrowReadFault::Malformed;
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = row_valid(array, row) && (parent == nullptr || row_valid(*parent, i));
        out.valid.push_back(valid ? 1 : 0);
        if (!valid) {
            out.texts.emplace_back();
            continue;
        }
        int64_t const begin = static_cast<int64_t>(offsets[array.offset + row]);
        int64_t const end = static_cast<int64_t>(offsets[array.offset + row + 1]);
        if (end < begin || (end > begin && data == nullptr)) return ArrowReadFault::Malformed;
        out.texts.emplace_back(end > begin ? data + begin : "", static_cast<std::size_t>(end - begin));
    }
    return ArrowReadFault::None;
}

// string_view: 16 bytes a row; up to 12 bytes inline after the length,
// longer texts as (length, prefix, buffer index, offset) into the variadic
// data buffers, which sit between the views and the trailing sizes buffer.
ArrowReadFault append_view_texts(const ArrowArray& array, int64_t first, int64_t rows, const ArrowArray* parent,
                                 TextColumn& out) {
    if (array.n_buffers < 3) return ArrowReadFault::Malformed;
    auto const* views = static_cast<const uint8_t*>(array.buffers[1]);
    int64_t const data_buffers = array.n_buffers - 3;
    if (rows > 0 && views == nullptr) return ArrowReadFault::Malformed;
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = row_valid(array, row) && (parent == nullptr || row_valid(*parent, i));
        out.valid.push_back(valid ? 1 : 0);
        if (!valid) {
            out.texts.emplace_back();
            continue;
        }
        uint8_t const* view = views + 16 * (array.offset + row);
        int32_t length = 0;
        std::memcpy(&length, view, 4);
        if (length < 0) return ArrowReadFault::Malformed;
        if (length <= 12) {
            out.texts.emplace_back(reinterpret_cast<const char*>(view + 4), static_cast<std::size_t>(length));
            continue;
        }
        int32_t buffer = 0;
        int32_t offset = 0;
        std::memcpy(&buffer, view + 8, 4);
        std::memcpy(&offset, view + 12, 4);
        if (buffer < 0 || buffer >= data_buffers || offset < 0 || array.buffers[2 + buffer] == nullptr) {
            return ArrowReadFault::Malformed;
        }
        out.texts.emplace_back(static_cast<const char*>(array.buffers[2 + buffer]) + offset,
                               static_cast<std::size_t>(length));
    }
    return ArrowReadFault::None;
}

ArrowReadFault append_string_array(const ArrowSchema& schema, const ArrowArray& array, int64_t first, int64_t rows,
                                   const ArrowArray* parent, TextColumn& out) {
    Layout layout;
    // A dictionary's indices are integers too, but not the values.
    if (schema.format != nullptr && schema.dictionary == nullptr && is_integer_format(schema.format)) {
        return append_integer_texts(schema.format, array, first, rows, parent, out);  // read as decimal text
    }
    if (schema.format == nullptr || !layout_of(schema.format, layout)) return ArrowReadFault::UnsupportedType;
    out.texts.reserve(out.texts.size() + static_cast<std::size_t>(rows));
    out.valid.reserve(out.valid.size() + static_cast<std::size_t>(rows));
    switch (layout) {
        case Layout::Utf8: return append_offset_texts<int32_t>(array, first, rows, parent, out);
        case Layout::LargeUtf8: return append_offset_texts<int64_t>(array, first, rows, parent, out);
        case Layout::View: return append_view_texts(array, first, rows, parent, out);
    }
    return ArrowReadFault::UnsupportedType;
}

}  // namespace

ArrowReadFault append_texts(const ArrowSchema& schema, const ArrowArray& array, TextColumn& out) {
    if (schema.format != nullptr && std::string_view(schema.format) == "+s") {
        // A record batch or struct of exactly one string field.
        if (schema.n_children != 1 || array.n_children != 1) return ArrowReadFault::UnsupportedType;
        if (schema.children == nullptr || array.children == nullptr) return ArrowReadFault::Malformed;
        return append_string_array(*schema.children[0], *array.children[0], array.offset, array.length, &array, out);
    }
    return append_string_array(schema, array, 0, array.length, nullptr, out);
}

}  // namespace epochsift::python
