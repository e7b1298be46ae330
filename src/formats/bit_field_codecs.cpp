// Layouts that pack civil fields into bit ranges of one word.
#include "formats/packed_codecs.hpp"
#include "formats/packed_fields.hpp"

namespace epochsift {

using namespace packed_fields;

namespace {

// DOS date word above the DOS time word: year − 1980 in bits 25–31, month
// 21–24, day 16–20, hour 11–15, minute 5–10, seconds / 2 in 0–4.
CodecResult<PosixNs> decode_dos_words(int64_t raw, std::string_view width_reason) {
    if (!fits_bits(raw, 32)) return CodecError::range(raw, width_reason);
    auto const u = static_cast<uint64_t>(raw);
    return packed_civil({as_field(1980 + bits(u, 25, 7)), as_field(bits(u, 21, 4)), as_field(bits(u, 16, 5)),
                         as_field(bits(u, 11, 5)), as_field(bits(u, 5, 6)), as_field(2 * bits(u, 0, 5))});
}

CodecResult<uint64_t> encode_dos_words(PosixNs instant, std::string_view year_reason) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 1980, 127)) return CodecError::range(c.year, year_reason);
    return uint64_t(c.year - 1980) << 25 | uint64_t(c.month) << 21 | uint64_t(c.day) << 16 |
           uint64_t(c.hour) << 11 | uint64_t(c.minute) << 5 | c.second / 2u;  // an odd second is lost
}

// Minute precision: minute in bits 0–5, hour 6–10, day 11–15, month 16–19,
// and the year from bit 20 up, `year_width` bits wide.
constexpr unsigned MINUTE_WORD_YEAR_LOW = 20;

CodecResult<PosixNs> decode_minute_word(uint64_t word, unsigned year_width, int year_base) {
    return packed_civil({year_base + as_field(bits(word, MINUTE_WORD_YEAR_LOW, year_width)),
                         as_field(bits(word, 16, 4)), as_field(bits(word, 11, 5)), as_field(bits(word, 6, 5)),
                         as_field(bits(word, 0, 6)), 0});
}

constexpr uint64_t minute_word(uint64_t year_field, const CivilTime& c) {
    return year_field << MINUTE_WORD_YEAR_LOW | uint64_t(c.month) << 16 | uint64_t(c.day) << 11 |
           uint64_t(c.hour) << 6 | c.minute;
}

}  // namespace

// FAT and exFAT share the layout; only their reasons differ.
CodecResult<PosixNs> decode_fat_dos(int64_t raw) {
    return decode_dos_words(raw, "FAT/DOS packed value (not a u32)");
}
CodecResult<PosixNs> decode_exfat(int64_t raw) {
    return decode_dos_words(raw, "exFAT packed value (not a u32)");
}
CodecResult<uint64_t> encode_fat_dos(PosixNs instant) {
    return encode_dos_words(instant, "FAT/DOS year (1980-2107)");
}
CodecResult<uint64_t> encode_exfat(PosixNs instant) {
    return encode_dos_words(instant, "exFAT year (1980-2107)");
}

// Year since 1900 in bits 20–28; bits 29–31 carry the weekday, ignored.
CodecResult<PosixNs> decode_dttm(int64_t raw) {
    if (!fits_bits(raw, 32)) return CodecError::range(raw, "DTTM packed value (not a u32)");
    return decode_minute_word(static_cast<uint64_t>(raw), 9, 1900);
}

CodecResult<uint64_t> encode_dttm(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 1900, 511)) return CodecError::range(c.year, "DTTM year (1900-2411)");
    return minute_word(c.year - 1900, c);
}

// The minute word with a 12-bit year, stored byte-reversed.
CodecResult<PosixNs> decode_bitdate(int64_t raw) {
    if (!fits_bits(raw, 32)) return CodecError::range(raw, "BitDate packed value (not a u32)");
    return decode_minute_word(byte_reversed(static_cast<uint32_t>(raw)), 12, 0);
}

CodecResult<uint64_t> encode_bitdate(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 0, 4095)) return CodecError::range(c.year, "BitDate year (0-4095)");
    return byte_reversed(static_cast<uint32_t>(minute_word(c.year, c)));
}

// The minute word in natural byte order with a 15-bit year.
CodecResult<PosixNs> decode_bitdec(int64_t raw) {
    if (raw < 0) return CodecError::range(raw, "Bitwise Decimal value (negative)");
    if (!fits_bits(raw, 35)) return CodecError::range(raw, "Bitwise Decimal year");
    return decode_minute_word(static_cast<uint64_t>(raw), 15, 0);
}

CodecResult<uint64_t> encode_bitdec(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (c.year < 0) return CodecError::range(c.year, "Bitwise Decimal year (non-negative)");
    return minute_word(static_cast<uint64_t>(c.year), c);
}

// second in bits 0–5, minute 6–11, hour 12–16, day 17–21, month 22–25,
// year since 2000 in 26–31.
CodecResult<PosixNs> decode_dvr(int64_t raw) {
    if (!fits_bits(raw, 32)) return CodecError::range(raw, "DVR packed value (not a u32)");
    auto const u = static_cast<uint64_t>(raw);
    return packed_civil({as_field(2000 + bits(u, 26, 6)), as_field(bits(u, 22, 4)), as_field(bits(u, 17, 5)),
                         as_field(bits(u, 12, 5)), as_field(bits(u, 6, 6)), as_field(bits(u, 0, 6))});
}

CodecResult<uint64_t> encode_dvr(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 2000, 63)) return CodecError::range(c.year, "DVR year (2000-2063)");
    return uint64_t(c.year - 2000) << 26 | uint64_t(c.month) << 22 | uint64_t(c.day) << 17 |
           uint64_t(c.hour) << 12 | uint64_t(c.minute) << 6 | c.second;
}

}  // namespace epochsift
