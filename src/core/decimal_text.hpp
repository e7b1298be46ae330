// Room for one integer's decimal text, on the stack where the text is read:
// a column of integers makes a value's text only for the readings that take
// text, never one for every value.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/decimal_digits.hpp"

namespace epochsift {

class DecimalText {
public:
    // The value's text, as std::to_chars writes it; valid until the next
    // write or the end of this object.
    std::string_view write_signed(int64_t value) {
        char* begin = put_digits_before(end(), magnitude(value));
        if (value < 0) *--begin = '-';
        return {begin, static_cast<std::size_t>(end() - begin)};
    }
    std::string_view write_unsigned(uint64_t value) {
        char* const begin = put_digits_before(end(), value);
        return {begin, static_cast<std::size_t>(end() - begin)};
    }

private:
    // "-9223372036854775808" and "18446744073709551615" take 20 characters.
    static constexpr std::size_t ROOM = 20;
    char* end() { return chars_.data() + ROOM; }
    std::array<char, ROOM> chars_;  // not cleared: written from the end, only as far as the digits go
};

}  // namespace epochsift
