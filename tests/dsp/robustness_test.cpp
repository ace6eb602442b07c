// Bad input and runaway settings: non-finite and huge samples, full feedback, and the
// floating-point mode the host gets back.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace zerin::test {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMaxSample = 1048576.0f; // what the kernel limits input samples to

Channels renderMode(int mode, const Channels& in, float feedback = 80.0f) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, static_cast<float>(mode)},
                  {kSensitivity, 50.0f},
                  {kFeedback, feedback},
                  {kLFODepth, 30.0f},
                  {kScatterSpeed, 90.0f}});
    EXPECT_TRUE(k.initialize(2, 44100.0));
    return render(k, in, 400);
}

TEST(Robustness, NonFiniteSamplesAreSilenceAndHugeOnesAreLimited) {
    // A NaN in a frame must not stay in the spectral state (feedback, freeze capture, the
    // classification's memory): the kernel must sound exactly as if the sample were 0.
    const Channels clean = {noise(40000, 1), noise(40000, 2)};
    Channels bad = clean, expected = clean;
    const std::pair<std::size_t, float> spots[] = {{3000, std::nanf("")}, {3001, kInf},
                                                   {9000, -kInf},         {15000, 1e30f},
                                                   {15001, -3e38f},       {22222, std::nanf("")}};
    for (auto& ch : bad)
        for (const auto& [at, v] : spots)
            ch[at] = v;
    for (auto& ch : expected)
        for (const auto& [at, v] : spots)
            ch[at] = std::isfinite(v) ? std::copysign(kMaxSample, v) : 0.0f;
    for (int mode = 0; mode < 4; ++mode) {
        const Channels out = renderMode(mode, bad);
        for (const Signal& s : out)
            for (float v : s)
                ASSERT_TRUE(std::isfinite(v)) << "mode " << mode;
        EXPECT_EQ(out, renderMode(mode, expected)) << "mode " << mode;
    }
}

TEST(Robustness, FullFeedbackStaysFiniteAndBounded) {
    // Twenty seconds of loud noise at +12 dB into 100 % (and an out-of-range 150 %) feedback.
    // Magnitudes stop at 2^20, so a frame can carry no more than about 2^20 per sample and the
    // overlap of four frames about 4.4 * 2^20.
    const std::size_t n = 20 * 44100;
    const Channels in = {noise(n, 3, 1.0f), noise(n, 4, 1.0f)};
    for (int mode : {0, 2}) {
        for (float feedback : {100.0f, 150.0f}) {
            ZerinExtensionDSPKernel k;
            setParams(k, {{kMode, static_cast<float>(mode)},
                          {kFeedback, feedback},
                          {kInputGain, 12.0f},
                          {kDryWet, 100.0f},
                          {kScatterSpeed, 100.0f}});
            ASSERT_TRUE(k.initialize(2, 44100.0));
            const Channels out = render(k, in, 512);
            float peak = 0.0f;
            for (const Signal& s : out)
                for (float v : s) {
                    ASSERT_TRUE(std::isfinite(v));
                    peak = std::max(peak, std::fabs(v));
                }
            EXPECT_LT(peak, 5.0f * kMaxMagnitude) << mode << " " << feedback;
            const float* lines = k.mChannels[0]->magDelayLines;
            const float top = *std::max_element(lines, lines + kDelayLineLength * kBinStride);
            EXPECT_LE(top, kMaxMagnitude);
            if (feedback > 100.0f) {
                EXPECT_EQ(top, kMaxMagnitude) << "the ceiling was reached";
            }
        }
    }
}

TEST(Robustness, TheFeedbackCeilingIsOutOfReachOfMusicalLevels) {
    // A full-scale tone at the highest input gain recirculating at 90 %: the lines settle ten
    // times over the tone's own peak bin, far below the ceiling.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kFeedback, 90.0f}, {kInputGain, 12.0f}, {kLFODepth, 0.0f}});
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const CurvePoint none[] = {{1.0f, 0.0f}, {2.0f, 0.0f}};
    k.setSpectralCurve(none, 2);
    render(k, {binSine(10 * 44100, 100.0, 1.0f)}, 512);
    const float* lines = k.mChannels[0]->magDelayLines;
    const float top = *std::max_element(lines, lines + kDelayLineLength * kBinStride);
    EXPECT_GT(top, 10000.0f);
    EXPECT_LT(top, kMaxMagnitude / 16.0f);
}

#if defined(__SSE2__)
TEST(Robustness, TheHostGetsItsFloatingPointModeBack) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const unsigned original = _mm_getcsr();
    for (unsigned mode : {original & ~0x8040u, original | 0x8040u}) {
        _mm_setcsr(mode);
        render(k, {noise(2048, 5)}, 512);
        EXPECT_EQ(_mm_getcsr(), mode);
    }
    _mm_setcsr(original);
}
#endif

} // namespace
} // namespace zerin::test
