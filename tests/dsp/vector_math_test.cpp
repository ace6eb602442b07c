// The polynomial atan2 and sincos the polar conversion runs on, against double precision.

#include "dsp/constants.h"
#include "dsp/vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace zerin::test {
namespace {

// Distance from the exact value in units of the last place of the float nearest to it.
double ulpError(float got, double exact) {
    const float a = std::fabs(static_cast<float>(exact));
    return std::fabs(got - exact) / (std::nextafter(a, INFINITY) - a);
}

TEST(VectorMath, Atan2AndSincosAreWithinAFewUlp) {
    // atan2: the Cephes fit is good to about 1.5 ulp; the division feeding it and the final
    // pi/2 - a and pi - a each add up to half an ulp (measured worst 2.8). Every angle, with
    // independent scales: nearly flat and nearly vertical vectors too.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-50, 50);
    for (int i = 0; i < 2000000; ++i) {
        const float y = std::ldexp(mantissa(rng), exponent(rng));
        const float x = std::ldexp(mantissa(rng), exponent(rng));
        ASSERT_LE(ulpError(vmath::atan2(y, x), std::atan2(double{y}, double{x})), 3.0)
            << std::hexfloat << y << ", " << x;
    }
    EXPECT_EQ(vmath::atan2(0.0f, 0.0f), 0.0f) << "a silent bin";
    EXPECT_EQ(vmath::atan2(0.0f, -5.0f), kPi);
    // sincos: phases reach it in [-pi, pi], where the Cody-Waite reduction is exact enough
    // for 1.5 ulp (measured).
    float s, c;
    for (int i = 0; i <= (1 << 22); ++i) {
        const auto x = static_cast<float>(-M_PI + 2.0 * M_PI * i / (1 << 22));
        vmath::sincos(x, s, c);
        ASSERT_LE(ulpError(s, std::sin(double{x})), 2.0) << std::hexfloat << x;
        ASSERT_LE(ulpError(c, std::cos(double{x})), 2.0) << std::hexfloat << x;
    }
    vmath::sincos(kPi, s, c);
    EXPECT_EQ(c, -1.0f) << "a negative real bin (phase pi) comes back whole";
}

} // namespace
} // namespace zerin::test
