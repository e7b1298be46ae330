#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "core/ascii_scan.hpp"
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

// Against std::from_chars over random texts of 1 to 22 characters around
// the widths where overflow begins: digits with a sign or none, and now and
// then one character that is not a digit.
TEST(IntegerTest, AgreesWithFromChars) {
    std::mt19937_64 random(25);
    for (int i = 0; i < 300'000; ++i) {
        std::string text;
        int const sign = static_cast<int>(random() % 3);  // none, '+', '-'
        if (sign != 0) text += sign == 1 ? '+' : '-';
        std::size_t const digits = 1 + random() % 21;
        for (std::size_t k = 0; k < digits; ++k) text += static_cast<char>('0' + random() % 10);
        // Now and then a byte that is no digit: ASCII's neighbours of the digits
        // ('/', ':'), digits with the high bit set (0xB0, 0xB9), and others.
        if (random() % 10 == 0) text[random() % text.size()] = "x. 9/:\xb0\xb9\xff\x06"[random() % 10];
        // from_chars takes no '+': the text after it.
        std::string_view const body = text[0] == '+' ? std::string_view(text).substr(1) : std::string_view(text);
        int64_t expected = 0;
        auto const [end, error] = std::from_chars(body.data(), body.data() + body.size(), expected);
        bool const whole = error == std::errc{} && end == body.data() + body.size() && !body.starts_with("+") &&
                           !(body.starts_with("-") && text[0] == '+');
        auto const got = parse_integer(text);
        if (whole) {
            EXPECT_EQ(got, expected) << text;
        } else {
            EXPECT_FALSE(got) << text;
        }
    }
}

// Correctly rounded, as strtod rounds, over random decimal texts of every
// shape the grammar allows.
TEST(FloatTest, RoundsLikeStrtod) {
    std::mt19937_64 rng(0xF10A7);
    auto digits = [&](std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i) out += static_cast<char>('0' + rng() % 10);
        return out;
    };
    for (int i = 0; i < 100000; ++i) {
        std::string text = rng() % 2 ? "" : rng() % 2 ? "-" : "+";
        std::string const whole = digits(rng() % 22), fraction = digits(rng() % 22);
        text += whole;
        if (whole.empty() || rng() % 2) text += "." + fraction;
        if (whole.empty() && fraction.empty()) text += "5";
        if (rng() % 2) text += std::string(rng() % 2 ? "e" : "E") + (rng() % 2 ? "-" : "") + digits(1 + rng() % 3);
        auto const got = parse_float(text);
        ASSERT_TRUE(got) << text;
        ASSERT_EQ(std::bit_cast<uint64_t>(*got), std::bit_cast<uint64_t>(std::strtod(text.c_str(), nullptr))) << text;
    }
}

TEST(FloatTest, NamesAndExtremeExponents) {
    EXPECT_EQ(parse_float("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("0.000e999999999999999999"), 0.0);  // an exponent past any integer
    EXPECT_EQ(parse_float("0.1e-999999999999"), 0.0);
    EXPECT_TRUE(std::signbit(*parse_float("-1e-400")));
    EXPECT_EQ(parse_float("-Infinity"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parse_float("iNf"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(*parse_float("NaN")));
}

TEST(FloatTest, Rejects) {
    for (const char* text : {"", ".", "e5", "1e", "1e+", "--1", "+-1", "1.2.3", "0x10", "1 ", "infinit",
                             "nan(1)", "1f", "١", "inf5", "1,5", "+"}) {
        EXPECT_FALSE(parse_float(text)) << text;
    }
}

// The word-wise digit scan against a byte-by-byte one: every length up to
// three words, a digit or a byte next to the digits ('/', ':', 0xb0-0xb9,
// 0x80, 0xff) at each place, the rest random.
TEST(DigitScan, SameAsByteByByte) {
    std::mt19937_64 rng(31);
    constexpr char NEAR[] = {'/', ':', '\x80', '\xb0', '\xb9', '\xff', '\x00', ' ', 'a'};
    auto const plain = [](const std::string& text) {
        for (char const c : text) {
            if (c >= '0' && c <= '9') return true;
        }
        return false;
    };
    for (std::size_t n = 0; n <= 24; ++n) {
        for (int round = 0; round < 400; ++round) {
            std::string text(n, ' ');
            for (char& c : text) c = NEAR[rng() % std::size(NEAR)];
            if (n != 0 && round % 2 == 0) text[rng() % n] = static_cast<char>('0' + rng() % 10);
            ASSERT_EQ(contains_ascii_digit(text), plain(text)) << n << " round " << round;
            for (char& c : text) c = static_cast<char>(rng());
            ASSERT_EQ(contains_ascii_digit(text), plain(text)) << n << " random " << round;
        }
    }
}

}  // namespace
}  // namespace epochsift
