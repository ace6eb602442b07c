// The polynomial atan2 and sincos against double precision, and the conventions of the FFT
// wrapper and the polar conversion.

#include "dsp/fft.h"
#include "dsp/polar.h"
#include "dsp/vector_math.h"
#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

namespace zerin::test {
namespace {

// Distance from the exact value in units of the last place of the float nearest to it.
double ulpError(float got, double exact) {
    const float nearest = static_cast<float>(exact);
    const float a = std::fabs(nearest);
    const double ulp = std::nextafter(a, INFINITY) - a;
    return std::fabs(got - exact) / ulp;
}

// The Cephes fit is good to about 1.5 ulp; the division feeding it and the final pi/2 - a
// and pi - a each add up to half an ulp. Measured worst case 2.8 ulp.
constexpr double kAtan2Ulps = 3.0;

TEST(VectorMath, Atan2IsWithinThreeUlpAtEveryAngleAndScale) {
    double worst = 0.0;
    auto check = [&](float y, float x) {
        const double e = ulpError(vmath::atan2(y, x), std::atan2(double{y}, double{x}));
        worst = std::max(worst, e);
        return e <= kAtan2Ulps;
    };
    for (int scale = -60; scale <= 60; scale += 4) {
        for (int i = 0; i < 16384; ++i) {
            const double angle = -M_PI + 2.0 * M_PI * (i + 0.5) / 16384.0;
            const float y = static_cast<float>(std::ldexp(std::sin(angle), scale));
            const float x = static_cast<float>(std::ldexp(std::cos(angle), scale));
            ASSERT_TRUE(check(y, x)) << std::hexfloat << y << ", " << x;
        }
    }
    // Independent scales: nearly flat and nearly vertical vectors of every size.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-50, 50);
    for (int i = 0; i < 2000000; ++i) {
        const float y = std::ldexp(mantissa(rng), exponent(rng));
        const float x = std::ldexp(mantissa(rng), exponent(rng));
        ASSERT_TRUE(check(y, x)) << std::hexfloat << y << ", " << x;
    }
    RecordProperty("worstUlp", std::to_string(worst));
}

TEST(VectorMath, Atan2OnTheAxesAndAtTheOrigin) {
    struct Case {
        float y, x, angle;
    };
    const float pi = 3.1415927f, half = 1.5707964f;
    const Case cases[] = {{0.0f, 0.0f, 0.0f},     {-0.0f, 0.0f, -0.0f}, {0.0f, -0.0f, pi},
                          {-0.0f, -0.0f, -pi},    {0.0f, 5.0f, 0.0f},   {-0.0f, 5.0f, -0.0f},
                          {0.0f, -5.0f, pi},      {-0.0f, -5.0f, -pi},  {3.0f, 0.0f, half},
                          {3.0f, -0.0f, half},    {-3.0f, 0.0f, -half}, {-3.0f, -0.0f, -half},
                          {2.0f, 2.0f, pi / 4.0f}};
    for (const Case& c : cases) {
        const float got = vmath::atan2(c.y, c.x);
        EXPECT_EQ(got, c.angle) << c.y << ", " << c.x;
        EXPECT_EQ(std::signbit(got), std::signbit(c.angle)) << c.y << ", " << c.x;
    }
}

TEST(VectorMath, SincosIsWithinTwoUlpOverThePhaseRange) {
    // Phases reach sincos in [-pi, pi]: there the Cody-Waite reduction is exact enough for
    // 1.5 ulp (measured). Further out the reduction's last part rounds, so near the zeros
    // only an absolute bound holds: under one ulp of 1.
    auto sinAndCos = [](float x) {
        float s, c;
        vmath::sincos(x, s, c);
        return std::pair{s, c};
    };
    for (int i = 0; i <= (1 << 22); ++i) {
        const float x = static_cast<float>(-M_PI + 2.0 * M_PI * i / (1 << 22));
        const auto [s, c] = sinAndCos(x);
        ASSERT_LE(ulpError(s, std::sin(double{x})), 2.0) << std::hexfloat << x;
        ASSERT_LE(ulpError(c, std::cos(double{x})), 2.0) << std::hexfloat << x;
    }
    for (int e = -126; e < 0; ++e) {
        for (int i = 0; i < 64; ++i) {
            const float x = std::ldexp(1.0f + i / 64.0f, e);
            ASSERT_LE(ulpError(sinAndCos(x).first, std::sin(double{x})), 2.0) << x;
            ASSERT_LE(ulpError(sinAndCos(-x).first, std::sin(-double{x})), 2.0) << x;
        }
    }
    for (int i = 0; i <= (1 << 20); ++i) {
        const float x = static_cast<float>(-1e4 + 2e4 * i / (1 << 20));
        const auto [s, c] = sinAndCos(x);
        ASSERT_LE(std::fabs(s - std::sin(double{x})), 1.2e-7) << x;
        ASSERT_LE(std::fabs(c - std::cos(double{x})), 1.2e-7) << x;
    }
    // A negative real bin (phase pi) must come back negative and whole.
    EXPECT_EQ(sinAndCos(kPi).second, -1.0f);
    EXPECT_EQ(sinAndCos(0.0f), (std::pair{0.0f, 1.0f}));
}

struct FFT : ::testing::Test {
    FFTSetup* setup = acquireFFTSetup();
    float* frame = allocateFloats(kFFTSize);
    std::complex<float>* spectrum =
        reinterpret_cast<std::complex<float>*>(allocateFloats(2 * kNumBins));
    ~FFT() override {
        freeFloats(frame);
        freeFloats(spectrum);
        releaseFFTSetup(setup);
    }
};

TEST_F(FFT, ForwardIsTheUnscaledSpectrumWithNegativeExponent) {
    ASSERT_NE(setup, nullptr);
    const Signal x = noise(kFFTSize, 5, 1.0f);
    std::copy(x.begin(), x.end(), frame);
    forwardFFT(setup, frame, spectrum);
    double worst = 0.0;
    for (int k = 0; k < kNumBins; ++k) {
        std::complex<double> ref = 0.0;
        for (int n = 0; n < kFFTSize; ++n)
            ref += double{x[n]} * std::polar(1.0, -2.0 * M_PI * ((k * n) % kFFTSize) / kFFTSize);
        worst = std::max(worst, std::abs(std::complex<double>(spectrum[k]) - ref));
    }
    // Single-precision FFT error grows like eps * log2(N) * ||x|| (||x|| about 26 here).
    EXPECT_LT(worst, 1e-4);
    EXPECT_EQ(spectrum[0].imag(), 0.0f);
    EXPECT_EQ(spectrum[kNumBins - 1].imag(), 0.0f);

    // A sine at bin 5 lands on -i N/2.
    const Signal s = binSine(kFFTSize, 5.0, 1.0f);
    std::copy(s.begin(), s.end(), frame);
    forwardFFT(setup, frame, spectrum);
    EXPECT_NEAR(spectrum[5].real(), 0.0f, 1e-3f);
    EXPECT_NEAR(spectrum[5].imag(), -1024.0f, 1e-3f);
}

TEST_F(FFT, InverseGivesNTimesTheFrameAndIgnoresTheImaginaryEnds) {
    ASSERT_NE(setup, nullptr);
    const Signal x = noise(kFFTSize, 6, 1.0f);
    std::copy(x.begin(), x.end(), frame);
    forwardFFT(setup, frame, spectrum);
    spectrum[0].imag(123.0f);
    spectrum[kNumBins - 1].imag(-77.0f);
    inverseFFT(setup, spectrum, frame);
    for (int n = 0; n < kFFTSize; ++n)
        ASSERT_NEAR(frame[n] / kFFTSize, x[n], 2e-6f) << n;
}

TEST_F(FFT, PolarFormKeepsTheSpectrumAndSignsTheRealBins) {
    ASSERT_NE(setup, nullptr);
    Signal x = noise(kFFTSize, 7, 1.0f);
    for (int n = 0; n < kFFTSize; ++n)
        x[n] += (n & 1 ? 0.25f : -0.25f) - 0.5f; // negative DC and Nyquist
    std::copy(x.begin(), x.end(), frame);
    forwardFFT(setup, frame, spectrum);
    const std::vector<std::complex<float>> before(spectrum, spectrum + kNumBins);
    Signal mag(kNumBins), phase(kNumBins);
    toPolar(spectrum, mag.data(), phase.data());
    EXPECT_EQ(mag[0], -before[0].real());
    EXPECT_EQ(phase[0], kPi);
    EXPECT_EQ(phase[kNumBins - 1], kPi);
    for (int k = 1; k < kNumBins - 1; ++k) {
        ASSERT_NEAR(mag[k], std::abs(before[k]), 2e-6f * (1.0f + mag[k]));
        ASSERT_LE(std::fabs(phase[k]), kPi);
    }
    fromPolar(mag.data(), phase.data(), spectrum);
    EXPECT_EQ(spectrum[0].real(), before[0].real());
    EXPECT_EQ(spectrum[kNumBins - 1].real(), before[kNumBins - 1].real());
    for (int k = 1; k < kNumBins - 1; ++k)
        ASSERT_LT(std::abs(spectrum[k] - before[k]), 4e-6f * (1.0f + mag[k])) << k;
}

} // namespace
} // namespace zerin::test
