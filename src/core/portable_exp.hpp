// e^x with the same bits on every platform.
//
// The C library's exp is accurate but not the same everywhere: glibc picks
// an FMA variant on CPUs that have one, the WebAssembly build's libc does
// not, and the two can differ in the last bit. A confidence written into a
// JSON text must read the same from the module, the command line and the
// page, so the engine takes e^x from here: only IEEE additions and
// multiplications, whose results are fixed, and an exact scaling by 2^k.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace epochsift {

// x · 2^k, exactly as std::ldexp gives it. Where both 2^k and the product
// are normal (x of magnitude in [0.5, 2), as e^r's is below) the product is
// exact, so one multiplication by 2^k built from its exponent bits gives
// ldexp's bits without its library call; elsewhere ldexp itself.
inline double scaled_by_power_of_two(double x, int k) {
    double const magnitude = std::fabs(x);
    if (k >= -1021 && k <= 1022 && magnitude >= 0.5 && magnitude < 2.0) {
        return x * std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52);
    }
    return std::ldexp(x, k);
}

// e^x for x in [-700, 700], within about two units in the last place; 0 below
// -700, where nothing the engine weighs is told apart from 0.
inline double portable_exp(double x) {
    if (!(x >= -700.0)) return 0.0;  // and NaN
    if (x > 700.0) x = 700.0;
    // x = k ln 2 + r with |r| <= ln 2 / 2; ln 2 in two parts (Cody and Waite)
    // so that k * LN2_HI is exact for |k| < 2^11.
    constexpr double LOG2_E = 1.4426950408889634;
    constexpr double LN2_HI = 6.93147180369123816490e-01;  // the high 32 bits of ln 2
    constexpr double LN2_LO = 1.90821492927058770002e-10;  // ln 2 - LN2_HI
    double const k = std::nearbyint(x * LOG2_E);          // [-1010, 1010]
    double const r = (x - k * LN2_HI) - k * LN2_LO;       // [-0.35, 0.35]
    // Taylor's series to r^13 / 13!: the next term is below 2^-60 here.
    double sum = 1.0;
    for (int n = 13; n >= 1; --n) sum = 1.0 + sum * r / static_cast<double>(n);
    return scaled_by_power_of_two(sum, static_cast<int>(k));
}

// portable_exp kept for the arguments met again (the scores of a column's
// values repeat): the same bits, from 64 entries chosen by the argument's bits.
class PortableExpMemo {
public:
    double operator()(double x) {
        uint64_t const bits = std::bit_cast<uint64_t>(x);
        Entry& entry = entries_[bits * 0x9E3779B97F4A7C15u >> 58];
        if (entry.bits != bits) entry = Entry{bits, portable_exp(x)};
        return entry.value;
    }

private:
    struct Entry {
        uint64_t bits = 0;   // +0.0,
        double value = 1.0;  // whose e^x is 1 exactly
    };
    std::array<Entry, 64> entries_{};
};

}  // namespace epochsift
