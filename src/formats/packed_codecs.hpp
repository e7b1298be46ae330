// The seventeen packed layouts: civil fields in the bits, bytes, nibbles or
// decimal digits of one integer, or counts in an order plain arithmetic
// cannot express. Decoders read the fields as UTC.
#pragma once

#include <array>
#include <cstdint>

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

// Indexed by the PackedCodec code.
extern const std::array<PackedDecoder, PACKED_CODEC_COUNT> PACKED_DECODERS;
extern const std::array<PackedEncoder, PACKED_CODEC_COUNT> PACKED_ENCODERS;

}  // namespace epochsift
