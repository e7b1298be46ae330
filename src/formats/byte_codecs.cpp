// Layouts that give each civil field a byte of its own.
#include "formats/packed_codecs.hpp"
#include "formats/packed_fields.hpp"

namespace epochsift {

using namespace packed_fields;

namespace {

// The common tail of the Motorola, Symantec and Nokia S40 layouts: month,
// day, hour, minute and second in bytes b4 to b0.
CodecResult<PosixNs> decode_field_bytes(int32_t year, int32_t month, uint64_t u) {
    return packed_civil({year, month, as_field(byte_at(u, 3)), as_field(byte_at(u, 2)), as_field(byte_at(u, 1)),
                         as_field(byte_at(u, 0))});
}

constexpr uint64_t field_bytes(uint64_t month_byte, const CivilTime& c) {
    return month_byte << 32 | uint64_t(c.day) << 24 | uint64_t(c.hour) << 16 | uint64_t(c.minute) << 8 |
           c.second;
}

// GSM stores two decimal digits per byte, units in the low nibble. Nibbles
// above 9 pass; a value of 128 or more stands for -1, which the calendar
// rejects in every field but the year (where it reads as 1999).
constexpr int8_t swapped_nibbles(unsigned byte) {
    unsigned const value = (byte % 16) * 10 + byte / 16;  // [0, 165]
    return value >= 128 ? int8_t{-1} : static_cast<int8_t>(value);
}

constexpr uint64_t swapped_nibble_byte(unsigned field) { return (field % 10) * 16 + field / 10; }

}  // namespace

// Six bytes: year − 1970, month, day, hour, minute, second.
CodecResult<PosixNs> decode_moto(int64_t raw) {
    if (!fits_bits(raw, 48)) return CodecError::range(raw, "Motorola (not a 6-byte value)");
    auto const u = static_cast<uint64_t>(raw);
    return decode_field_bytes(static_cast<int16_t>(1970 + byte_at(u, 5)), as_field(byte_at(u, 4)), u);
}

CodecResult<uint64_t> encode_moto(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 1970, 255)) return CodecError::range(c.year, "Motorola year (1970-2225)");
    return uint64_t(c.year - 1970) << 40 | field_bytes(c.month, c);
}

// The Motorola layout with the month counted from 0; the byte plus one wraps
// in 8 bits, so 255 gives month 0.
CodecResult<PosixNs> decode_symantec(int64_t raw) {
    if (!fits_bits(raw, 48)) return CodecError::range(raw, "Symantec (not a 6-byte value)");
    auto const u = static_cast<uint64_t>(raw);
    auto const month = static_cast<uint8_t>(byte_at(u, 4) + 1);
    return decode_field_bytes(static_cast<int16_t>(1970 + byte_at(u, 5)), as_field(month), u);
}

CodecResult<uint64_t> encode_symantec(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 1970, 255)) return CodecError::range(c.year, "Symantec year (1970-2225)");
    return uint64_t(c.year - 1970) << 40 | field_bytes(c.month - 1u, c);
}

// Seven bytes: the year as a big-endian u16, then one byte per field. A year
// of 32768 or more (bit 55) does not fit the calendar's 16-bit year.
CodecResult<PosixNs> decode_ns40(int64_t raw) {
    if (!fits_bits(raw, 56)) return CodecError::range(raw, "Nokia S40 (not a 7-byte value)");
    if (!fits_bits(raw, 55)) return CodecError::range(raw, "Nokia S40 year");
    auto const u = static_cast<uint64_t>(raw);
    return decode_field_bytes(static_cast<int16_t>(bits(u, 40, 16)), as_field(byte_at(u, 4)), u);
}

CodecResult<uint64_t> encode_ns40(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (c.year < 0) return CodecError::range(c.year, "Nokia S40 year (0-65535)");
    return uint64_t(c.year) << 40 | field_bytes(c.month, c);
}

// The Nokia S40 layout with the year's low byte first.
CodecResult<PosixNs> decode_ns40le(int64_t raw) {
    if (!fits_bits(raw, 56)) return CodecError::range(raw, "Nokia S40 LE (not a 7-byte value)");
    auto const u = static_cast<uint64_t>(raw);
    unsigned const year_high = byte_at(u, 5);
    if (year_high >= 128) return CodecError::range(raw, "Nokia S40 LE year");
    auto const year = static_cast<int16_t>(year_high << 8 | byte_at(u, 6));
    return decode_field_bytes(year, as_field(byte_at(u, 4)), u);
}

CodecResult<uint64_t> encode_ns40le(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (c.year < 0) return CodecError::range(c.year, "Nokia S40 LE year (0-65535)");
    auto const year = static_cast<uint64_t>(c.year);
    return (year & 0xFF) << 48 | (year >> 8) << 40 | field_bytes(c.month, c);
}

// Eight bytes, fields reversed: second, minute, hour, day, month,
// year − 1900, then two bytes that carry no time.
CodecResult<PosixNs> decode_logtime(int64_t raw) {
    if (raw < 0) return CodecError::range(raw, "JET LogTime (negative)");
    auto const u = static_cast<uint64_t>(raw);
    return packed_civil({as_field(1900 + byte_at(u, 2)), as_field(byte_at(u, 3)), as_field(byte_at(u, 4)),
                         as_field(byte_at(u, 5)), as_field(byte_at(u, 6)), as_field(byte_at(u, 7))});
}

CodecResult<uint64_t> encode_logtime(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 1900, 255)) return CodecError::range(c.year, "JET LogTime year (1900-2155)");
    return uint64_t(c.second) << 56 | uint64_t(c.minute) << 48 | uint64_t(c.hour) << 40 |
           uint64_t(c.day) << 32 | uint64_t(c.month) << 24 | uint64_t(c.year - 1900) << 16;
}

// Seven bytes of swapped decimal nibbles: year − 2000, month, day, hour,
// minute, second, then a time-zone byte that is ignored.
CodecResult<PosixNs> decode_gsm(int64_t raw) {
    if (!fits_bits(raw, 56)) return CodecError::range(raw, "GSM (not a 7-byte value)");
    auto const u = static_cast<uint64_t>(raw);
    return packed_civil({2000 + swapped_nibbles(byte_at(u, 6)), swapped_nibbles(byte_at(u, 5)),
                         swapped_nibbles(byte_at(u, 4)), swapped_nibbles(byte_at(u, 3)),
                         swapped_nibbles(byte_at(u, 2)), swapped_nibbles(byte_at(u, 1))});
}

CodecResult<uint64_t> encode_gsm(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 2000, 99)) return CodecError::range(c.year, "GSM year (2000-2099)");
    return swapped_nibble_byte(c.year - 2000) << 48 | swapped_nibble_byte(c.month) << 40 |
           swapped_nibble_byte(c.day) << 32 | swapped_nibble_byte(c.hour) << 24 |
           swapped_nibble_byte(c.minute) << 16 | swapped_nibble_byte(c.second) << 8;
}

}  // namespace epochsift
