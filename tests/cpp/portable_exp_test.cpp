// e^x computed with additions and multiplications only, against the C
// library's exp (a different algorithm) over the range the engine uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "core/portable_exp.hpp"

namespace epochsift {
namespace {

// Ulps between two finite positive doubles.
int64_t ulps_apart(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    return ia > ib ? ia - ib : ib - ia;
}

TEST(PortableExp, WithinTwoUlpsOfTheLibraryOverTheEnginesRange) {
    // Confidences take e^x on [-12, 0]; the column standing on [-700, 0].
    for (double x = -700.0; x <= 5.0; x += 0.0137) {
        EXPECT_LE(ulps_apart(portable_exp(x), std::exp(x)), 2) << x;
    }
    for (double x = -12.0; x <= 0.0; x += 1.0 / 4096) {
        EXPECT_LE(ulps_apart(portable_exp(x), std::exp(x)), 2) << x;
    }
}

TEST(PortableExp, Edges) {
    EXPECT_EQ(portable_exp(0.0), 1.0);
    EXPECT_EQ(portable_exp(-1e300), 0.0);
    EXPECT_EQ(portable_exp(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(portable_exp(std::numeric_limits<double>::quiet_NaN()), 0.0);  // weighs nothing
    EXPECT_NEAR(portable_exp(1.0), 2.718281828459045, 1e-15);
    EXPECT_TRUE(std::isfinite(portable_exp(1e300)));
}

// The scaling gives std::ldexp's bits for every exponent, on both sides of
// the normal range and of the multiplication's [0.5, 2) (subnormal and
// infinite results included).
TEST(PortableExp, ScalingIsLdexp) {
    std::mt19937_64 rng(2612);
    std::uniform_real_distribution<double> unit(0.25, 4.0);
    for (int k = -1100; k <= 1100; ++k) {
        for (double x : {0.5, 1.0, std::nextafter(2.0, 0.0), 2.0, std::nextafter(0.5, 0.0), -1.5, 0.0, unit(rng),
                         unit(rng), unit(rng)}) {
            double const fast = scaled_by_power_of_two(x, k);
            double const library = std::ldexp(x, k);
            ASSERT_EQ(std::memcmp(&fast, &library, sizeof fast), 0) << x << " " << k;
        }
    }
}

// The memo gives e^x's own bits, whichever arguments share an entry and in
// whatever order they come back (a few arguments met again and again, among
// many met once, zero and negative zero included).
TEST(PortableExpMemo, GivesTheSameBitsAsPortableExp) {
    std::mt19937_64 rng(1207);
    std::uniform_real_distribution<double> spread(-12.0, 0.0);
    std::vector<double> const often = {0.0, -0.0, -1.0, -0.99, -11.9, spread(rng), spread(rng)};
    PortableExpMemo memo;
    for (int i = 0; i < 20'000; ++i) {
        double const x = i % 3 == 0 ? spread(rng) : often[rng() % often.size()];
        double const kept = memo(x);
        double const fresh = portable_exp(x);
        ASSERT_EQ(std::memcmp(&kept, &fresh, sizeof kept), 0) << x;
    }
}

}  // namespace
}  // namespace epochsift
