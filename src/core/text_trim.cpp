#include "core/text_trim.hpp"

namespace epochsift {

namespace {

// Byte length of the White_Space character that starts at text[i], or 0.
std::size_t white_space_at(std::string_view text, std::size_t i) {
    auto const byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    std::size_t const left = text.size() - i;
    unsigned char const b0 = byte(0);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
    if (b0 == 0xC2 && left >= 2) return (byte(1) == 0x85 || byte(1) == 0xA0) ? 2 : 0;  // U+0085, U+00A0
    if (left < 3) return 0;
    unsigned char const b1 = byte(1), b2 = byte(2);
    if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
    if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
    if (b0 != 0xE2) return 0;
    if (b1 == 0x80) {  // U+2000..U+200A, U+2028, U+2029, U+202F
        return (b2 <= 0x8A && b2 >= 0x80) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF ? 3 : 0;
    }
    return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;  // U+205F
}

}  // namespace

std::string_view trim_white_space_slow(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t const width = white_space_at(text, begin);
        if (width == 0) break;
        begin += width;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // A White_Space character is 1, 2 or 3 bytes; try each ending here.
        std::size_t width = 0;
        for (std::size_t w = 1; w <= 3 && w <= end - begin && width == 0; ++w) {
            if (white_space_at(text.substr(0, end), end - w) == w) width = w;
        }
        if (width == 0) break;
        end -= width;
    }
    return text.substr(begin, end - begin);
}

}  // namespace epochsift
