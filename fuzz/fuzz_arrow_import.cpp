// libFuzzer entry for the Arrow column import: the bytes choose every field
// of an ArrowSchema and ArrowArray (a string array, or a struct of one) —
// lengths, offsets, counts, flags, formats, null pointers, offsets and view
// contents — while the buffers themselves are as large as the declared
// lengths make them (a producer's buffers are the one thing the interface
// cannot check). The validator must refuse whatever would be read outside
// them: ASan sees every row the reader then takes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "python/arrow_strings.hpp"

namespace {

using epochsift::python::append_texts;
using epochsift::python::ArrowFault;
using epochsift::DecimalText;
using epochsift::python::TextColumn;

void release_schema(ArrowSchema* schema) { schema->release = nullptr; }
void release_array(ArrowArray* array) { array->release = nullptr; }

// Rows the fuzzer backs with real buffers; a declared length past it is
// only tried where it must be refused unread (negative, or past 2^59).
constexpr int64_t MAX_BACKED_ROWS = 64;
constexpr int64_t MAX_DATA = 4096;

int64_t pick_count(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return -in.ConsumeIntegralInRange<int64_t>(1, INT64_MAX);
        case 1: return in.ConsumeIntegralInRange<int64_t>(int64_t{1} << 59, INT64_MAX);
        default: return in.ConsumeIntegralInRange<int64_t>(0, MAX_BACKED_ROWS / 2);
    }
}

struct Buffers {
    std::vector<std::vector<uint8_t>> owned;
    std::vector<const void*> pointers;

    const void* add(std::size_t bytes, FuzzedDataProvider& in) {
        std::vector<uint8_t> buffer = in.ConsumeBytes<uint8_t>(bytes);
        buffer.resize(bytes == 0 ? 1 : bytes);
        owned.push_back(std::move(buffer));
        return owned.back().data();
    }
};

// The byte width of an integer layout's values, 0 for a string layout.
std::size_t integer_width(char layout) {
    switch (layout) {
        case 'c': case 'C': return 1;
        case 's': case 'S': return 2;
        case 'i': case 'I': return 4;
        case 'l': case 'L': return 8;
        default: return 0;
    }
}

// One string or integer array's buffers, sized by its declared offset and length.
void fill_string_array(FuzzedDataProvider& in, char layout, ArrowArray& array, Buffers& b) {
    bool const backed = array.offset >= 0 && array.length >= 0 && array.offset <= MAX_BACKED_ROWS &&
                        array.length <= MAX_BACKED_ROWS - array.offset;
    int64_t const rows = backed ? array.offset + array.length : 0;
    b.pointers.push_back(in.ConsumeBool() ? b.add(static_cast<std::size_t>((rows + 7) / 8), in) : nullptr);
    if (std::size_t const width = integer_width(layout); width != 0) {
        b.pointers.push_back(in.ConsumeBool() ? b.add(width * static_cast<std::size_t>(rows), in) : nullptr);
        return;
    }
    if (layout == 'v') {
        std::vector<uint8_t>& views = b.owned.emplace_back(static_cast<std::size_t>(16 * rows + 1));
        for (int64_t r = 0; r < rows; ++r) {
            int32_t const fields[4] = {in.ConsumeIntegralInRange<int32_t>(-2, 40), 0,
                                       in.ConsumeIntegralInRange<int32_t>(-1, 3),
                                       in.ConsumeIntegralInRange<int32_t>(-2, 40)};
            std::memcpy(views.data() + 16 * r, fields, sizeof fields);
        }
        b.pointers.push_back(in.ConsumeBool() ? views.data() : nullptr);
        std::size_t const data_buffers = in.ConsumeIntegralInRange<std::size_t>(0, 3);
        std::vector<int64_t> sizes;
        for (std::size_t i = 0; i < data_buffers; ++i) {
            sizes.push_back(in.ConsumeIntegralInRange<int64_t>(0, 48));
            b.pointers.push_back(in.ConsumeBool() ? b.add(static_cast<std::size_t>(sizes.back()), in) : nullptr);
        }
        std::vector<uint8_t>& size_bytes = b.owned.emplace_back(8 * sizes.size() + 1);
        if (!sizes.empty()) std::memcpy(size_bytes.data(), sizes.data(), 8 * sizes.size());
        b.pointers.push_back(in.ConsumeBool() ? size_bytes.data() : nullptr);
        return;
    }
    std::size_t const width = layout == 'U' ? 8 : 4;
    std::vector<uint8_t>& offsets = b.owned.emplace_back(width * static_cast<std::size_t>(rows + 1));
    int64_t last = 0;
    for (int64_t r = 0; r <= rows; ++r) {
        int64_t value = in.ConsumeBool() ? last + in.ConsumeIntegralInRange<int64_t>(0, 8)
                                         : in.ConsumeIntegralInRange<int64_t>(-3, MAX_DATA);
        value = value > MAX_DATA ? MAX_DATA : value;  // within the data buffer below
        last = value;
        if (width == 4) {
            auto const narrow = static_cast<int32_t>(value);
            std::memcpy(offsets.data() + 4 * r, &narrow, 4);
        } else {
            std::memcpy(offsets.data() + 8 * r, &value, 8);
        }
    }
    b.pointers.push_back(in.ConsumeBool() ? offsets.data() : nullptr);
    // The data buffer as large as the largest offset says.
    b.pointers.push_back(in.ConsumeBool() ? b.add(static_cast<std::size_t>(MAX_DATA + 8), in) : nullptr);
}

