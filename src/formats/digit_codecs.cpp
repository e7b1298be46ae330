// Layouts whose fields are the decimal digit pairs of raw: YYMMDDhhmmss.
#include <array>

#include "formats/packed_codecs.hpp"
#include "formats/packed_fields.hpp"

namespace epochsift {

using namespace packed_fields;

namespace {

constexpr int64_t TWELVE_DIGITS = 1'000'000'000'000;  // 10^12

using DigitPairs = std::array<unsigned, 6>;  // year − 2000, month, day, hour, minute, second

// The six two-digit pairs of raw written as 12 digits, most significant first.
constexpr DigitPairs digit_pairs(uint64_t raw) {
    DigitPairs pairs{};
    for (std::size_t i = pairs.size(); i-- > 0; raw /= 100) pairs[i] = static_cast<unsigned>(raw % 100);
    return pairs;
}

constexpr uint64_t from_digit_pairs(const DigitPairs& pairs) {
    uint64_t raw = 0;
    for (unsigned pair : pairs) raw = raw * 100 + pair;
    return raw;
}

constexpr DigitPairs pairs_of(const CivilTime& c) {
    return {static_cast<unsigned>(c.year - 2000), static_cast<unsigned>(c.month), static_cast<unsigned>(c.day),
            static_cast<unsigned>(c.hour),        static_cast<unsigned>(c.minute), static_cast<unsigned>(c.second)};
}

// Semi-octet pairs hold their units digit first.
constexpr unsigned swap_digits(unsigned pair) { return pair % 10 * 10 + pair / 10; }

constexpr DigitPairs swapped(DigitPairs pairs) {
    for (auto& pair : pairs) pair = swap_digits(pair);
    return pairs;
}

CodecResult<PosixNs> civil_of(const DigitPairs& p) {
    return packed_civil({as_field(2000 + p[0]), as_field(p[1]), as_field(p[2]), as_field(p[3]), as_field(p[4]),
                         as_field(p[5])});
}

}  // namespace

CodecResult<PosixNs> decode_bcd(int64_t raw) {
    if (raw < 0 || raw >= TWELVE_DIGITS) return CodecError::range(raw, "BCD value (not 12 decimal digits)");
    return civil_of(digit_pairs(static_cast<uint64_t>(raw)));
}

CodecResult<uint64_t> encode_bcd(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 2000, 99)) return CodecError::range(c.year, "BCD year (2000-2099)");
    return from_digit_pairs(pairs_of(c));
}

CodecResult<PosixNs> decode_semioctet(int64_t raw) {
    if (raw < 0 || raw >= TWELVE_DIGITS) return CodecError::range(raw, "Semi-Octet (not 12 decimal digits)");
    return civil_of(swapped(digit_pairs(static_cast<uint64_t>(raw))));
}

CodecResult<uint64_t> encode_semioctet(PosixNs instant) {
    auto const fields = civil_fields(instant);
    if (!fields) return fields.error();
    auto const& c = fields.value();
    if (!year_fits(c, 2000, 99)) return CodecError::range(c.year, "Semi-Octet year (2000-2099)");
    return from_digit_pairs(swapped(pairs_of(c)));
}

}  // namespace epochsift
