#include "python/arrow_validate.hpp"

#include <array>
#include <cstring>
#include <limits>

#include "python/arrow_layout.hpp"

namespace epochsift::python {

namespace {

struct FaultText {
    ArrowFault fault;
    std::string_view text;
};
constexpr FaultText FAULT_TEXTS[] = {
    {ArrowFault::None, "no fault"},
    {ArrowFault::UnsupportedType, "not a column of Arrow strings or integers"},
    {ArrowFault::ReleasedSchema, "the schema was already released"},
    {ArrowFault::ReleasedArray, "the array was already released"},
    {ArrowFault::BadSchemaChildren, "the schema's n_children does not match its children"},
    {ArrowFault::BadSchemaFlags, "the schema's flags are not valid for its type"},
    {ArrowFault::UnexpectedDictionary, "a string column has a dictionary"},
    {ArrowFault::NegativeLength, "the array's length is negative"},
    {ArrowFault::NegativeOffset, "the array's offset is negative"},
    {ArrowFault::LengthTooLarge, "the array's offset plus length is too large for any buffer"},
    {ArrowFault::BadNullCount, "the array's null_count is outside -1 to its length"},
    {ArrowFault::BadBufferCount, "the array's n_buffers is not what its format requires"},
    {ArrowFault::MissingBuffers, "the array's buffers pointer is null"},
    {ArrowFault::MissingValidity, "the array counts nulls but has no validity bitmap"},
    {ArrowFault::MissingOffsets, "the array has rows but no offsets or views buffer"},
    {ArrowFault::BadOffsets, "the array's offsets are negative or decreasing"},
    {ArrowFault::MissingData, "the array's offsets span text but its data buffer is null"},
    {ArrowFault::BadArrayChildren, "the array's children do not match its format, or one is null"},
    {ArrowFault::ShortChild, "a struct's child is shorter than the struct"},
    {ArrowFault::BadView, "a string_view's length, buffer index or offset lies outside the buffers declared"},
};
static_assert(std::size(FAULT_TEXTS) == static_cast<std::size_t>(ArrowFault::BadView) + 1);
consteval bool fault_texts_in_order() {
    for (std::size_t i = 0; i < std::size(FAULT_TEXTS); ++i) {
        if (static_cast<std::size_t>(FAULT_TEXTS[i].fault) != i) return false;
    }
    return true;
}
static_assert(fault_texts_in_order(), "each fault's text sits at the fault's index");

constexpr int64_t KNOWN_FLAGS = ARROW_FLAG_DICTIONARY_ORDERED | ARROW_FLAG_NULLABLE | ARROW_FLAG_MAP_KEYS_SORTED;
// Rows an array may span: 16 bytes a row (a view, or two string_view
// results) must still fit a signed 64-bit byte count.
constexpr int64_t MAX_ROWS = std::numeric_limits<int64_t>::max() / 16 - 1;

ArrowFault validate_string_schema(const ArrowSchema& schema) {
    if (schema.n_children != 0) return ArrowFault::UnsupportedType;
    return ArrowFault::None;
}

// The fields every array has. A child's release is its parent's to call,
// so only the top array must have one.
ArrowFault validate_counts(const ArrowArray& array) {
    if (array.length < 0) return ArrowFault::NegativeLength;
    if (array.offset < 0) return ArrowFault::NegativeOffset;
    if (array.length > MAX_ROWS || array.offset > MAX_ROWS - array.length) return ArrowFault::LengthTooLarge;
    if (array.null_count < -1 || array.null_count > array.length) return ArrowFault::BadNullCount;
    if (array.n_buffers < 0) return ArrowFault::BadBufferCount;
    if (array.n_buffers > 0 && array.buffers == nullptr) return ArrowFault::MissingBuffers;
    if (array.dictionary != nullptr) return ArrowFault::UnexpectedDictionary;
    if (array.n_children < 0 || (array.n_children > 0 && array.children == nullptr)) {
        return ArrowFault::BadArrayChildren;
    }
    // Nulls counted (or not yet counted, -1) need the bitmap only when some
    // row may be null.
    if (array.n_buffers > 0 && array.null_count > 0 && array.buffers[0] == nullptr) return ArrowFault::MissingValidity;
    return ArrowFault::None;
}

template <class Offset>
ArrowFault validate_offsets(const ArrowArray& array) {
    if (array.n_buffers != 3) return ArrowFault::BadBufferCount;
    if (array.n_children != 0) return ArrowFault::BadArrayChildren;
    if (array.length == 0) return ArrowFault::None;  // producers may leave an empty array's buffers null
    auto const* offsets = static_cast<const Offset*>(array.buffers[1]);
    if (offsets == nullptr) return ArrowFault::MissingOffsets;
    // The offsets of the rows read: offset .. offset + length, inclusive.
    int64_t previous = static_cast<int64_t>(offsets[array.offset]);
    if (previous < 0) return ArrowFault::BadOffsets;
    int64_t const first = previous;
    for (int64_t i = 1; i <= array.length; ++i) {
        int64_t const current = static_cast<int64_t>(offsets[array.offset + i]);
        if (current < previous) return ArrowFault::BadOffsets;
        previous = current;
    }
    if (previous > first && array.buffers[2] == nullptr) return ArrowFault::MissingData;
    return ArrowFault::None;
}

// Buffers: validity, then the values, fixed width.
ArrowFault validate_integers(const ArrowArray& array) {
    if (array.n_buffers != 2) return ArrowFault::BadBufferCount;
    if (array.n_children != 0) return ArrowFault::BadArrayChildren;
    if (array.length > 0 && array.buffers[1] == nullptr) return ArrowFault::MissingData;
    return ArrowFault::None;
}

// Buffers: validity, views, the variadic data buffers, then their sizes.
ArrowFault validate_views(const ArrowArray& array) {
    if (array.n_buffers < 3) return ArrowFault::BadBufferCount;
    if (array.n_children != 0) return ArrowFault::BadArrayChildren;
    int64_t const data_buffers = array.n_buffers - 3;
    auto const* sizes = static_cast<const int64_t*>(array.buffers[array.n_buffers - 1]);
    if (data_buffers > 0 && sizes == nullptr) return ArrowFault::MissingBuffers;
    for (int64_t b = 0; b < data_buffers; ++b) {
        if (sizes[b] < 0) return ArrowFault::BadView;
    }
    if (array.length == 0) return ArrowFault::None;
    auto const* views = static_cast<const uint8_t*>(array.buffers[1]);
    if (views == nullptr) return ArrowFault::MissingOffsets;
    for (int64_t row = 0; row < array.length; ++row) {
        StringView const view = read_view(views, array.offset + row);
        if (view.length < 0) return ArrowFault::BadView;
        if (view.length <= STRING_VIEW_INLINE) continue;
        // A null row's view may hold anything; a valid row's must point
        // inside a declared buffer.
        if (!row_valid(array, row)) continue;
        if (view.buffer < 0 || view.buffer >= data_buffers || view.offset < 0) return ArrowFault::BadView;
        if (int64_t{view.offset} + view.length > sizes[view.buffer]) return ArrowFault::BadView;
        if (array.buffers[2 + view.buffer] == nullptr) return ArrowFault::BadView;
    }
    return ArrowFault::None;
}

ArrowFault validate_string_array(const ArrowSchema& schema, const ArrowArray& array) {
    if (ArrowFault const fault = validate_counts(array); fault != ArrowFault::None) return fault;
    switch (string_layout_of(schema.format)) {
        case StringLayout::Utf8: return validate_offsets<int32_t>(array);
        case StringLayout::LargeUtf8: return validate_offsets<int64_t>(array);
        case StringLayout::View: return validate_views(array);
        case StringLayout::Integer: return validate_integers(array);
        case StringLayout::Struct:
        case StringLayout::None: break;
    }
    return ArrowFault::UnsupportedType;
}

}  // namespace

std::string_view describe(ArrowFault fault) {
    auto const index = static_cast<std::size_t>(fault);
    return index < std::size(FAULT_TEXTS) ? FAULT_TEXTS[index].text : "unknown fault";
}

ArrowFault validate_schema(const ArrowSchema& schema) {
    if (schema.release == nullptr) return ArrowFault::ReleasedSchema;
    if (schema.n_children < 0 || (schema.n_children > 0 && schema.children == nullptr)) {
        return ArrowFault::BadSchemaChildren;
    }
    // A dictionary-encoded column is well formed, but its integers are
    // indices into the dictionary, not values: not a column this reads.
    if (schema.dictionary != nullptr && string_layout_of(schema.format) == StringLayout::Integer) {
        return ArrowFault::UnsupportedType;
    }
    // Only nullable applies to strings and structs; the other two belong
    // to dictionaries and maps.
    if ((schema.flags & ~int64_t{ARROW_FLAG_NULLABLE}) != 0) {
        return (schema.flags & ~KNOWN_FLAGS) != 0 || schema.dictionary == nullptr ? ArrowFault::BadSchemaFlags
                                                                                  : ArrowFault::UnexpectedDictionary;
    }
    StringLayout const layout = string_layout_of(schema.format);
    if (layout == StringLayout::None) return ArrowFault::UnsupportedType;
    if (schema.dictionary != nullptr) return ArrowFault::UnexpectedDictionary;
    if (layout != StringLayout::Struct) return validate_string_schema(schema);
    // A record batch or struct of exactly one string field.
    if (schema.n_children != 1) return ArrowFault::UnsupportedType;
    ArrowSchema const* child = schema.children[0];
    if (child == nullptr) return ArrowFault::BadSchemaChildren;
    if (child->n_children < 0 || (child->n_children > 0 && child->children == nullptr)) {
        return ArrowFault::BadSchemaChildren;
    }
    StringLayout const child_layout = string_layout_of(child->format);
    if (child->dictionary != nullptr && child_layout == StringLayout::Integer) return ArrowFault::UnsupportedType;
    if ((child->flags & ~int64_t{ARROW_FLAG_NULLABLE}) != 0) return ArrowFault::BadSchemaFlags;
    if (child_layout == StringLayout::None || child_layout == StringLayout::Struct) return ArrowFault::UnsupportedType;
    if (child->dictionary != nullptr) return ArrowFault::UnexpectedDictionary;
    return validate_string_schema(*child);
}

ArrowFault validate_array(const ArrowSchema& schema, const ArrowArray& array) {
    if (array.release == nullptr) return ArrowFault::ReleasedArray;
    if (string_layout_of(schema.format) != StringLayout::Struct) return validate_string_array(schema, array);
    if (ArrowFault const fault = validate_counts(array); fault != ArrowFault::None) return fault;
    if (array.n_buffers != 1) return ArrowFault::BadBufferCount;
    if (array.n_children != 1 || array.children[0] == nullptr) return ArrowFault::BadArrayChildren;
    ArrowArray const& child = *array.children[0];
    if (ArrowFault const fault = validate_string_array(*schema.children[0], child); fault != ArrowFault::None) {
        return fault;
    }
    // The struct's rows offset .. offset + length are the child's rows.
    if (child.length < array.offset + array.length) return ArrowFault::ShortChild;
    return ArrowFault::None;
}

}  // namespace epochsift::python
