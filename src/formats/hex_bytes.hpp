// Text that spells raw bytes in hex: "6817855a", "0x6817855A",
// "00 00 01 8b", "aa:bb:cc", "aa-bb-cc". One to sixteen bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/byte_order.hpp"

namespace epochsift {

inline constexpr std::size_t MAX_HEX_BYTES = 16;

// The bytes in the order the text wrote them.
struct ByteString {
    std::array<uint8_t, MAX_HEX_BYTES> bytes{};
    uint8_t size = 0;

    std::span<const uint8_t> view() const { return {bytes.data(), size}; }
};

// Grammar (after trimming):
//   hex-bytes = ["0x" / "0X"] pair *(sep pair)   with one sep character
//                                                 throughout: " ", ":" or "-"
//             / ["0x" / "0X"] 1*32HEXDIG          no separator
// A run of digits without a separator must be even in length unless it has
// the prefix ("0x1" is one byte, "123" is no byte string). Text of decimal
// digits alone is a decimal number, not bytes, unless digits_are_hex (the
// command line's --hex) says otherwise.
std::optional<ByteString> parse_hex_bytes(std::string_view text, bool digits_are_hex = false);

// Decimal digits alone as the hex of a 2-, 4- or 8-byte field (4, 8 or 16
// digits): how a column of hex bytes writes a value that has no letter. Other
// runs of digits are numbers only (no binary field is five bytes wide).
std::optional<ByteString> parse_field_digits(std::string_view text);

// The unsigned value of bytes 0..n in the given order; n at most 8.
uint64_t unsigned_value(std::span<const uint8_t> bytes, ByteOrder order);

// The same sign-extended from bytes.size() * 8 bits.
int64_t signed_value(std::span<const uint8_t> bytes, ByteOrder order);

}  // namespace epochsift
