#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/number_lexing.hpp"
#include "core/text_trim.hpp"

namespace epochsift {
namespace {

TEST(Trim, UnicodeWhiteSpace) {
    EXPECT_EQ(trim_white_space("  1700000000\n"), "1700000000");
    EXPECT_EQ(trim_white_space("\t\v\f\r x \xc2\x85\xc2\xa0"), "x");
    // U+1680, U+2000, U+200A, U+2028, U+2029, U+202F, U+205F, U+3000 on both sides.
    EXPECT_EQ(trim_white_space("\xe1\x9a\x80\xe2\x80\x80\xe2\x80\x8a\xe2\x80\xa8 y \xe2\x80\xa9\xe2\x80\xaf\xe2\x81\x9f\xe3\x80\x80"), "y");
    // Not White_Space: U+200B (zero width space), U+FEFF, U+180E.
    EXPECT_EQ(trim_white_space("\xe2\x80\x8bz"), "\xe2\x80\x8bz");
    EXPECT_EQ(trim_white_space("z\xef\xbb\xbf"), "z\xef\xbb\xbf");
    EXPECT_EQ(trim_white_space(" \xc2"), "\xc2");  // a truncated sequence stays
    EXPECT_EQ(trim_white_space(" \xe3\x80\x80 "), "");
}

TEST(IntegerTest, Accepts) {
    EXPECT_EQ(parse_integer("+5"), 5);
    EXPECT_EQ(parse_integer("007"), 7);
    EXPECT_EQ(parse_integer("-0"), 0);
    EXPECT_EQ(parse_integer("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(parse_integer("9223372036854775807"), std::numeric_limits<int64_t>::max());
}

TEST(IntegerTest, Rejects) {
    for (const char* text : {"", "+", "-", "+-5", "5-", "1 2", "0x10", "1_000", "1.0", "1e3",
                             "9223372036854775808", "-9223372036854775809", "\xd9\xa3"}) {
        EXPECT_FALSE(parse_integer(text)) << text;
    }
}

TEST(FloatTest, Accepts) {
    EXPECT_EQ(parse_float("1.5"), 1.5);
    EXPECT_EQ(parse_float("1e9"), 1e9);
    EXPECT_EQ(parse_float("1E9"), 1e9);
    EXPECT_EQ(parse_float(".5"), 0.5);
    EXPECT_EQ(parse_float("5."), 5.0);
    EXPECT_EQ(parse_float("+2.5e-3"), 2.5e-3);
    EXPECT_EQ(parse_float("9223372036854775808"), 9223372036854775808.0);
    EXPECT_EQ(parse_float("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("0.000e999999999999999999"), 0.0);
    EXPECT_EQ(parse_float("1e-400"), 0.0);
    EXPECT_TRUE(std::signbit(*parse_float("-1e-400")));
    EXPECT_TRUE(std::signbit(*parse_float("-0.0")));
    EXPECT_EQ(parse_float("0.1e-999999999999"), 0.0);
    EXPECT_EQ(parse_float("100000e-5"), 1.0);
    EXPECT_EQ(parse_float("-Infinity"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("iNf"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(*parse_float("NaN")));
    // Correct rounding, ties to even.
    EXPECT_EQ(parse_float("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(parse_float("2.2250738585072011e-308"), 2.2250738585072011e-308);
}

TEST(FloatTest, Rejects) {
    for (const char* text : {"", ".", "e5", "1e", "1e+", "--1", "+-1", "1.2.3", "0x10", "1 ", "infinit",
                             "nan(1)", "1f", "١", "inf5", "1,5", "+"}) {
        EXPECT_FALSE(parse_float(text)) << text;
    }
}

}  // namespace
}  // namespace epochsift
