// Time-based UUIDs: versions 1 and 6 (100 ns ticks since the Gregorian
// reform) and version 7 (Unix milliseconds).
#include "core/ascii_scan.hpp"
#include "formats/identifier_parsers.hpp"

namespace epochsift {

namespace {

constexpr std::size_t UUID_HEX_DIGITS = 32;
constexpr i128 GREGORIAN_TO_UNIX_NS = i128{12'219'292'800} * NS_PER_SECOND;  // 1582-10-15 to 1970-01-01
constexpr int64_t NS_PER_TICK = 100;

// The fields that carry time: A = time_low (32 bits), B = time_mid
// (16 bits), C = version and time_high (16 bits).
struct UuidTimeFields {
    uint64_t a;
    uint64_t b;
    uint64_t c;
};

// Hyphens may stand anywhere and are dropped; what is left must be exactly
// 32 hex digits whose version digit matches. Braces and "urn:uuid:" are not
// taken off: they mark a different notation.
std::optional<UuidTimeFields> uuid_time_fields(std::string_view text, char version) {
    char digits[UUID_HEX_DIGITS];
    std::size_t count = 0;
    for (char const c : text) {
        if (c == '-') continue;
        // Any byte but a hyphen or a hex digit fails the text, wherever it stands.
        if (count == UUID_HEX_DIGITS || hex_value(c) < 0) return std::nullopt;
        digits[count++] = c;
    }
    if (count != UUID_HEX_DIGITS || digits[12] != version) return std::nullopt;
    std::string_view const hex(digits, UUID_HEX_DIGITS);
    // Every digit must be hex, though only the first sixteen carry time.
    if (!hex_number(hex.substr(16, 16))) return std::nullopt;
    auto const a = hex_number(hex.substr(0, 8));
    auto const b = hex_number(hex.substr(8, 4));
    auto const c = hex_number(hex.substr(12, 4));
    if (!a || !b || !c) return std::nullopt;
    return UuidTimeFields{*a, *b, *c};
}

PosixNs from_gregorian_ticks(uint64_t ticks) {  // ticks < 2^60
    return PosixNs{i128{static_cast<int64_t>(ticks)} * NS_PER_TICK - GREGORIAN_TO_UNIX_NS};
}

}  // namespace

std::optional<PosixNs> parse_uuid_v1(std::string_view text) {
    auto const f = uuid_time_fields(text, '1');
    if (!f) return std::nullopt;
    return from_gregorian_ticks((f->c & 0x0FFF) << 48 | f->b << 32 | f->a);
}

std::optional<PosixNs> parse_uuid_v6(std::string_view text) {
    auto const f = uuid_time_fields(text, '6');
    if (!f) return std::nullopt;
    return from_gregorian_ticks(f->a << 28 | f->b << 12 | (f->c & 0x0FFF));
}

std::optional<PosixNs> parse_uuid_v7(std::string_view text) {
    auto const f = uuid_time_fields(text, '7');
    if (!f) return std::nullopt;
    return PosixNs{i128{static_cast<int64_t>(f->a << 16 | f->b)} * NS_PER_MS};
}

}  // namespace epochsift
