#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string_view>

#include "formats/packed_codecs.hpp"

namespace epochsift {
namespace {

constexpr int64_t I64_MIN = std::numeric_limits<int64_t>::min();

PackedDecoder decoder(PackedCodec c) { return PACKED_DECODERS[static_cast<std::size_t>(c)]; }
PackedEncoder encoder(PackedCodec c) { return PACKED_ENCODERS[static_cast<std::size_t>(c)]; }

PosixNs at(int64_t unix_seconds, int64_t nanos = 0) { return PosixNs::from_seconds(unix_seconds, nanos); }

int64_t seconds_of(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return *unix_seconds(CivilTime{year, month, day, hour, minute, second});
}

// A Range error, optionally about the given value.
template <class T>
bool is_range_error(const CodecResult<T>& r, std::optional<i128> value = std::nullopt) {
    return !r.ok() && r.error().kind == CodecError::Kind::Range && (!value || r.error().value == *value);
}

template <class T>
bool is_calendar_error(const CodecResult<T>& r) {
    return !r.ok() && r.error().kind == CodecError::Kind::Calendar;
}

bool decodes_to(const CodecResult<PosixNs>& r, PosixNs expected) { return r.ok() && *r == expected; }

// Each codec's whole range at its precision: from the first second of a year
// to the last step of a year (or the calendar's end), and the step between
// neighbours. Nokia LE counts seconds, not years: see NokiaLeEnds.
struct CodecRange {
    PackedCodec codec;
    std::string_view name;
    int first_year;
    int last_year;
    int64_t step_seconds;
};

constexpr CodecRange RANGES[] = {
    {PackedCodec::FatDos, "fat_dos", 1980, 2107, 2},
    {PackedCodec::Exfat, "exfat", 1980, 2107, 2},
    {PackedCodec::Dttm, "dttm", 1900, 2411, 60},
    {PackedCodec::BitDate, "bitdate", 0, 4095, 60},
    {PackedCodec::BitDec, "bitdec", 0, 9999, 60},  // the calendar ends these
    {PackedCodec::Bcd, "bcd", 2000, 2099, 1},
    {PackedCodec::Moto, "moto", 1970, 2225, 1},
    {PackedCodec::Symantec, "symantec", 1970, 2225, 1},
    {PackedCodec::Dvr, "dvr", 2000, 2063, 1},
    {PackedCodec::Ns40, "ns40", 0, 9999, 1},
    {PackedCodec::Ns40Le, "ns40le", 0, 9999, 1},
    {PackedCodec::LogTime, "logtime", 1900, 2155, 1},
    {PackedCodec::SemiOctet, "semioctet", 2000, 2099, 1},
    {PackedCodec::Gsm, "gsm", 2000, 2099, 1},
};

// Encode, then decode: the instant comes back with what the codec cannot
// hold (the odd second, the seconds, the fraction) dropped.
TEST(PackedCodecs, RoundTripOverWholeRange) {
    std::mt19937_64 rng(0x5EED'2023);
    for (auto const& r : RANGES) {
        int64_t const first_second = seconds_of(r.first_year, 1, 1);
        int64_t const year_end = r.last_year == 9999 ? MAX_CALENDAR_SECOND : seconds_of(r.last_year + 1, 1, 1) - 1;
        auto const steps = static_cast<uint64_t>((year_end - first_second) / r.step_seconds);
        int64_t const last_second = first_second + static_cast<int64_t>(steps) * r.step_seconds;
        std::uniform_int_distribution<uint64_t> pick_step(0, steps);
        std::uniform_int_distribution<int64_t> pick_fraction(0, r.step_seconds * NS_PER_SECOND - 1);
        for (int i = 0; i < 4000; ++i) {
            uint64_t const k = i == 0 ? 0 : i == 1 ? steps : pick_step(rng);
            PosixNs const exact = at(first_second + static_cast<int64_t>(k) * r.step_seconds);
            PosixNs const noisy{exact.ns + (i < 2 ? 0 : pick_fraction(rng))};
            auto const raw = encoder(r.codec)(noisy);
            ASSERT_TRUE(raw.ok()) << r.name << " at " << *exact.to_rfc3339() << ": " << raw.error().message;
            ASSERT_TRUE(decodes_to(decoder(r.codec)(static_cast<int64_t>(*raw)), exact))
                << r.name << " at " << *exact.to_rfc3339();
        }
        // One nanosecond before the range and one step after it have no raw value.
        EXPECT_TRUE(is_range_error(encoder(r.codec)(PosixNs{at(first_second).ns - 1}))) << r.name;
        EXPECT_FALSE(encoder(r.codec)(at(last_second + r.step_seconds)).ok()) << r.name;
    }
}

// SQL Server keeps 1/300 s: any tick of any day in the signed 32-bit day
// range survives both directions.
TEST(PackedCodecs, SqlServerRoundTripOverWholeRange) {
    std::mt19937_64 rng(0x5EED'1900);
    std::uniform_int_distribution<int64_t> pick_days(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<uint64_t> pick_ticks(0, 25'919'999);
    for (int i = 0; i < 20000; ++i) {
        int64_t const days = i == 0 ? INT32_MIN : i == 1 ? INT32_MAX : pick_days(rng);
        uint64_t const ticks = i == 0 ? 0 : i == 1 ? 25'919'999 : pick_ticks(rng);
        uint64_t const raw = uint64_t{static_cast<uint32_t>(days)} << 32 | ticks;
        auto const instant = decode_sqlserver(static_cast<int64_t>(raw));
        ASSERT_TRUE(instant.ok()) << raw;
        auto const back = encode_sqlserver(*instant);
        ASSERT_TRUE(back.ok()) << raw;
        EXPECT_EQ(*back, raw) << "days " << days << " ticks " << ticks;
    }
}

// Any raw value that decodes re-encodes to a raw value that decodes to the
// same instant; no raw value crashes a decoder.
TEST(PackedCodecs, DecodeEncodeDecodeIsStable) {
    std::mt19937_64 rng(0x5EED'0064);
    for (std::size_t code = 0; code < PACKED_CODEC_COUNT; ++code) {
        for (int i = 0; i < 20000; ++i) {
            auto const raw = static_cast<int64_t>(rng() >> (rng() % 64));
            auto const instant = PACKED_DECODERS[code](raw);
            if (!instant.ok()) continue;
            auto const again = PACKED_ENCODERS[code](*instant);
            if (code == static_cast<std::size_t>(PackedCodec::Gsm) && !again.ok()) {
                EXPECT_EQ(civil_fields(*instant).value().year, 1999) << raw;  // the one year GSM cannot write
                continue;
            }
            ASSERT_TRUE(again.ok()) << "code " << code << " raw " << raw;
            EXPECT_TRUE(decodes_to(PACKED_DECODERS[code](static_cast<int64_t>(*again)), *instant))
                << "code " << code << " raw " << raw;
        }
    }
}

struct WidthLimit {
    PackedCodec codec;
    int64_t first_too_wide;  // 0: no upper limit
};

constexpr int64_t TWELVE_DIGITS = 1'000'000'000'000;

constexpr WidthLimit WIDTHS[] = {
    {PackedCodec::FatDos, int64_t{1} << 32},  {PackedCodec::Exfat, int64_t{1} << 32},
    {PackedCodec::Dttm, int64_t{1} << 32},    {PackedCodec::BitDate, int64_t{1} << 32},
    {PackedCodec::BitDec, int64_t{1} << 35},  {PackedCodec::Bcd, TWELVE_DIGITS},
    {PackedCodec::Moto, int64_t{1} << 48},    {PackedCodec::Symantec, int64_t{1} << 48},
    {PackedCodec::Dvr, int64_t{1} << 32},     {PackedCodec::Ns40, int64_t{1} << 56},
    {PackedCodec::Ns40Le, int64_t{1} << 56},  {PackedCodec::LogTime, 0},
    {PackedCodec::SemiOctet, TWELVE_DIGITS},  {PackedCodec::Gsm, int64_t{1} << 56},
    {PackedCodec::NokiaLe, int64_t{1} << 32},
};

// Negative and too-wide raw values are refused whatever their fields.
TEST(PackedCodecs, WidthRejections) {
    for (auto const& w : WIDTHS) {
        auto const decode = decoder(w.codec);
        auto const code = static_cast<int>(w.codec);
        for (int64_t raw : {int64_t{-1}, I64_MIN}) EXPECT_TRUE(is_range_error(decode(raw), raw)) << code;
        if (w.first_too_wide == 0) continue;
        EXPECT_TRUE(is_range_error(decode(w.first_too_wide))) << code;
        EXPECT_TRUE(is_range_error(decode(std::numeric_limits<int64_t>::max()))) << code;
    }
}

// Fields the layouts can hold but the calendar cannot.
TEST(PackedCodecs, CalendarRejections) {
    for (std::size_t code = 0; code < PACKED_CODEC_COUNT; ++code) {
        if (code == static_cast<std::size_t>(PackedCodec::NokiaLe) ||
            code == static_cast<std::size_t>(PackedCodec::SqlServer) ||
            code == static_cast<std::size_t>(PackedCodec::DotnetBinary)) {  // counts: no fields to reject
            continue;
        }
        EXPECT_TRUE(is_calendar_error(PACKED_DECODERS[code](0))) << code;  // month 0 (Symantec: day 0)
    }
    EXPECT_TRUE(is_calendar_error(decode_fat_dos(0x01A1'0000)));  // month 13
    EXPECT_TRUE(is_calendar_error(decode_fat_dos(0x0021'001E)));  // second 60: no leap second
    EXPECT_TRUE(is_calendar_error(decode_bcd(230229'000000)));    // 2023 is not a leap year
    EXPECT_TRUE(is_calendar_error(decode_moto(int64_t{0x36'80'01'00'00'00})));  // month byte 128
    EXPECT_TRUE(is_range_error(decode_ns40(int64_t{1} << 55)));
    EXPECT_TRUE(is_range_error(decode_ns40le(int64_t{0x80} << 40)));  // high byte 128
    EXPECT_TRUE(is_calendar_error(decode_bitdec(int64_t{10000} << 20 | 1 << 16 | 1 << 11)));  // 10000-01-01
    // Year 9999 decodes only up to the calendar's last second.
    EXPECT_TRUE(decodes_to(decode_ns40(int64_t{9999} << 40 | 0x0C'1E'16'00'00), at(MAX_CALENDAR_SECOND)));
    EXPECT_TRUE(is_calendar_error(decode_ns40(int64_t{9999} << 40 | 0x0C'1E'16'00'01)));
    // An instant the calendar cannot show has no civil fields to encode.
    EXPECT_TRUE(is_calendar_error(encode_ns40(at(MAX_CALENDAR_SECOND + 1))));
    EXPECT_TRUE(is_calendar_error(encode_bitdec(at(MIN_CALENDAR_SECOND - 1))));
    EXPECT_TRUE(is_calendar_error(civil_fields(PosixNs{std::numeric_limits<i128>::min()})));
    EXPECT_EQ(civil_fields(PosixNs{-1}).value(), (CivilTime{1969, 12, 31, 23, 59, 59}));  // fields round down
}

// Byte values outside their fields' ranges that some layouts still read.
TEST(PackedCodecs, WrappedBytes) {
    EXPECT_TRUE(decodes_to(decode_gsm(0x0D10'1000'0000'00), at(seconds_of(1999, 1, 1))));  // year byte above 127
    EXPECT_TRUE(is_calendar_error(decode_gsm(0x320D'1000'0000'00)));  // month byte 0D reads -1
    EXPECT_TRUE(decodes_to(decode_gsm(0x3211'4122'3191'FF), at(1'699'999'999)));  // tz byte ignored
    EXPECT_TRUE(is_calendar_error(decode_symantec(0x35'FF'0E'16'0D'13)));  // 255 + 1 is month 0, in eight bits
    EXPECT_TRUE(decodes_to(decode_symantec(0x35'00'0E'16'0D'13), at(seconds_of(2023, 1, 14, 22, 13, 19))));
}

TEST(PackedCodecs, NokiaLeEnds) {
    EXPECT_EQ(encode_nokiale(at(2'524'608'000, NS_PER_SECOND - 1)).value(), 0xFFFF'FFFFu);  // 2050-01-01, fraction dropped
    EXPECT_EQ(encode_nokiale(at(-1'770'359'295)).value(), 0u);                          // 1913-11-25T17:31:45Z
    auto const after = encode_nokiale(at(2'524'608'001));
    EXPECT_TRUE(is_range_error(after, 2'524'608'001));
    EXPECT_TRUE(is_range_error(encode_nokiale(PosixNs{at(-1'770'359'295).ns - 1})));
}

TEST(PackedCodecs, SqlServerEdges) {
    constexpr int64_t DAY_1900 = -2'208'988'800;
    EXPECT_TRUE(decodes_to(decode_sqlserver(0), at(DAY_1900)));
    EXPECT_TRUE(decodes_to(decode_sqlserver(-4'294'967'296), at(DAY_1900 - 86'400)));  // negative days: before 1900
    // The last tick of a day is accepted, one more is a whole day.
    EXPECT_TRUE(decodes_to(decode_sqlserver(25'919'999), at(DAY_1900 + 86'399, 996'666'666)));
    auto const too_many = decode_sqlserver(25'920'000);
    EXPECT_TRUE(is_range_error(too_many, 25'920'000));
    // Encoding rounds to the nearest tick, halves up, and rolls over at midnight.
    EXPECT_EQ(encode_sqlserver(at(DAY_1900, 1'666'666)).value(), 0u);
    EXPECT_EQ(encode_sqlserver(at(DAY_1900, 1'666'667)).value(), 1u);
    EXPECT_EQ(encode_sqlserver(PosixNs{at(DAY_1900).ns - 1'666'666}).value(), 0u);
    EXPECT_EQ(encode_sqlserver(PosixNs{at(DAY_1900).ns - 1'666'667}).value(), 0xFFFF'FFFF'018B'81FFu);
    // The day count must fit 32 signed bits; the shift to 1900 must fit 128.
    PosixNs const last_tick = decode_sqlserver(int64_t{INT32_MAX} << 32 | 25'919'999).value();
    EXPECT_TRUE(is_range_error(encode_sqlserver(PosixNs{last_tick.ns + 2'000'000})));
    EXPECT_TRUE(is_range_error(encode_sqlserver(PosixNs{std::numeric_limits<i128>::max()})));
}

}  // namespace
}  // namespace epochsift
