// The few facts of the Arrow string layouts that both the validator and the
// reader use: which layout a format names, a row's validity bit and a
// string_view's fields. Callers check bounds first (arrow_validate.hpp).
#pragma once

#include <cstdint>
#include <cstring>

#include "python/arrow_abi.hpp"

namespace epochsift::python {

// Integer: a signed or unsigned integer of 8 to 64 bits, read as its decimal text.
enum class StringLayout : uint8_t { None, Utf8, LargeUtf8, View, Struct, Integer };

// The layout a format string names. Reads at most three bytes, so a format
// of any length (or one that differs only past the first bytes) is judged
// without scanning it.
inline StringLayout string_layout_of(const char* format) {
    if (format == nullptr || format[0] == '\0') return StringLayout::None;
    char const first = format[0], second = format[1];
    if (second == '\0') {
        if (first == 'u') return StringLayout::Utf8;
        if (first == 'U') return StringLayout::LargeUtf8;
        for (char const code : {'c', 'C', 's', 'S', 'i', 'I', 'l', 'L'}) {
            if (first == code) return StringLayout::Integer;
        }
        return StringLayout::None;
    }
    if (format[2] != '\0') return StringLayout::None;
    if (first == 'v' && second == 'u') return StringLayout::View;
    if (first == '+' && second == 's') return StringLayout::Struct;
    return StringLayout::None;
}

// A validity bitmap may be absent when nothing is null.
inline bool row_valid(const ArrowArray& array, int64_t row) {
    if (array.null_count == 0 || array.n_buffers < 1 || array.buffers[0] == nullptr) return true;
    int64_t const index = array.offset + row;
    return (static_cast<const uint8_t*>(array.buffers[0])[index >> 3] >> (index & 7)) & 1;
}

// string_view: 16 bytes a row; up to 12 bytes inline after the length,
// longer texts as (length, prefix, buffer index, offset) into the variadic
// data buffers, which sit between the views and the trailing sizes buffer.
constexpr int32_t STRING_VIEW_INLINE = 12;

struct StringView {
    int32_t length = 0;
    int32_t buffer = 0;  // for length > STRING_VIEW_INLINE
    int32_t offset = 0;
    const uint8_t* inline_bytes = nullptr;
};

inline StringView read_view(const uint8_t* views, int64_t index) {
    uint8_t const* view = views + 16 * index;
    StringView out;
    std::memcpy(&out.length, view, 4);
    std::memcpy(&out.buffer, view + 8, 4);
    std::memcpy(&out.offset, view + 12, 4);
    out.inline_bytes = view + 4;
    return out;
}

}  // namespace epochsift::python
