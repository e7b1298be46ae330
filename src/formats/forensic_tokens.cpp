#include "formats/forensic_tokens.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/ascii_scan.hpp"
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

constexpr int64_t NS_PER_US = 1'000;
constexpr int64_t UNIX_1601 = -11'644'473'600;  // 1601-01-01T00:00:00Z
constexpr int64_t COCOA_2001 = 978'307'200;     // 2001-01-01T00:00:00Z

std::optional<PosixNs> calendar(i128 ns) {
    if (ns < i128{MIN_CALENDAR_SECOND} * NS_PER_SECOND || ns > i128{MAX_CALENDAR_SECOND} * NS_PER_SECOND) {
        return std::nullopt;
    }
    return PosixNs{ns};
}

// A decimal number of 1 to max_digits digits with an optional leading "-".
std::optional<int64_t> signed_decimal(std::string_view text, std::size_t max_digits) {
    bool const negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > max_digits || !all_ascii_digits(text)) return std::nullopt;
    int64_t value = 0;
    for (char const c : text) value = value * 10 + (c - '0');
    return negative ? -value : value;
}

// Two runs of exactly eight hex digits around one ":", each with an optional 0x.
std::optional<std::array<uint32_t, 2>> eight_hex_pair(std::string_view text) {
    auto const colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::array<std::string_view, 2> parts{text.substr(0, colon), text.substr(colon + 1)};
    std::array<uint32_t, 2> words{};
    for (std::size_t i = 0; i < 2; ++i) {
        auto part = parts[i];
        if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) part.remove_prefix(2);
        if (part.size() != 8) return std::nullopt;
        auto const value = hex_number(part);
        if (!value) return std::nullopt;
        words[i] = static_cast<uint32_t>(*value);
    }
    return words;
}

constexpr uint32_t byte_swapped(uint32_t w) {
    return (w >> 24) | (w >> 8 & 0xFF00) | (w << 8 & 0xFF'0000) | (w << 24);
}

// Unpadded base64url text as bytes; at most 64 bytes.
struct Decoded {
    std::array<uint8_t, 64> bytes{};
    std::size_t size = 0;
};

// base64url_value as a table: one load a character instead of a chain of range tests.
constexpr std::array<int8_t, 256> BASE64URL_VALUES = [] {
    std::array<int8_t, 256> values{};
    for (std::size_t c = 0; c < values.size(); ++c) values[c] = static_cast<int8_t>(base64url_value(static_cast<char>(c)));
    return values;
}();

std::optional<Decoded> base64url(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1 || text.size() * 3 / 4 > 64) return std::nullopt;
    Decoded out;
    uint32_t buffer = 0;
    int bits = 0;
    for (char const c : text) {
        int const v = BASE64URL_VALUES[static_cast<unsigned char>(c)];
        if (v < 0) return std::nullopt;
        buffer = buffer << 6 | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.bytes[out.size++] = static_cast<uint8_t>(buffer >> bits);
        }
    }
    return out;
}

// Protocol Buffers wire format (protobuf.dev "Encoding"): a message is
// fields of (number << 3 | wire type). The walk below checks every field of
// the message is well formed and returns the wanted one.
struct ProtoField {
    uint64_t varint = 0;            // wire type 0
    std::span<const uint8_t> bytes;  // wire type 2
    bool length_delimited = false;
};

std::optional<uint64_t> varint(std::span<const uint8_t> b, std::size_t& at) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64 && at < b.size(); shift += 7) {
        uint8_t const byte = b[at++];
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
}

std::optional<ProtoField> proto_field(std::span<const uint8_t> b, uint64_t wanted) {
    std::optional<ProtoField> found;
    std::size_t at = 0;
    while (at < b.size()) {
        auto const key = varint(b, at);
        if (!key || *key >> 3 == 0) return std::nullopt;
        ProtoField field;
        switch (*key & 7) {
            case 0: {
                auto const v = varint(b, at);
                if (!v) return std::nullopt;
                field.varint = *v;
                break;
            }
            case 1: at += 8; break;
            case 5: at += 4; break;
            case 2: {
                auto const length = varint(b, at);
                if (!length || *length > b.size() - at) return std::nullopt;
                field.bytes = b.subspan(at, *length);
                field.length_delimited = true;
                at += *length;
                break;
            }
            default: return std::nullopt;  // groups are long deprecated
        }
        if (at > b.size()) return std::nullopt;
        if (*key >> 3 == wanted && !found) found = field;
    }
    return found;
}

std::optional<PosixNs> unix_micros(uint64_t micros) {
    if (micros > static_cast<uint64_t>(MAX_CALENDAR_SECOND) * 1'000'000) return std::nullopt;
    return calendar(i128{static_cast<int64_t>(micros)} * NS_PER_US);
}

}  // namespace

