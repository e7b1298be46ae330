#include "python/arrow_integers.hpp"

#include <cstring>

namespace epochsift::python {

namespace {

struct IntegerFormat {
    char code;
    uint8_t bytes;
    bool is_signed;
};
constexpr IntegerFormat INTEGER_FORMATS[] = {
    {'c', 1, true}, {'C', 1, false}, {'s', 2, true}, {'S', 2, false},
    {'i', 4, true}, {'I', 4, false}, {'l', 8, true}, {'L', 8, false},
};

const IntegerFormat* integer_format(std::string_view format) {
    if (format.size() != 1) return nullptr;
    for (const IntegerFormat& f : INTEGER_FORMATS) {
        if (f.code == format[0]) return &f;
    }
    return nullptr;
}

bool valid_at(const ArrowArray& array, int64_t row) {
    if (array.null_count == 0 || array.n_buffers < 1 || array.buffers[0] == nullptr) return true;
    return (static_cast<const uint8_t*>(array.buffers[0])[row >> 3] >> (row & 7)) & 1;
}

// The value at index as written (little-endian two's complement of its
// width), sign-extended when signed; a uint64's bits as they are.
int64_t value_at(const IntegerFormat& f, const uint8_t* data, int64_t index) {
    uint64_t bits = 0;
    std::memcpy(&bits, data + index * f.bytes, f.bytes);  // the machine is little-endian, as Arrow's buffers are
    if (!f.is_signed) return static_cast<int64_t>(bits);
    unsigned const shift = 64u - 8u * f.bytes;
    return static_cast<int64_t>(bits << shift) >> shift;
}

}  // namespace

bool is_integer_format(std::string_view format) { return integer_format(format) != nullptr; }

bool is_unsigned_64_format(std::string_view format) { return format == "L"; }

void append_integers(std::string_view format, const ArrowArray& array, int64_t first, int64_t rows,
                     const ArrowArray* parent, TextColumn& out) {
    const IntegerFormat* f = integer_format(format);
    if (f == nullptr || rows <= 0) return;  // the validator admits only integer formats
    auto const* data = static_cast<const uint8_t*>(array.buffers[1]);
    out.integers.reserve(out.integers.size() + static_cast<std::size_t>(rows));
    out.valid.reserve(out.valid.size() + static_cast<std::size_t>(rows));
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = valid_at(array, array.offset + row) && (parent == nullptr || valid_at(*parent, parent->offset + i));
        out.valid.push_back(valid ? 1 : 0);
        out.integers.push_back(valid ? value_at(*f, data, array.offset + row) : 0);
    }
}

}  // namespace epochsift::python
