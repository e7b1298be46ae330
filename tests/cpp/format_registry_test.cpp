#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string_view>

#include "formats/numeric_decode.hpp"
#include "formats/numeric_families.hpp"

namespace epochsift {
namespace {

const Format& format_named(std::string_view id) {
    for (auto const& f : FORMATS) {
        if (f.id() == id) return f;
    }
    ADD_FAILURE() << "no format " << id;
    return FORMATS[0];
}

struct Worked {
    std::string_view id;
    int64_t raw;
    i128 ns;
};

constexpr Worked WORKED[] = {
    {"unix", 1'700'000'000, 1'700'000'000'000'000'000},
    {"unix_ms", -1, -1'000'000},
    {"filetime", 133'000'000'000'000'000, 1'655'526'400'000'000'000},
    {"snowflake", 1'541'815'603'606'036'480, 1'656'432'460'105'000'000},
    {"tiktok", 7'000'000'000'000'000'000, 1'629'814'505'000'000'000},
    {"sony", int64_t{1} << 62, 4'158'308'669'440'000'000},
};

TEST(FormatRegistry, WorkedValues) {
    for (auto const& w : WORKED) {
        auto const got = format_named(w.id).decode_int(w.raw);
        ASSERT_TRUE(got.ok()) << w.id;
        EXPECT_TRUE(*got == PosixNs{w.ns}) << w.id;
    }
}

constexpr int64_t I64_MIN = std::numeric_limits<int64_t>::min();
constexpr int64_t I64_MAX = std::numeric_limits<int64_t>::max();

bool is_tag(const Format& f, Encoding::Tag tag) { return f.encoding().tag == tag; }

TEST(FormatRegistry, IntegerRowsTakeEveryInt64) {
    for (auto const& f : FORMATS) {
        if (!is_tag(f, Encoding::Tag::Integer)) continue;
        for (int64_t raw : {I64_MIN, int64_t{-1}, int64_t{0}, int64_t{1}, I64_MAX}) {
            auto const t = f.decode_int(raw);
            ASSERT_TRUE(t.ok()) << f.id() << " " << raw;
            EXPECT_TRUE(t.value().ns == i128{raw} * unit_ns(f.encoding().unit) + f.epoch().ns) << f.id() << " " << raw;
        }
        EXPECT_LT(*f.decode_int(-1), f.epoch()) << f.id();  // negative counts lie before the epoch
    }
}

TEST(FormatRegistry, ShiftedRowsDropTheLowBits) {
    for (auto const& f : FORMATS) {
        if (!is_tag(f, Encoding::Tag::Shifted)) continue;
        int64_t const one = int64_t{1} << f.encoding().shift;
        EXPECT_TRUE(*f.decode_int(0) == f.epoch()) << f.id();
        EXPECT_TRUE(*f.decode_int(one - 1) == f.epoch()) << f.id();
        EXPECT_TRUE(f.decode_int(one).value().ns == f.epoch().ns + unit_ns(f.encoding().unit)) << f.id();
        auto const negative = f.decode_int(-1);
        ASSERT_FALSE(negative.ok()) << f.id();
        EXPECT_EQ(negative.error().kind, CodecError::Kind::Range) << f.id();
        EXPECT_TRUE(negative.error().value == -1 && negative.error().message == "embedded-id (negative)") << f.id();
    }
    // TikTok keeps all 32 upper bits: the largest raw value is 2^31 - 1 seconds.
    EXPECT_TRUE(*format_named("tiktok").decode_int(I64_MAX) == PosixNs::from_seconds(2'147'483'647));
}

TEST(FormatRegistry, FloatRowsRefuseIntegers) {
    for (auto const& f : FORMATS) {
        if (!is_tag(f, Encoding::Tag::Float)) continue;
        for (int64_t raw : {I64_MIN, int64_t{0}, int64_t{45'000}, I64_MAX}) {
            auto const r = f.decode_int(raw);
            ASSERT_FALSE(r.ok()) << f.id();
            EXPECT_EQ(r.error().message, "float-format decoded as integer") << f.id();
            EXPECT_TRUE(r.error().value == raw) << f.id();
        }
    }
}

// A packed row is its codec's decoder, error for error.
TEST(FormatRegistry, PackedRowsAnswerAsTheirDecoder) {
    std::mt19937_64 rng(0x5EED'0045);
    for (auto const& f : FORMATS) {
        if (!is_tag(f, Encoding::Tag::Packed)) continue;
        auto const decode = PACKED_DECODERS[static_cast<std::size_t>(f.encoding().codec)];
        for (int i = 0; i < 2000; ++i) {
            auto const raw = static_cast<int64_t>(rng() >> (rng() % 64));
            auto const got = f.decode_int(raw);
            auto const want = decode(raw);
            ASSERT_EQ(got.ok(), want.ok()) << f.id() << " " << raw;
            if (got.ok()) {
                EXPECT_TRUE(*got == *want) << f.id() << " " << raw;
            } else {
                EXPECT_EQ(got.error().kind, want.error().kind) << f.id() << " " << raw;
                EXPECT_TRUE(got.error().value == want.error().value) << f.id() << " " << raw;
                EXPECT_EQ(got.error().message, want.error().message) << f.id() << " " << raw;
            }
        }
    }
}

// Rows whose sums leave 128 bits do not exist in the table; made-up ones show
// the additions are checked.
TEST(FormatRegistry, OverflowAndMissingCodecAreErrors) {
    constexpr i128 I128_MAX = std::numeric_limits<i128>::max();
    TimeFormat integer = TIME_FORMATS[0];
    integer.epoch = PosixNs{I128_MAX};
    Format const near_top{&integer, std::nullopt};
    auto const sum = near_top.decode_int(1);
    EXPECT_TRUE(!sum.ok() && sum.error().message == "nanoseconds" && sum.error().value == 1);
    EXPECT_TRUE(near_top.decode_int(-1).ok());

    TimeFormat shifted = TIME_FORMATS[16];  // snowflake, shift 22
    shifted.epoch = PosixNs{I128_MAX};
    Format const shifted_near_top{&shifted, std::nullopt};
    auto const count = shifted_near_top.decode_int(int64_t{3} << 22);
    EXPECT_TRUE(!count.ok() && count.error().message == "nanoseconds" && count.error().value == 3);

    Format const orphan_record{&TIME_FORMATS[19], std::nullopt};
    auto const orphan = orphan_record.decode_int(0x0021'0000);
    EXPECT_TRUE(!orphan.ok() && orphan.error().value == 0);
    EXPECT_EQ(orphan.error().message, "packed format has no engine codec (internal invariant broken)");
}

}  // namespace
}  // namespace epochsift
