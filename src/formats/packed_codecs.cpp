// The decoder and encoder tables, indexed by the PackedCodec code.
#include "formats/packed_codecs.hpp"

namespace epochsift {

namespace {

struct CodecRow {
    PackedCodec code;
    PackedDecoder decode;
    PackedEncoder encode;
};

constexpr auto CODEC_ROWS = std::to_array<CodecRow>({
    {PackedCodec::FatDos,    decode_fat_dos,   encode_fat_dos},
    {PackedCodec::Exfat,     decode_exfat,     encode_exfat},
    {PackedCodec::Dttm,      decode_dttm,      encode_dttm},
    {PackedCodec::BitDate,   decode_bitdate,   encode_bitdate},
    {PackedCodec::BitDec,    decode_bitdec,    encode_bitdec},
    {PackedCodec::Bcd,       decode_bcd,       encode_bcd},
    {PackedCodec::Moto,      decode_moto,      encode_moto},
    {PackedCodec::Symantec,  decode_symantec,  encode_symantec},
    {PackedCodec::Dvr,       decode_dvr,       encode_dvr},
    {PackedCodec::Ns40,      decode_ns40,      encode_ns40},
    {PackedCodec::Ns40Le,    decode_ns40le,    encode_ns40le},
    {PackedCodec::LogTime,   decode_logtime,   encode_logtime},
    {PackedCodec::SemiOctet, decode_semioctet, encode_semioctet},
    {PackedCodec::Gsm,       decode_gsm,       encode_gsm},
    {PackedCodec::NokiaLe,   decode_nokiale,   encode_nokiale},
    {PackedCodec::SqlServer, decode_sqlserver, encode_sqlserver},
    {PackedCodec::DotnetBinary, decode_dotnet_binary, encode_dotnet_binary},
});
static_assert(CODEC_ROWS.size() == PACKED_CODEC_COUNT, "one row for each packed codec");

consteval bool rows_sit_at_their_codes() {
    for (std::size_t i = 0; i < CODEC_ROWS.size(); ++i) {
        if (static_cast<std::size_t>(CODEC_ROWS[i].code) != i) return false;
    }
    return true;
}
static_assert(rows_sit_at_their_codes());

}  // namespace

constexpr std::array<PackedDecoder, PACKED_CODEC_COUNT> PACKED_DECODERS = [] {
    std::array<PackedDecoder, PACKED_CODEC_COUNT> column{};
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = CODEC_ROWS[i].decode;
    return column;
}();

constexpr std::array<PackedEncoder, PACKED_CODEC_COUNT> PACKED_ENCODERS = [] {
    std::array<PackedEncoder, PACKED_CODEC_COUNT> column{};
    for (std::size_t i = 0; i < column.size(); ++i) column[i] = CODEC_ROWS[i].encode;
    return column;
}();

}  // namespace epochsift
