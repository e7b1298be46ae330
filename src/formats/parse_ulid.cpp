// ULID: 26 Crockford base32 symbols, the first ten of which are Unix
// milliseconds.
#include <array>

#include "formats/identifier_parsers.hpp"

namespace epochsift {

namespace {

constexpr std::size_t ULID_LEN = 26;
constexpr std::size_t TIME_SYMBOLS = 10;  // 50 bits, of which the top two must be clear

// Symbol values by byte, -1 outside the alphabet. I, L, O and U are not
// read as aliases: a ULID is written by machines, and those letters mean a
// typo or a different format.
constexpr std::array<int8_t, 256> CROCKFORD = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    constexpr std::string_view ALPHABET = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    for (std::size_t i = 0; i < ALPHABET.size(); ++i) {
        auto const upper = static_cast<unsigned char>(ALPHABET[i]);
        table[upper] = static_cast<int8_t>(i);
        if (upper >= 'A') table[upper - 'A' + 'a'] = static_cast<int8_t>(i);
    }
    return table;
}();

}  // namespace

std::optional<PosixNs> parse_ulid(std::string_view text) {
    if (text.size() != ULID_LEN) return std::nullopt;
    uint64_t millis = 0;
    for (std::size_t i = 0; i < ULID_LEN; ++i) {
        int const symbol = CROCKFORD[static_cast<unsigned char>(text[i])];
        if (symbol < 0) return std::nullopt;
        if (i < TIME_SYMBOLS) millis = millis << 5 | static_cast<uint64_t>(symbol);
    }
    // 26 symbols carry 130 bits; a ULID is 128, so the first symbol is 0-7.
    if (millis >> 48 != 0) return std::nullopt;
    return PosixNs{i128{static_cast<int64_t>(millis)} * NS_PER_MS};
}

}  // namespace epochsift
