#include "formats/token_identifiers.hpp"

#include <array>

#include "core/ascii_scan.hpp"

namespace epochsift {

namespace {

// Position of c in alphabet, or -1.
constexpr int index_in(std::string_view alphabet, char c) {
    std::size_t const at = alphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// KSUID's base62 alphabet: digits, upper case, lower case.
constexpr std::string_view BASE62 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// xid writes its 12 bytes as RFC 4648 base32hex in lower case.
constexpr std::string_view BASE32HEX = "0123456789abcdefghijklmnopqrstuv";
// The AT Protocol's base32-sortable alphabet.
constexpr std::string_view BASE32_SORTABLE = "234567abcdefghijklmnopqrstuvwxyz";
// Firebase push IDs: ASCII order, so the IDs sort by time.
constexpr std::string_view PUSH_CHARS = "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";

constexpr int64_t KSUID_EPOCH = 1'400'000'000;  // 2014-05-13T16:53:20Z

// A run of decimal digits of the given length range as a number.
std::optional<int64_t> decimal_field(std::string_view text, std::size_t min, std::size_t max) {
    if (text.size() < min || text.size() > max || !all_ascii_digits(text)) return std::nullopt;
    int64_t value = 0;
    for (char const c : text) value = value * 10 + (c - '0');
    return value;
}

}  // namespace

// 27 base62 digits of a 160-bit big-endian number: 4 bytes of seconds since
// the KSUID epoch, then 16 random bytes.
std::optional<PosixNs> parse_ksuid(std::string_view text) {
    if (text.size() != 27) return std::nullopt;
    std::array<uint32_t, 5> limbs{};  // limbs[0] most significant
    for (char const c : text) {
        int const digit = index_in(BASE62, c);
        if (digit < 0) return std::nullopt;
        uint64_t carry = static_cast<uint64_t>(digit);
        for (std::size_t i = limbs.size(); i-- > 0;) {
            uint64_t const product = uint64_t{limbs[i]} * 62 + carry;
            limbs[i] = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) return std::nullopt;  // above 2^160 - 1
    }
    return PosixNs::from_seconds(KSUID_EPOCH + int64_t{limbs[0]});
}

// 20 base32hex characters of 12 bytes, most significant bit first; the first
// 4 bytes are big-endian Unix seconds.
std::optional<PosixNs> parse_xid(std::string_view text) {
    if (text.size() != 20) return std::nullopt;
    uint64_t head = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int const v = index_in(BASE32HEX, text[i]);
        if (v < 0) return std::nullopt;
        if (i < 7) head = head << 5 | static_cast<uint64_t>(v);  // 35 bits cover the 4 time bytes
    }
    if ((index_in(BASE32HEX, text[19]) & 0x0F) != 0) return std::nullopt;  // the last 4 bits are padding
    return PosixNs::from_seconds(static_cast<int64_t>(head >> 3));
}

// 13 base32-sortable characters of a 64-bit integer: a zero top bit, 53 bits
// of Unix microseconds, 10 bits of clock identifier.
std::optional<PosixNs> parse_bluesky_tid(std::string_view text) {
    if (text.size() != 13) return std::nullopt;
    uint64_t value = 0;
    for (char const c : text) {
        int const v = index_in(BASE32_SORTABLE, c);
        if (v < 0) return std::nullopt;
        value = value << 5 | static_cast<uint64_t>(v);  // 65 bits: the first character's top bit falls off
    }
    if (index_in(BASE32_SORTABLE, text[0]) >= 16) return std::nullopt;  // the top bit is always zero
    uint64_t const micros = value >> 10;
    return PosixNs{i128{static_cast<int64_t>(micros)} * 1'000};
}

// 20 characters: 8 of Unix milliseconds (6 bits each, most significant
// first), then 12 random ones.
std::optional<PosixNs> parse_firebase_push_id(std::string_view text) {
    if (text.size() != 20) return std::nullopt;
    uint64_t millis = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        int const v = index_in(PUSH_CHARS, text[i]);
        if (v < 0) return std::nullopt;
        if (i < 8) millis = millis << 6 | static_cast<uint64_t>(v);
    }
    return PosixNs{i128{static_cast<int64_t>(millis)} * 1'000'000};
}

// Fernet: urlsafe base64 of version 0x80, 8 bytes of big-endian Unix
// seconds, a 16-byte IV, a ciphertext of whole 16-byte blocks and a 32-byte
// HMAC.
std::optional<PosixNs> parse_fernet(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    std::size_t const bytes = text.size() * 6 / 8;
    if (bytes < 1 + 8 + 16 + 16 + 32 || (bytes - (1 + 8 + 16 + 32)) % 16 != 0) return std::nullopt;
    u128 head = 0;  // the first 12 characters: 72 bits, the version byte and the 8 time bytes
    for (std::size_t i = 0; i < text.size(); ++i) {
        int const v = base64url_value(text[i]);
        if (v < 0) return std::nullopt;
        if (i < 12) head = head << 6 | static_cast<u128>(v);
    }
    if (static_cast<unsigned>(head >> 64) != 0x80) return std::nullopt;  // the version byte
    auto const time = static_cast<uint64_t>(head);
    if (time > static_cast<uint64_t>(MAX_CALENDAR_SECOND)) return std::nullopt;
    return PosixNs::from_seconds(static_cast<int64_t>(time));
}

// GA1.<depth>.<random>.<Unix seconds>: the _ga cookie's client ID ends with
// the second the ID was made.
std::optional<PosixNs> parse_ga_cookie(std::string_view text) {
    if (text.size() < 6 || (text.substr(0, 3) != "GA1" && text.substr(0, 3) != "GS1") || text[3] != '.') {
        return std::nullopt;
    }
    std::string_view rest = text.substr(4);
    std::size_t const dot1 = rest.find('.');
    if (dot1 == std::string_view::npos || !decimal_field(rest.substr(0, dot1), 1, 2)) return std::nullopt;
    rest = rest.substr(dot1 + 1);
    std::size_t const dot2 = rest.find('.');
    if (dot2 == std::string_view::npos || !decimal_field(rest.substr(0, dot2), 1, 10)) return std::nullopt;
    auto const seconds = decimal_field(rest.substr(dot2 + 1), 9, 10);
    if (!seconds) return std::nullopt;
    return PosixNs::from_seconds(*seconds);
}

// fb.<subdomain index>.<Unix milliseconds>.<random>
std::optional<PosixNs> parse_fbp_cookie(std::string_view text) {
    if (text.size() < 5 || text.substr(0, 3) != "fb.") return std::nullopt;
    auto const parts = split_three(text.substr(3), '.');
    if (!parts || !decimal_field((*parts)[0], 1, 1) || !decimal_field((*parts)[2], 1, 19)) return std::nullopt;
    auto const millis = decimal_field((*parts)[1], 12, 13);
    if (!millis) return std::nullopt;
    return PosixNs{i128{*millis} * 1'000'000};
}

}  // namespace epochsift
