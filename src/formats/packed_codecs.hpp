// The seventeen packed layouts: civil fields in the bits, bytes, nibbles or
// decimal digits of one integer, or counts in an order plain arithmetic
// cannot express. Decoders read the fields as UTC.
#pragma once

#include <array>
#include <cstdint>
#include <cstddef>

#include "formats/codec_error.hpp"
#include "formats/numeric_family.hpp"
#include "core/civil.hpp"

namespace epochsift {

using PackedDecoder = CodecResult<PosixNs> (*)(int64_t raw);
using PackedEncoder = CodecResult<uint64_t> (*)(PosixNs instant);

// Civil fields read as UTC; a calendar error unless they name a date-time
// in the calendar range.
CodecResult<PosixNs> packed_civil(const CivilTime& civil);
// UTC civil fields of the whole second at or below the instant.
CodecResult<CivilTime> civil_fields(PosixNs instant);

CodecResult<PosixNs> decode_fat_dos(int64_t raw);
CodecResult<PosixNs> decode_exfat(int64_t raw);
CodecResult<PosixNs> decode_dttm(int64_t raw);
CodecResult<PosixNs> decode_bitdate(int64_t raw);
CodecResult<PosixNs> decode_bitdec(int64_t raw);
CodecResult<PosixNs> decode_bcd(int64_t raw);
CodecResult<PosixNs> decode_moto(int64_t raw);
CodecResult<PosixNs> decode_symantec(int64_t raw);
CodecResult<PosixNs> decode_dvr(int64_t raw);
CodecResult<PosixNs> decode_ns40(int64_t raw);
CodecResult<PosixNs> decode_ns40le(int64_t raw);
CodecResult<PosixNs> decode_logtime(int64_t raw);
CodecResult<PosixNs> decode_semioctet(int64_t raw);
CodecResult<PosixNs> decode_gsm(int64_t raw);
CodecResult<PosixNs> decode_nokiale(int64_t raw);
CodecResult<PosixNs> decode_sqlserver(int64_t raw);
CodecResult<PosixNs> decode_dotnet_binary(int64_t raw);

CodecResult<uint64_t> encode_fat_dos(PosixNs instant);
CodecResult<uint64_t> encode_exfat(PosixNs instant);
CodecResult<uint64_t> encode_dttm(PosixNs instant);
CodecResult<uint64_t> encode_bitdate(PosixNs instant);
CodecResult<uint64_t> encode_bitdec(PosixNs instant);
CodecResult<uint64_t> encode_bcd(PosixNs instant);
CodecResult<uint64_t> encode_moto(PosixNs instant);
CodecResult<uint64_t> encode_symantec(PosixNs instant);
CodecResult<uint64_t> encode_dvr(PosixNs instant);
CodecResult<uint64_t> encode_ns40(PosixNs instant);
CodecResult<uint64_t> encode_ns40le(PosixNs instant);
CodecResult<uint64_t> encode_logtime(PosixNs instant);
CodecResult<uint64_t> encode_semioctet(PosixNs instant);
CodecResult<uint64_t> encode_gsm(PosixNs instant);
CodecResult<uint64_t> encode_nokiale(PosixNs instant);
CodecResult<uint64_t> encode_sqlserver(PosixNs instant);
CodecResult<uint64_t> encode_dotnet_binary(PosixNs instant);

// The values a layout's decoder takes past its checks of width, sign and
// kind, as at most two spans of raw values (both ends included; an empty
// span has first > last): every other value fails to decode. Indexed by
// the PackedCodec code.
struct PackedRawSpan {
    int64_t first;
    int64_t last;
};
using PackedRawSpans = std::array<PackedRawSpan, 2>;

namespace packed_codecs_detail {
inline constexpr PackedRawSpan NONE{1, 0};
constexpr PackedRawSpans below_bit(unsigned bits) { return {{{0, (int64_t{1} << bits) - 1}, NONE}}; }
}  // namespace packed_codecs_detail

inline constexpr std::array<PackedRawSpans, PACKED_CODEC_COUNT> PACKED_RAW_SPANS = [] {
    using namespace packed_codecs_detail;
    return std::to_array<PackedRawSpans>({
        below_bit(32),                                         // FatDos: a u32
        below_bit(32),                                         // Exfat
        below_bit(32),                                         // Dttm
        below_bit(32),                                         // BitDate
        below_bit(35),                                         // BitDec: the year's 15 bits
        {{{0, 999'999'999'999}, NONE}},                        // Bcd: twelve decimal digits
        below_bit(48),                                         // Moto: six bytes
        below_bit(48),                                         // Symantec
        below_bit(32),                                         // Dvr
        below_bit(55),                                         // Ns40: a year below 32768 in seven bytes
        below_bit(56),                                         // Ns40Le: seven bytes
        {{{0, INT64_MAX}, NONE}},                              // LogTime: not negative
        {{{0, 999'999'999'999}, NONE}},                        // SemiOctet: twelve decimal digits
        below_bit(56),                                         // Gsm: seven bytes
        below_bit(32),                                         // NokiaLe: a u32
        {{{INT64_MIN, INT64_MAX}, NONE}},                      // SqlServer: its ticks are checked a value at a time
        {{{INT64_MIN, -1}, {int64_t{1} << 62, INT64_MAX}}},    // DotnetBinary: a kind other than unspecified
    });
}();

// Whether some value in [first, last] passes the layout's checks of width,
// sign and kind (PACKED_RAW_SPANS): false only where none decodes.
constexpr bool packed_may_decode_between(PackedCodec codec, int64_t first, int64_t last) {
    for (PackedRawSpan const& span : PACKED_RAW_SPANS[static_cast<std::size_t>(codec)]) {
        if (span.first <= span.last && first <= span.last && last >= span.first) return true;
    }
    return false;
}

// Whether raw's fields in the layout each lie within their range, read as
// the decoder reads them (a month's length and the calendar range are the
// decoder's to test): false only where the decoder fails, in a few
// instructions.
bool packed_fields_may_decode(PackedCodec codec, int64_t raw);

// Indexed by the PackedCodec code.
extern const std::array<PackedDecoder, PACKED_CODEC_COUNT> PACKED_DECODERS;
extern const std::array<PackedEncoder, PACKED_CODEC_COUNT> PACKED_ENCODERS;

}  // namespace epochsift
