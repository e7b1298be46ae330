#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "registry/packed_codecs.hpp"

namespace epochsift {
namespace {

struct WorkedValue {
    PackedCodec codec;
    std::string_view name;
    uint64_t raw;
    i128 decoded_ns;
};

// 2023-11-14T22:13:19.123456789Z encoded by every codec, and what each raw
// value decodes back to at the codec's precision.
constexpr i128 WORKED_INSTANT = 1'699'999'999'123'456'789;
constexpr WorkedValue WORKED[] = {
    {PackedCodec::FatDos, "fat_dos", 0x576EB1A9, i128{1'699'999'998} * NS_PER_SECOND},
    {PackedCodec::Exfat, "exfat", 0x576EB1A9, i128{1'699'999'998} * NS_PER_SECOND},
    {PackedCodec::Dttm, "dttm", 0x07BB758D, i128{1'699'999'980} * NS_PER_SECOND},
    {PackedCodec::BitDate, "bitdate", 0x8D757B7E, i128{1'699'999'980} * NS_PER_SECOND},
    {PackedCodec::BitDec, "bitdec", 0x7E7B758D, i128{1'699'999'980} * NS_PER_SECOND},
    {PackedCodec::Bcd, "bcd", 231114221319, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Moto, "moto", 0x350B0E160D13, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Symantec, "symantec", 0x350A0E160D13, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Dvr, "dvr", 0x5EDD6353, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Ns40, "ns40", 0x07E70B0E160D13, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Ns40Le, "ns40le", 0xE7070B0E160D13, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::LogTime, "logtime", 0x130D160E0B7B0000, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::SemiOctet, "semioctet", 321141223191, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::Gsm, "gsm", 0x32114122319100, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::NokiaLe, "nokiale", 0xFE7AD9CE, i128{1'699'999'999} * NS_PER_SECOND},
    {PackedCodec::SqlServer, "sqlserver", 0xB0BA016E34F9, i128{1'699'999'999'123'333'333}},
};

TEST(PackedCodecs, WorkedValuesEncodeAndDecodeBack) {
    for (auto const& w : WORKED) {
        auto const code = static_cast<std::size_t>(w.codec);
        auto const raw = PACKED_ENCODERS[code](PosixNs{WORKED_INSTANT});
        ASSERT_TRUE(raw.ok()) << w.name;
        EXPECT_EQ(*raw, w.raw) << w.name;
        auto const back = PACKED_DECODERS[code](static_cast<int64_t>(w.raw));
        ASSERT_TRUE(back.ok()) << w.name;
        EXPECT_TRUE(*back == PosixNs{w.decoded_ns}) << w.name;
    }
}

}  // namespace
}  // namespace epochsift
