#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "core/civil.hpp"
#include "core/instant.hpp"

namespace epochsift {
namespace {

// Independent civil calendar: count days year by year from 1970, the slow
// obvious way, so it shares nothing with the <chrono> path under test.
int64_t slow_days_from_civil(int64_t y, int m, int d) {
    int64_t days = 0;
    for (int64_t year = 1970; year < y; ++year) days += is_leap_year(year) ? 366 : 365;
    for (int64_t year = y; year < 1970; ++year) days -= is_leap_year(year) ? 366 : 365;
    for (int month = 1; month < m; ++month) days += days_in_month(y, month);
    return days + d - 1;
}

std::string expected_text(int64_t y, int m, int d, int hh, int mm, int ss, int64_t frac) {
    char buf[64];
    if (y < 0) {
        std::snprintf(buf, sizeof buf, "-%06lld-%02d-%02dT%02d:%02d:%02d", static_cast<long long>(-y), m, d, hh, mm, ss);
    } else {
        std::snprintf(buf, sizeof buf, "%04lld-%02d-%02dT%02d:%02d:%02d", static_cast<long long>(y), m, d, hh, mm, ss);
    }
    std::string text = buf;
    if (frac != 0) {
        std::snprintf(buf, sizeof buf, ".%09lld", static_cast<long long>(frac));
        std::string f = buf;
        while (f.back() == '0') f.pop_back();
        text += f;
    }
    return text + "Z";
}

TEST(Rfc3339, FixedValues) {
    struct Case {
        i128 ns;
        const char* text;
    };
    const Case cases[] = {
        {-1, "1969-12-31T23:59:59.999999999Z"},
        {i128{253'402'207'200} * NS_PER_SECOND + 999'999'999, "9999-12-30T22:00:00.999999999Z"},
        {i128{-62'198'755'200} * NS_PER_SECOND, "-000001-01-01T00:00:00Z"},
        // The first second of the range with a fraction belongs to the second below it.
        {i128{MIN_CALENDAR_SECOND} * NS_PER_SECOND - 500'000'000, "-009999-01-02T01:59:58.5Z"},
    };
    for (const Case& c : cases) EXPECT_EQ(PosixNs{c.ns}.to_rfc3339(), std::optional<std::string>(c.text)) << c.text;
}

TEST(Rfc3339, OutsideTheCalendarRange) {
    EXPECT_FALSE(PosixNs{i128{253'402'207'201} * NS_PER_SECOND}.to_rfc3339());
    EXPECT_FALSE(PosixNs{i128{MIN_CALENDAR_SECOND - 1} * NS_PER_SECOND}.to_rfc3339());
    EXPECT_FALSE(PosixNs{i128{1} << 126}.to_rfc3339());
    EXPECT_FALSE(PosixNs{-(i128{1} << 126)}.to_rfc3339());
    EXPECT_TRUE(PosixNs{i128{MIN_CALENDAR_SECOND} * NS_PER_SECOND}.to_rfc3339());
}

// renders() decides, without writing, whether a reading has a text: it must
// agree with the writer at every edge of the range, to the nanosecond.
TEST(Rfc3339, RendersAgreesWithTheWriterAtTheEdges) {
    char text[RFC3339_MAX_LEN];
    for (int64_t const second : {MIN_CALENDAR_SECOND, MAX_CALENDAR_SECOND, int64_t{0}}) {
        for (int64_t step = -2; step <= 2; ++step) {
            for (int64_t const nanos : {-999'999'999, -1, 0, 1, 999'999'999}) {
                PosixNs const instant = PosixNs::from_seconds(second + step, nanos);
                EXPECT_EQ(instant.renders(), instant.write_rfc3339(text) != 0) << second + step << " s " << nanos;
            }
        }
    }
}

TEST(Rfc3339, RandomInstantsMatchAnIndependentCalendar) {
    std::mt19937_64 rng(20261206);
    std::uniform_int_distribution<int64_t> seconds(MIN_CALENDAR_SECOND, MAX_CALENDAR_SECOND);
    std::uniform_int_distribution<int64_t> nanos(0, NS_PER_SECOND - 1);
    for (int i = 0; i < 2000; ++i) {
        int64_t const s = seconds(rng);
        int64_t const frac = i % 3 == 0 ? 0 : nanos(rng);
        int64_t const day = static_cast<int64_t>(floor_div(s, 86400));
        int64_t const sod = s - day * 86400;
        // Find the civil date by searching from a year estimate.
        int64_t y = 1970 + day / 366;
        while (slow_days_from_civil(y + 1, 1, 1) <= day) ++y;
        while (slow_days_from_civil(y, 1, 1) > day) --y;
        int m = 1;
        while (m < 12 && slow_days_from_civil(y, m + 1, 1) <= day) ++m;
        int const d = static_cast<int>(day - slow_days_from_civil(y, m, 1)) + 1;
        std::string const want = expected_text(y, m, d, static_cast<int>(sod / 3600), static_cast<int>(sod / 60 % 60),
                                               static_cast<int>(sod % 60), frac);
        ASSERT_EQ(PosixNs::from_seconds(s, frac).to_rfc3339(), std::optional<std::string>(want)) << want;
    }
}

// Fractions of every length, from one digit to nine: the trailing zeros
// go, the leading ones stay.
TEST(Rfc3339, FractionsOfEveryLength) {
    std::mt19937_64 rng(20261207);
    int64_t const seconds[] = {0, 1'700'000'000, -1, MAX_CALENDAR_SECOND - 1, MIN_CALENDAR_SECOND + 86'400};
    for (int64_t const s : seconds) {
        for (int digits = 1; digits <= 9; ++digits) {
            int64_t scale = 1;
            for (int k = digits; k < 9; ++k) scale *= 10;
            for (int i = 0; i < 200; ++i) {
                // A last digit that is not zero, any digits before it, then zeros.
                int64_t const body = static_cast<int64_t>(rng() % static_cast<uint64_t>(NS_PER_SECOND / scale / 10));
                int64_t const last = 1 + static_cast<int64_t>(rng() % 9);
                int64_t const frac = (body * 10 + last) * scale;
                int64_t const day = static_cast<int64_t>(floor_div(s, 86400));
                CivilTime const c = *civil_from_unix_seconds(day * 86400);
                int64_t const sod = s - day * 86400;
                std::string const want = expected_text(c.year, c.month, c.day, static_cast<int>(sod / 3600),
                                                       static_cast<int>(sod / 60 % 60), static_cast<int>(sod % 60), frac);
                ASSERT_EQ(PosixNs::from_seconds(s, frac).to_rfc3339(), std::optional<std::string>(want)) << want;
            }
        }
    }
}

TEST(Civil, EveryDayOfTheRangeFollowsTheLastAndRoundTrips) {
    // Walk every day from -9999-01-02 to 9999-12-30: each is one day after
    // the previous, and its fields convert back to the same second.
    auto previous = unix_seconds(CivilTime{-9999, 1, 2});
    ASSERT_TRUE(previous);
    CivilTime f{-9999, 1, 2};
    for (int64_t days = 1; f.year != 9999 || f.month != 12 || f.day != 30; ++days) {
        ++f.day;
        if (f.day > days_in_month(f.year, f.month)) {
            f.day = 1;
            if (++f.month > 12) f.month = 1, ++f.year;
        }
        auto const s = unix_seconds(f);
        ASSERT_TRUE(s);
        ASSERT_EQ(*s, *previous + 86400);
        previous = s;
        ASSERT_EQ(civil_from_unix_seconds(*s), std::optional<CivilTime>(f));
    }
}

TEST(Civil, ValidationAndOffsets) {
    auto ns = [](int y, int m, int d, int hh, int mm, int ss, int32_t n, int64_t off) {
        return civil_to_posix(CivilTime{y, m, d, hh, mm, ss, n}, off);
    };
    EXPECT_EQ(ns(2024, 1, 1, 0, 0, 0, 0, 3600), std::optional(PosixNs{1'704'063'600'000'000'000}));
    EXPECT_EQ(ns(2024, 1, 1, 0, 0, 0, 0, 0), std::optional(PosixNs{1'704'067'200'000'000'000}));
    EXPECT_TRUE(ns(2024, 2, 29, 0, 0, 0, 0, 0));
    EXPECT_TRUE(ns(2000, 2, 29, 0, 0, 0, 0, 0));
    EXPECT_FALSE(ns(2023, 2, 29, 0, 0, 0, 0, 0));   // not a leap year
    EXPECT_FALSE(ns(1900, 2, 29, 0, 0, 0, 0, 0));   // century, not a leap year
    EXPECT_FALSE(ns(2024, 4, 31, 0, 0, 0, 0, 0));   // April has 30 days
    EXPECT_FALSE(ns(2024, 1, 1, 23, 59, 60, 0, 0)); // no leap second
    EXPECT_FALSE(ns(2024, 0, 1, 0, 0, 0, 0, 0));
    EXPECT_FALSE(ns(2024, 1, 1, 24, 0, 0, 0, 0));
    EXPECT_FALSE(ns(-10000, 1, 1, 0, 0, 0, 0, 0));  // year below -9999
    EXPECT_FALSE(ns(10000, 1, 1, 0, 0, 0, 0, 0));
    EXPECT_TRUE(ns(2024, 1, 1, 0, 0, 0, 999'999'999, 0));
    EXPECT_FALSE(ns(2024, 1, 1, 0, 0, 0, 1'000'000'000, 0));
    EXPECT_FALSE(ns(2024, 1, 1, 0, 0, 0, -1, 0));
    EXPECT_TRUE(ns(2024, 1, 1, 0, 0, 0, 0, 93599));
    EXPECT_TRUE(ns(2024, 1, 1, 0, 0, 0, 0, -93599));
    EXPECT_FALSE(ns(2024, 1, 1, 0, 0, 0, 0, 93600));
    EXPECT_FALSE(ns(2024, 1, 1, 0, 0, 0, 0, -93600));
    EXPECT_FALSE(ns(2024, 1, 1, 0, 0, 0, 0, 4294967296));
    // The calendar range's upper end, with and without an offset.
    EXPECT_EQ(ns(9999, 12, 30, 22, 0, 0, 0, 0), std::optional(PosixNs::from_seconds(MAX_CALENDAR_SECOND)));
    EXPECT_FALSE(ns(9999, 12, 30, 22, 0, 1, 0, 0));
    EXPECT_FALSE(ns(9999, 12, 31, 0, 0, 0, 0, 0));
    EXPECT_EQ(ns(9999, 12, 31, 0, 0, 0, 0, 7200), std::optional(PosixNs::from_seconds(MAX_CALENDAR_SECOND)));
    EXPECT_EQ(ns(-9999, 1, 2, 1, 59, 59, 0, 0), std::optional(PosixNs::from_seconds(MIN_CALENDAR_SECOND)));
    EXPECT_FALSE(ns(-9999, 1, 1, 0, 0, 0, 0, 0));
}

}  // namespace
}  // namespace epochsift

namespace epochsift {
namespace {

// The 128-bit helpers that take a 64-bit path where the operands fit, on
// both sides of that edge: the quotient and remainder meet the definition
// of floor division (n = q·d + r, r of d's sign and smaller), and the double
// is the one the 128-bit conversion gives.
TEST(Instant, FloorDivisionAndConversionAcrossThe64BitEdge) {
    std::mt19937_64 rng(64128);
    std::vector<i128> values = {0, 1, -1, INT64_MAX, INT64_MIN, i128{INT64_MAX} + 1, i128{INT64_MIN} - 1,
                                i128{1} << 100, -(i128{1} << 100)};
    for (int i = 0; i < 20'000; ++i) {
        auto const bits = static_cast<int>(rng() % 100);
        i128 const n = (static_cast<i128>(rng()) << 36 ^ static_cast<i128>(rng())) >> (100 - bits);
        values.push_back(i % 2 == 0 ? n : -n);
    }
    i128 const divisors[] = {1, -1, 7, -7, NS_PER_SECOND, -NS_PER_SECOND, 86'400, i128{INT64_MAX}, i128{INT64_MIN},
                             i128{1} << 70};
    for (i128 const n : values) {
        EXPECT_EQ(std::bit_cast<uint64_t>(to_double(n)), std::bit_cast<uint64_t>(static_cast<double>(n)));
        for (i128 const d : divisors) {
            i128 const q = floor_div(n, d);
            i128 const r = n - q * d;
            bool const remainder_fits = d > 0 ? r >= 0 && r < d : r <= 0 && r > d;
            EXPECT_TRUE(remainder_fits) << static_cast<double>(n) << " / " << static_cast<double>(d);
        }
    }
}

}  // namespace
}  // namespace epochsift
