#include "formats/hex_bytes.hpp"

#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

bool is_separator(char c) { return c == ' ' || c == ':' || c == '-'; }

}  // namespace

std::optional<ByteString> parse_hex_bytes(std::string_view text, bool digits_are_hex) {
    bool const prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (prefixed) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    if (!prefixed && !digits_are_hex && all_ascii_digits(text)) return std::nullopt;

    ByteString out;
    char const separator = text.size() > 2 && is_separator(text[2]) ? text[2] : '\0';
    if (separator != '\0') {
        // pair, then (sep pair) repeated: length 3k - 1.
        if ((text.size() + 1) % 3 != 0 || (text.size() + 1) / 3 > MAX_HEX_BYTES) return std::nullopt;
        for (std::size_t i = 0; i < text.size(); i += 3) {
            if (i + 2 < text.size() && text[i + 2] != separator) return std::nullopt;
            int const high = hex_value(text[i]);
            int const low = hex_value(text[i + 1]);
            if (high < 0 || low < 0) return std::nullopt;
            out.bytes[out.size++] = static_cast<uint8_t>(high << 4 | low);
        }
        return out;
    }
    // Without a prefix an odd run is no byte string; with it, the first
    // nibble stands alone, as in a number.
    bool const odd = text.size() % 2 != 0;
    if (odd && !prefixed) return std::nullopt;
    std::size_t const count = (text.size() + 1) / 2;
    if (count > MAX_HEX_BYTES) return std::nullopt;
    std::size_t i = 0;
    if (odd) {
        int const low = hex_value(text[0]);
        if (low < 0) return std::nullopt;
        out.bytes[out.size++] = static_cast<uint8_t>(low);
        i = 1;
    }
    for (; i < text.size(); i += 2) {
        int const high = hex_value(text[i]);
        int const low = hex_value(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.bytes[out.size++] = static_cast<uint8_t>(high << 4 | low);
    }
    return out;
}

std::optional<ByteString> parse_field_digits(std::string_view text) {
    bool const field_width = text.size() == 4 || text.size() == 8 || text.size() == 16;
    if (!field_width || !all_ascii_digits(text)) return std::nullopt;
    return parse_hex_bytes(text, true);
}

uint64_t unsigned_value(std::span<const uint8_t> bytes, ByteOrder order) {
    uint64_t value = 0;
    std::size_t const n = bytes.size() < 8 ? bytes.size() : 8;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t const k = order == ByteOrder::Big ? i : n - 1 - i;  // most significant first
        value = value << 8 | bytes[k];
    }
    return value;
}

int64_t signed_value(std::span<const uint8_t> bytes, ByteOrder order) {
    uint64_t const value = unsigned_value(bytes, order);
    unsigned const width = static_cast<unsigned>(bytes.size() < 8 ? bytes.size() : 8) * 8;
    if (width == 64) return static_cast<int64_t>(value);
    uint64_t const sign = uint64_t{1} << (width - 1);
    return static_cast<int64_t>((value ^ sign) - sign);  // [-2^(w-1), 2^(w-1))
}

}  // namespace epochsift
