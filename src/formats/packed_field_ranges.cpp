// A packed layout's fields tested against their ranges before the decoder
// runs: most values of another family's magnitude hold an hour past 23 or
// a month past 12 somewhere, and are turned away here in a few
// instructions. The fields are read as each decoder reads them; the
// month's length and the calendar range are left to the decoder.
#include "formats/packed_codecs.hpp"
#include "formats/packed_fields.hpp"

namespace epochsift {

using namespace packed_fields;

namespace {

// CivilTime::ok() without the month's length: day up to 31.
constexpr bool in_range(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second) {
    return year >= -9999 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 &&
           hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// The minute word: minute in bits 0–5, hour 6–10, day 11–15, month 16–19,
// the year from bit 20 (decode_minute_word).
constexpr bool minute_word_in_range(uint64_t word, unsigned year_width, int year_base) {
    return in_range(year_base + bits(word, 20, year_width), bits(word, 16, 4), bits(word, 11, 5), bits(word, 6, 5),
                    bits(word, 0, 6), 0);
}

// Month to second in bytes b4 to b0 (decode_field_bytes).
constexpr bool field_bytes_in_range(int64_t year, int64_t month, uint64_t u) {
    return in_range(year, month, byte_at(u, 3), byte_at(u, 2), byte_at(u, 1), byte_at(u, 0));
}

// A GSM byte's swapped decimal nibbles, -1 from 128 up (decode_gsm).
constexpr int64_t swapped_nibbles(unsigned byte) {
    auto const value = static_cast<int64_t>((byte % 16) * 10 + byte / 16);
    return value >= 128 ? -1 : value;
}

// The decimal digit pair i of twelve digits, 0 the most significant.
constexpr int64_t digit_pair(uint64_t raw, int i) {
    constexpr uint64_t POWERS[6] = {10'000'000'000, 100'000'000, 1'000'000, 10'000, 100, 1};
    return static_cast<int64_t>(raw / POWERS[i] % 100);
}
constexpr int64_t swapped_pair(int64_t pair) { return pair % 10 * 10 + pair / 10; }

constexpr int64_t TICKS_PER_DAY = 86'400 * 300;  // SQL Server's 1/300 s ticks

}  // namespace

bool packed_fields_may_decode(PackedCodec codec, int64_t raw) {
    auto const u = static_cast<uint64_t>(raw);
    switch (codec) {
        case PackedCodec::FatDos:
        case PackedCodec::Exfat:
            return fits_bits(raw, 32) && in_range(1980 + bits(u, 25, 7), bits(u, 21, 4), bits(u, 16, 5), bits(u, 11, 5),
                                                  bits(u, 5, 6), 2 * bits(u, 0, 5));
        case PackedCodec::Dttm: return fits_bits(raw, 32) && minute_word_in_range(u, 9, 1900);
        case PackedCodec::BitDate: return fits_bits(raw, 32) && minute_word_in_range(byte_reversed(static_cast<uint32_t>(u)), 12, 0);
        case PackedCodec::BitDec: return raw >= 0 && fits_bits(raw, 35) && minute_word_in_range(u, 15, 0);
        case PackedCodec::Dvr:
            return fits_bits(raw, 32) && in_range(2000 + bits(u, 26, 6), bits(u, 22, 4), bits(u, 17, 5), bits(u, 12, 5),
                                                  bits(u, 6, 6), bits(u, 0, 6));
        case PackedCodec::Moto: return fits_bits(raw, 48) && field_bytes_in_range(1970 + byte_at(u, 5), byte_at(u, 4), u);
        case PackedCodec::Symantec:
            return fits_bits(raw, 48) && field_bytes_in_range(1970 + byte_at(u, 5), (byte_at(u, 4) + 1) % 256, u);
        case PackedCodec::Ns40: return fits_bits(raw, 55) && field_bytes_in_range(bits(u, 40, 16), byte_at(u, 4), u);
        case PackedCodec::Ns40Le:
            return fits_bits(raw, 56) && byte_at(u, 5) < 128 &&
                   field_bytes_in_range(byte_at(u, 5) << 8 | byte_at(u, 6), byte_at(u, 4), u);
        case PackedCodec::LogTime:
            return raw >= 0 && in_range(1900 + byte_at(u, 2), byte_at(u, 3), byte_at(u, 4), byte_at(u, 5), byte_at(u, 6),
                                        byte_at(u, 7));
        case PackedCodec::Gsm:
            return fits_bits(raw, 56) &&
                   in_range(2000 + swapped_nibbles(byte_at(u, 6)), swapped_nibbles(byte_at(u, 5)),
                            swapped_nibbles(byte_at(u, 4)), swapped_nibbles(byte_at(u, 3)),
                            swapped_nibbles(byte_at(u, 2)), swapped_nibbles(byte_at(u, 1)));
        case PackedCodec::Bcd:
            return raw >= 0 && raw < 1'000'000'000'000 &&
                   in_range(2000 + digit_pair(u, 0), digit_pair(u, 1), digit_pair(u, 2), digit_pair(u, 3),
                            digit_pair(u, 4), digit_pair(u, 5));
        case PackedCodec::SemiOctet:
            return raw >= 0 && raw < 1'000'000'000'000 &&
                   in_range(2000 + swapped_pair(digit_pair(u, 0)), swapped_pair(digit_pair(u, 1)),
                            swapped_pair(digit_pair(u, 2)), swapped_pair(digit_pair(u, 3)),
                            swapped_pair(digit_pair(u, 4)), swapped_pair(digit_pair(u, 5)));
        case PackedCodec::SqlServer: return bits(u, 0, 32) < TICKS_PER_DAY;
        // Every u32 is a Nokia count; the .NET kind and ticks are few tests.
        case PackedCodec::NokiaLe:
        case PackedCodec::DotnetBinary: return packed_may_decode_between(codec, raw, raw);
    }
    return true;
}

}  // namespace epochsift
