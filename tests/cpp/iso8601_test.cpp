#include <gtest/gtest.h>

#include <random>
#include <string>

#include "interpret/asn1_time.hpp"
#include "interpret/iso8601.hpp"
#include "interpret/jwt_claims.hpp"
#include "time/posix_ns.hpp"

namespace epochsift {
namespace {

// Every rendering reads back as the instant it came from, over the whole
// calendar including negative and six-digit years.
TEST(Iso8601, ReadsBackEveryRendering) {
    std::mt19937_64 random(20240501);
    std::uniform_int_distribution<int64_t> seconds(MIN_CALENDAR_SECOND, MAX_CALENDAR_SECOND);
    std::uniform_int_distribution<int64_t> nanos(0, NS_PER_SECOND - 1);
    for (int i = 0; i < 200'000; ++i) {
        int64_t const whole = seconds(random);
        // Half the cases whole seconds, so the fraction-free form is covered.
        PosixNs const t = PosixNs::from_seconds(whole, i % 2 == 0 ? 0 : nanos(random));
        auto const text = t.to_rfc3339();
        ASSERT_TRUE(text);
        EXPECT_EQ(parse_iso8601(*text), t) << *text;
    }
    for (PosixNs const t : {PosixNs::from_seconds(MIN_CALENDAR_SECOND), PosixNs::from_seconds(MAX_CALENDAR_SECOND, 999'999'999),
                            PosixNs{-1}, PosixNs{0}}) {
        EXPECT_EQ(parse_iso8601(*t.to_rfc3339()), t) << *t.to_rfc3339();
    }
}

// A prefix of a valid text is never itself taken, except where the cut
// leaves a shorter valid form (an offset or fraction that may stop early).
TEST(Iso8601, PrefixesOfAFullTextFailUnlessComplete) {
    std::string const full = "2024-05-01T12:34:56.789+05:30[Asia/Kolkata][u-ca=gregory]";
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::string_view const prefix(full.data(), n);
        bool const complete = prefix == "2024-05-01T12:34:56.789+05" || prefix == "2024-05-01T12:34:56.789+05:30" ||
                              prefix == "2024-05-01T12:34:56.789+05:30[Asia/Kolkata]";
        EXPECT_EQ(parse_iso8601(prefix).has_value(), complete) << prefix;
    }
    EXPECT_TRUE(parse_iso8601(full));
}

TEST(Iso8601, LongSuffixRunsAreReadToTheEnd) {
    std::string text = "2024-05-01T12:00:00Z[Europe/Paris]";
    for (int i = 0; i < 100'000; ++i) text += "[x-k=v]";
    EXPECT_TRUE(parse_iso8601(text));
    text += "[!x-k=v]";  // one unknown critical key at the very end still fails
    EXPECT_FALSE(parse_iso8601(text));
    EXPECT_FALSE(parse_iso8601(std::string(1'000'000, '[')));
    EXPECT_FALSE(parse_iso8601(std::string_view("2024-05-01T12:00:00Z\0", 21)));
}

TEST(Asn1, DesignatorFlag) {
    struct Case {
        const char* text;
        int year_digits;
        bool has_designator;
    };
    for (auto const& c : {Case{"20240501120000Z", 4, true}, Case{"20240501120000-0000", 4, true},
                          Case{"20240501120000", 4, false}, Case{"240501120000", 2, false},
                          Case{"2405011200+0100", 2, true}}) {
        auto const parsed = parse_asn1(c.text, c.year_digits);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(parsed->has_designator, c.has_designator) << c.text;
    }
    EXPECT_FALSE(parse_asn1("20240501120000Z", 3));  // only 2 or 4 year digits
    EXPECT_FALSE(parse_asn1("", 4));
    EXPECT_FALSE(parse_asn1("+0000", 4));  // an offset and no date
}

TEST(Jwt, ClaimsAndRefusals) {
    // {"iat":1,"exp":-20}, unpadded: its last symbol holds four spare bits.
    auto const claims = parse_jwt_claims(".eyJpYXQiOjEsImV4cCI6LTIwfQ.");
    ASSERT_TRUE(claims);
    EXPECT_EQ(claims->iat, 1);
    EXPECT_EQ(claims->exp, -20);
    EXPECT_FALSE(claims->nbf);

    auto const empty_object = parse_jwt_claims("a.e30.b");  // {}
    ASSERT_TRUE(empty_object);
    EXPECT_FALSE(empty_object->iat || empty_object->exp || empty_object->nbf);

    EXPECT_FALSE(parse_jwt_claims("a..b"));   // no payload
    EXPECT_FALSE(parse_jwt_claims("e30"));    // no dots
    EXPECT_FALSE(parse_jwt_claims("a.e30"));  // one dot
    EXPECT_FALSE(parse_jwt_claims("a.e30.b.c"));
}

TEST(Jwt, DeepNestingIsRefusedWithoutRecursion) {
    // 300 000 "[" bytes, base64url "W1tb" per three.
    std::string text = "h.";
    for (int i = 0; i < 100'000; ++i) text += "W1tb";
    text += ".s";
    EXPECT_FALSE(parse_jwt_claims(text));
}

}  // namespace
}  // namespace epochsift
