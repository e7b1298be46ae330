#include "python/arrow_integers.hpp"

#include <charconv>
#include <cstring>
#include <memory>

namespace epochsift::python {

namespace {

// "-9223372036854775808" and "18446744073709551615" take 20 characters.
constexpr std::size_t MAX_DIGITS = 20;

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
// width) into out as decimal text; its length. value gets it as int64 and
// fits says whether it does.
std::size_t write_value(const IntegerFormat& f, const uint8_t* data, int64_t index, char* out, int64_t& value,
                        bool& fits) {
    uint64_t bits = 0;
    std::memcpy(&bits, data + index * f.bytes, f.bytes);  // the machine is little-endian, as Arrow's buffers are
    std::to_chars_result written{};
    if (f.is_signed) {
        unsigned const shift = 64u - 8u * f.bytes;
        value = static_cast<int64_t>(bits << shift) >> shift;  // sign-extended
        fits = true;
        written = std::to_chars(out, out + MAX_DIGITS, value);
    } else {
        value = static_cast<int64_t>(bits);
        fits = bits <= static_cast<uint64_t>(INT64_MAX);
        written = std::to_chars(out, out + MAX_DIGITS, bits);
    }
    return static_cast<std::size_t>(written.ptr - out);
}

}  // namespace

bool is_integer_format(std::string_view format) { return integer_format(format) != nullptr; }

void append_integer_texts(std::string_view format, const ArrowArray& array, int64_t first, int64_t rows,
                          const ArrowArray* parent, TextColumn& out) {
    const IntegerFormat* f = integer_format(format);
    if (f == nullptr || rows <= 0) return;  // the validator admits only integer formats
    auto const* data = static_cast<const uint8_t*>(array.buffers[1]);
    out.integers.reserve(out.integers.size() + static_cast<std::size_t>(rows));
    // Written before it is read: not zeroed first (a page fault and a clear a page saved).
    auto block = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(rows) * MAX_DIGITS + 1);
    char* cursor = block.get();
    for (int64_t i = 0; i < rows; ++i) {
        int64_t const row = first + i;
        bool const valid = valid_at(array, array.offset + row) && (parent == nullptr || valid_at(*parent, parent->offset + i));
        out.valid.push_back(valid ? 1 : 0);
        if (!valid) {
            out.texts.emplace_back();
            out.integers.push_back(0);
            continue;
        }
        int64_t value = 0;
        bool fits = true;
        std::size_t const length = write_value(*f, data, array.offset + row, cursor, value, fits);
        out.texts.emplace_back(cursor, length);
        out.integers.push_back(value);
        out.integers_fit = out.integers_fit && fits;
        cursor += length;
    }
    out.owned.push_back(std::move(block));  // the views point into it; moving the pointer keeps them valid
}

}  // namespace epochsift::python