// AWS X-Ray trace id (X-Ray developer guide, "Tracing header"): version 1,
// the request's Unix seconds in 8 hex digits, then 96 random bits in 24.
std::optional<PosixNs> parse_xray_trace_id(std::string_view text) {
    if (text.size() != 35 || text.substr(0, 2) != "1-" || text[10] != '-') return std::nullopt;
    auto const seconds = hex_number(text.substr(2, 8));
    if (!seconds || !hex_number(text.substr(11, 12)) || !hex_number(text.substr(23, 12))) return std::nullopt;
    return PosixNs::from_seconds(static_cast<int64_t>(*seconds));
}

// cuid (github.com/paralleldrive/cuid): "c", then Unix milliseconds in
// 8 base-36 digits, then counter, fingerprint and random blocks; 25 characters
// of lower-case base 36 in all.
std::optional<PosixNs> parse_cuid(std::string_view text) {
    if (text.size() != 25 || text[0] != 'c') return std::nullopt;
    int64_t millis = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        char const c = text[i];
        int const digit = is_ascii_digit(c) ? c - '0' : (c >= 'a' && c <= 'z') ? c - 'a' + 10 : -1;
        if (digit < 0) return std::nullopt;
        if (i <= 8) millis = millis * 36 + digit;
    }
    return calendar(i128{millis} * NS_PER_MS);
}

// S32 (AT Protocol record keys, "s32" sortable base 32: 234567a-z): nine
// symbols of Unix milliseconds. Only a first symbol of 2-7 is read: a letter
// there puts the time past 2179, which is what ordinary words would give.
std::optional<PosixNs> parse_s32_time(std::string_view text) {
    constexpr std::string_view ALPHABET = "234567abcdefghijklmnopqrstuvwxyz";
    if (text.size() != 9 || text[0] < '2' || text[0] > '7') return std::nullopt;
    int64_t millis = 0;
    for (char const c : text) {
        auto const digit = ALPHABET.find(c);
        if (digit == std::string_view::npos) return std::nullopt;
        millis = millis * 32 + static_cast<int64_t>(digit);
    }
    return calendar(i128{millis} * NS_PER_MS);
}

