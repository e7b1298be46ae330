// DecimalText writes what std::to_chars writes, for every length of every
// sign and the extremes of both types.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <random>
#include <string_view>
#include <vector>

#include "core/decimal_text.hpp"

using epochsift::DecimalText;

namespace {

template <class Integer>
std::string_view reference(Integer value, char (&out)[24]) {
    return {out, static_cast<std::size_t>(std::to_chars(out, out + sizeof out, value).ptr - out)};
}

}  // namespace

TEST(DecimalText, WritesWhatToCharsWrites) {
    std::vector<uint64_t> magnitudes = {0, 1, 9, 10, 99, 100, 101, 999, 1000, 1700000000,
                                        std::numeric_limits<uint64_t>::max(), uint64_t{1} << 63};
    for (uint64_t p = 1; p <= 1'000'000'000'000'000'000u; p *= 10) {  // each length and its edges
        for (uint64_t v : {p - 1, p, p + 1, 2 * p - 1}) magnitudes.push_back(v);
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 10'000; ++i) magnitudes.push_back(random() >> (random() % 64));
    DecimalText room;  // reused: a shorter text after a longer one is whole
    char want[24];
    for (uint64_t const m : magnitudes) {
        EXPECT_EQ(room.write_unsigned(m), reference(m, want)) << m;
        auto const s = static_cast<int64_t>(m);  // every bit pattern, negatives too
        EXPECT_EQ(room.write_signed(s), reference(s, want)) << s;
    }
    EXPECT_EQ(room.write_signed(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(room.write_signed(std::numeric_limits<int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(room.write_unsigned(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(room.write_signed(0), "0");
}