char pick_layout(FuzzedDataProvider& in) {
    static char const LAYOUTS[] = {'u', 'U', 'v', 'c', 'S', 'i', 'l', 'L'};
    return LAYOUTS[in.ConsumeIntegralInRange<std::size_t>(0, std::size(LAYOUTS) - 1)];
}

// The layout a format names, or `otherwise` where it names none of ours.
char layout_named(const char* format, char otherwise) {
    std::size_t const length = std::strlen(format);
    if (length == 1 && (format[0] == 'u' || format[0] == 'U' || integer_width(format[0]) != 0)) return format[0];
    if (length == 2 && format[0] == 'v' && format[1] == 'u') return 'v';
    return otherwise;
}

const char* format_of(char layout) {
    switch (layout) {
        case 'u': return "u";
        case 'U': return "U";
        case 'v': return "vu";
        case 'c': return "c";
        case 'S': return "S";
        case 'i': return "i";
        case 'l': return "l";
        default: return "L";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    bool const as_struct = in.ConsumeBool();
    char layout = pick_layout(in);
    std::string const odd_format = in.ConsumeRandomLengthString(16);
    bool const use_odd_format = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    // An odd format that names a layout gets that layout's buffers: a
    // buffer's size (an offset's width among them) is the one fact the
    // interface does not carry. (The format is read as C text: up to the
    // first NUL the fuzzer put in.)
    if (use_odd_format) layout = layout_named(odd_format.c_str(), layout);

    ArrowSchema field{};
    field.format = use_odd_format ? odd_format.c_str() : format_of(layout);
    field.flags = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegral<int64_t>() : ARROW_FLAG_NULLABLE;
    field.n_children = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegralInRange<int64_t>(-2, 2) : 0;
    field.release = release_schema;
    ArrowSchema other_schema{};
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) field.dictionary = &other_schema;

    ArrowArray child{};
    child.length = pick_count(in);
    child.offset = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? pick_count(in) : in.ConsumeIntegralInRange<int64_t>(0, 4);
    child.null_count = in.ConsumeIntegralInRange<int64_t>(-2, 3);
    child.release = release_array;
    Buffers child_buffers;
    fill_string_array(in, layout, child, child_buffers);
    child.n_buffers = static_cast<int64_t>(child_buffers.pointers.size());
    // Too few buffers for any string layout: refused before any is read.
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) child.n_buffers = in.ConsumeIntegralInRange<int64_t>(-1, 2);
    child.buffers = in.ConsumeIntegralInRange<int>(0, 31) == 0 ? nullptr : child_buffers.pointers.data();
    child.n_children = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegralInRange<int64_t>(-2, 2) : 0;
    ArrowArray other_array{};
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) child.dictionary = &other_array;

    ArrowSchema parent{};
    ArrowSchema* schema_children[1] = {in.ConsumeIntegralInRange<int>(0, 31) == 0 ? nullptr : &field};
    ArrowArray batch{};
    ArrowArray* array_children[1] = {in.ConsumeIntegralInRange<int>(0, 31) == 0 ? nullptr : &child};
    Buffers batch_buffers;
    if (as_struct) {
        parent.format = "+s";
        parent.n_children = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegralInRange<int64_t>(-1, 2) : 1;
        parent.children = in.ConsumeIntegralInRange<int>(0, 31) == 0 ? nullptr : schema_children;
        parent.release = release_schema;
        batch.length = in.ConsumeBool() ? child.length : pick_count(in);
        batch.offset = in.ConsumeIntegralInRange<int64_t>(0, 2);
        batch.null_count = in.ConsumeIntegralInRange<int64_t>(-1, 2);
        int64_t const rows = batch.length >= 0 && batch.length <= MAX_BACKED_ROWS ? batch.offset + batch.length : 0;
        batch_buffers.pointers.push_back(in.ConsumeBool() ? batch_buffers.add(static_cast<std::size_t>((rows + 7) / 8), in)
                                                          : nullptr);
        batch.n_buffers = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegralInRange<int64_t>(-1, 3) : 1;
        batch.buffers = batch.n_buffers > 1 ? nullptr : batch_buffers.pointers.data();
        batch.n_children = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegralInRange<int64_t>(-1, 2) : 1;
        batch.children = in.ConsumeIntegralInRange<int>(0, 31) == 0 ? nullptr : array_children;
        batch.release = release_array;
    }
    ArrowSchema const& schema = as_struct ? parent : field;
    ArrowArray const& array = as_struct ? batch : child;
    // A declared n_buffers past the buffers held is a producer's lie about
    // its own memory, like a length past its buffers: not tried.
    if (child.buffers != nullptr && child.n_buffers > static_cast<int64_t>(child_buffers.pointers.size())) return 0;

    TextColumn texts;
    ArrowFault const fault = append_texts(schema, array, texts);
    if (fault == ArrowFault::None) {
        // A column holds string rows or integer rows, one a validity entry.
        bool const one_kind = texts.texts.empty() || texts.integers.empty();
        if (!one_kind || texts.texts.size() + texts.integers.size() != texts.valid.size()) {
            std::fprintf(stderr, "arrow: rows and validity differ\n");
            std::abort();
        }
        // Every row read is within the buffers: touch each byte of its text.
        unsigned sum = 0;
        for (std::size_t row = 0; row < texts.size(); ++row) {
            DecimalText room;
            for (char c : texts.text(row, room)) sum += static_cast<unsigned char>(c);
        }
        static volatile unsigned kept_reads;  // the reads are not optimised away
        kept_reads = sum;
    } else if (!texts.texts.empty() || !texts.integers.empty() || !texts.valid.empty()) {
        std::fprintf(stderr, "arrow: rows appended before a fault\n");
        std::abort();
    }
    return 0;
}