// MUMPS $HOROLOG (ANSI X11.1, InterSystems "$HOROLOG"): days since
// 1840-12-31, a comma, then seconds since midnight (0-86399), local time.
std::optional<PosixNs> parse_horolog(std::string_view text) {
    auto const comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    auto const days_text = text.substr(0, comma), seconds_text = text.substr(comma + 1);
    if (days_text.empty() || days_text.size() > 7 || !all_ascii_digits(days_text)) return std::nullopt;
    if (seconds_text.empty() || seconds_text.size() > 5 || !all_ascii_digits(seconds_text)) return std::nullopt;
    auto const days = signed_decimal(days_text, 7), seconds = signed_decimal(seconds_text, 5);
    if (!days || !seconds || *seconds >= 86'400) return std::nullopt;
    constexpr int64_t DAY_ZERO = -4'070'908'800;  // 1840-12-31T00:00:00Z
    return calendar(i128{DAY_ZERO + *days * 86'400 + *seconds} * NS_PER_SECOND);
}

// VMware snapshot files (.vmsd createTimeHigh, createTimeLow): Unix
// microseconds split into two signed 32-bit decimal words, high first.
std::optional<PosixNs> parse_vmsd_time(std::string_view text) {
    auto const comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    auto const high = signed_decimal(text.substr(0, comma), 10), low = signed_decimal(text.substr(comma + 1), 10);
    if (!high || !low || *high < INT32_MIN || *high > INT32_MAX || *low < INT32_MIN || *low > INT32_MAX) {
        return std::nullopt;
    }
    i128 const micros = i128{*high} * (i128{1} << 32) + (static_cast<uint64_t>(*low) & 0xFFFF'FFFFu);
    if (micros < 0 || micros > i128{MAX_CALENDAR_SECOND} * 1'000'000) return std::nullopt;
    return calendar(micros * NS_PER_US);
}

// ext4 inode time and its _extra word (Linux Documentation/filesystems/ext4
// "Inode Timestamps"): signed 32-bit seconds; the extra word's low 2 bits
// extend the seconds past 2038, its upper 30 bits are nanoseconds.
std::optional<PosixNs> parse_ext4_time(std::string_view text) {
    auto const words = eight_hex_pair(text);
    if (!words) return std::nullopt;
    int64_t const seconds = int64_t{static_cast<int32_t>((*words)[0])} + (int64_t{(*words)[1] & 3} << 32);
    uint32_t const nanos = (*words)[1] >> 2;
    if (nanos >= NS_PER_SECOND) return std::nullopt;
    return calendar(i128{seconds} * NS_PER_SECOND + nanos);
}

// Hotmail's FILETIME (as time-decode reads it): the high then the low DWORD
// of the 100 ns count since 1601, each written as its little-endian bytes.
std::optional<PosixNs> parse_hotmail_time(std::string_view text) {
    auto const words = eight_hex_pair(text);
    if (!words) return std::nullopt;
    uint64_t const ticks = uint64_t{byte_swapped((*words)[0])} << 32 | byte_swapped((*words)[1]);
    return calendar(i128{UNIX_1601} * NS_PER_SECOND + i128{static_cast<int64_t>(ticks >> 1)} * 200 +
                    (ticks & 1) * 100);
}

// Google Ads click id: base64url protobuf whose field 1 is the click's Unix
// microseconds, sixteen decimal digits (2001-2286).
std::optional<PosixNs> parse_gclid(std::string_view text) {
    if (text.size() < 16) return std::nullopt;
    auto const raw = base64url(text);
    if (!raw) return std::nullopt;
    auto const field = proto_field({raw->bytes.data(), raw->size}, 1);
    if (!field || field->length_delimited) return std::nullopt;
    if (field->varint < 1'000'000'000'000'000ULL || field->varint >= 10'000'000'000'000'000ULL) return std::nullopt;
    return unix_micros(field->varint);
}

// Google search "ved" parameter: a version digit (0-2), then a base64url
// protobuf; field 13 holds a message whose field 1 holds a message whose
// field 1 is the result page's Unix microseconds.
std::optional<PosixNs> parse_ved(std::string_view text) {
    if (text.size() < 16 || text[0] < '0' || text[0] > '2') return std::nullopt;
    auto const raw = base64url(text.substr(1));
    if (!raw) return std::nullopt;
    auto const outer = proto_field({raw->bytes.data(), raw->size}, 13);
    if (!outer || !outer->length_delimited) return std::nullopt;
    auto const middle = proto_field(outer->bytes, 1);
    if (!middle || !middle->length_delimited) return std::nullopt;
    auto const inner = proto_field(middle->bytes, 1);
    if (!inner || inner->length_delimited || inner->varint < 1'000'000'000'000'000ULL) return std::nullopt;
    return unix_micros(inner->varint);
}

// Metasploit payload UUID (Rex::Payloads::Meterpreter::UUID): 16 bytes as
// 22 base64url characters: 8 random bytes, two xor keys, the platform and
// architecture ids xored with them, then Unix seconds (u32 BE) xored with
// the keys in turn. The ids are small table indexes; larger is no UUID.
std::optional<PosixNs> parse_metasploit_uuid(std::string_view text) {
    if (text.size() != 22) return std::nullopt;
    auto const raw = base64url(text);
    if (!raw || raw->size != 16) return std::nullopt;
    auto const& b = raw->bytes;
    uint8_t const key1 = b[8], key2 = b[9];
    constexpr uint8_t MAX_ID = 63;
    if ((b[10] ^ key1) > MAX_ID || (b[11] ^ key2) > MAX_ID) return std::nullopt;
    uint32_t const seconds = uint32_t{uint8_t(b[12] ^ key1)} << 24 | uint32_t{uint8_t(b[13] ^ key2)} << 16 |
                             uint32_t{uint8_t(b[14] ^ key1)} << 8 | uint8_t(b[15] ^ key2);
    return PosixNs::from_seconds(seconds);
}

// Apple Biome streams: Cocoa seconds (since 2001) as an IEEE 754 binary64,
// shown as the unsigned 64-bit integer of its bits (19 or 20 digits).
std::optional<PosixNs> parse_biome_double(std::string_view text) {
    if (text.size() < 19 || text.size() > 20 || !all_ascii_digits(text)) return std::nullopt;
    unsigned __int128 bits = 0;
    for (char const c : text) bits = bits * 10 + static_cast<unsigned>(c - '0');
    if (bits > UINT64_MAX) return std::nullopt;
    auto const word = static_cast<uint64_t>(bits);
    double seconds = 0;
    std::memcpy(&seconds, &word, sizeof seconds);
    // The value is a double by definition: read its whole and fractional parts apart, each exact.
    if (!std::isfinite(seconds) || std::fabs(seconds) < 1.0 || std::fabs(seconds) > 3.0e11) return std::nullopt;
    double const whole = std::floor(seconds);
    auto const nanos = static_cast<int64_t>(std::llround((seconds - whole) * 1e9));
    return calendar(i128{COCOA_2001 + static_cast<int64_t>(whole)} * NS_PER_SECOND + nanos);
}

// A GSM SMSC time stamp (3GPP TS 23.040 §9.2.3.11) written as its 14 hex
// digits when all of them are decimal (a zone byte of a positive offset):
// the digits are the bytes, so they are read as hex, not as a number.
std::optional<PosixNs> parse_gsm_digits(std::string_view text) {
    if (text.size() != 14 || !all_ascii_digits(text)) return std::nullopt;
    auto const raw = hex_number(text);
    if (!raw) return std::nullopt;
    auto const found = decode_gsm(static_cast<int64_t>(*raw));
    if (!found) return std::nullopt;
    return found.value();
}

}  // namespace epochsift
