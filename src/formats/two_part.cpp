#include "formats/two_part.hpp"

#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

std::optional<uint32_t> hex_word(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    if (text.size() > 8) return std::nullopt;
    auto const value = hex_number(text);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

std::optional<uint64_t> decimal(std::string_view text, std::size_t max_digits) {
    if (text.empty() || text.size() > max_digits || !all_ascii_digits(text)) return std::nullopt;
    uint64_t value = 0;
    for (char const c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

}  // namespace

std::optional<WordPair> parse_hex_word_pair(std::string_view text) {
    std::size_t const colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view const first = text.substr(0, colon), second = text.substr(colon + 1);
    if (all_ascii_digits(first) && all_ascii_digits(second)) return std::nullopt;
    auto const a = hex_word(first), b = hex_word(second);
    if (!a || !b) return std::nullopt;
    return WordPair{*a, *b};
}

std::optional<WordPair> parse_decimal_word_pair(std::string_view text) {
    std::size_t const comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    auto const low = decimal(text.substr(0, comma), 10), high = decimal(text.substr(comma + 1), 10);
    if (!low || !high || *low > 0xFFFF'FFFF || *high > 0xFFFF'FFFF) return std::nullopt;
    return WordPair{static_cast<uint32_t>(*low), static_cast<uint32_t>(*high)};
}

std::optional<PosixNs> parse_seconds_nanoseconds(std::string_view text) {
    std::size_t const colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view seconds_text = text.substr(0, colon);
    bool const negative = !seconds_text.empty() && seconds_text[0] == '-';
    if (negative) seconds_text.remove_prefix(1);
    auto const seconds = decimal(seconds_text, 12);
    auto const nanos = decimal(text.substr(colon + 1), 9);
    if (!seconds || !nanos) return std::nullopt;
    auto const signed_seconds = negative ? -static_cast<int64_t>(*seconds) : static_cast<int64_t>(*seconds);
    return PosixNs::from_seconds(signed_seconds, static_cast<int64_t>(*nanos));
}

}  // namespace epochsift
