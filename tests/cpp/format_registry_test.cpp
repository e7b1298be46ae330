#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "registry/format.hpp"
#include "temporal_formats/time_formats.hpp"

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
    std::optional<i128> ns;        // nothing: a Range error
    std::string_view reason = {};  // the Range reason when ns is absent
};

constexpr Worked WORKED[] = {
    {"unix", 1'700'000'000, i128{1'700'000'000'000'000'000}},
    {"unix_ms", -1, i128{-1'000'000}},
    {"filetime", 133'000'000'000'000'000, i128{1'655'526'400'000'000'000}},
    {"snowflake", 1'541'815'603'606'036'480, i128{1'656'432'460'105'000'000}},
    {"tiktok", 7'000'000'000'000'000'000, i128{1'629'814'505'000'000'000}},
    {"sony", int64_t{1} << 62, i128{4'158'308'669'440'000'000}},
    {"discord", -1, std::nullopt, "embedded-id (negative)"},
    {"ole", 45'000, std::nullopt, "float-format decoded as integer"},
};

TEST(FormatRegistry, WorkedValues) {
    for (auto const& w : WORKED) {
        auto const got = format_named(w.id).decode_int(w.raw);
        if (w.ns) {
            ASSERT_TRUE(got.ok()) << w.id;
            EXPECT_TRUE(*got == PosixNs{*w.ns}) << w.id;
        } else {
            ASSERT_FALSE(got.ok()) << w.id;
            EXPECT_EQ(got.error().kind, CodecError::Kind::Range) << w.id;
            EXPECT_TRUE(got.error().value == w.raw) << w.id;
            EXPECT_EQ(got.error().message, w.reason) << w.id;
        }
    }
}

TEST(FormatRegistry, FortyFiveRecordsInTableOrder) {
    ASSERT_EQ(FORMATS.size(), TIME_FORMATS.size());
    for (std::size_t i = 0; i < FORMATS.size(); ++i) EXPECT_EQ(FORMATS[i].spec, &TIME_FORMATS[i]) << i;
    EXPECT_EQ(FORMATS[19].id(), "fat");
    ASSERT_TRUE(FORMATS[19].codec.has_value());
    EXPECT_EQ(FORMATS[19].codec->decode, &decode_fat_dos);
    EXPECT_EQ(FORMATS[19].codec->encode, &encode_fat_dos);
    EXPECT_EQ(FORMATS[0].id(), "unix");
    EXPECT_FALSE(FORMATS[0].codec.has_value());
}

}  // namespace
}  // namespace epochsift
