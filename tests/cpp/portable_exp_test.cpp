// e^x computed with additions and multiplications only, against the C
// library's exp (a different algorithm) over the range the engine uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

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

}  // namespace
}  // namespace epochsift
