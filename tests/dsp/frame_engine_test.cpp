// The audio path: levels and latency of the STFT round trip, the dry path, bypass, the
// smoothers and the LFO clock, and independence from how the host cuts its calls.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zerin::test {
namespace {

constexpr std::size_t kLatency = kLatencySamples;

// Noise with a DC offset and a Nyquist component, so the two real bins carry signal of both
// signs through the polar round trip.
Signal awkwardNoise(std::size_t n, std::uint32_t seed) {
    Signal s = noise(n, seed, 0.4f);
    for (std::size_t i = 0; i < n; ++i)
        s[i] += ((i & 1) ? -0.1f : 0.1f) + (seed & 1 ? 0.2f : -0.2f);
    return s;
}

// Largest |out[n] - gain * in[n - latency]| over the signal, and the largest |out[n]| before
// the latency has passed.
struct Alignment {
    float error = 0.0f;
    float early = 0.0f;
};
Alignment alignment(const Signal& in, const Signal& out, float gain) {
    Alignment a;
    for (std::size_t n = 0; n < out.size(); ++n) {
        if (n < kLatency)
            a.early = std::max(a.early, std::fabs(out[n]));
        else
            a.error = std::max(a.error, std::fabs(out[n] - gain * in[n - kLatency]));
    }
    return a;
}

// Two FFTs and the polar round trip leave about 5e-7 on outputs near 2 (two ulp); the bound
// gives eight times that. A window, overlap factor or latency that is off misses by orders
// of magnitude more.
constexpr float kRoundTripTolerance = 4e-6f;

TEST(FrameEngine, UnchangedSpectrumComesOutScaledAfterTheLatency) {
    const Channels in = {awkwardNoise(20000, 1), awkwardNoise(20000, 2)};
    Channels reference;
    for (float mode : {3.0f, -2.0f, 7.0f}) {
        ZerinExtensionDSPKernel k;
        setParams(k, {{kMode, mode}, {kDryWet, 100.0f}});
        ASSERT_TRUE(k.initialize(2, 44100.0));
        const Channels out = render(k, in, 700);
        for (int c = 0; c < 2; ++c) {
            const Alignment a = alignment(in[c], out[c], kPassThroughGain);
            EXPECT_LT(a.error, kRoundTripTolerance) << "mode " << mode << " channel " << c;
            EXPECT_LT(a.early, 1e-6f);
        }
        // Every mode value outside 0..2 is the same pass-through.
        if (reference.empty())
            reference = out;
        else
            EXPECT_EQ(out, reference) << "mode " << mode;
    }
}

TEST(FrameEngine, ImpulseFirstLeavesAfterTheLatency) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, 3.0f}, {kDryWet, 100.0f}});
    ASSERT_TRUE(k.initialize(1, 48000.0));
    Signal in(6000, 0.0f);
    in[0] = 1.0f;
    const Signal out = render(k, {in}, 512)[0];
    for (std::size_t n = 0; n < kLatency; ++n)
        ASSERT_LT(std::fabs(out[n]), 1e-6f) << n;
    EXPECT_NEAR(out[kLatency], kPassThroughGain, 1e-4f);
}

TEST(FrameEngine, DryPathIsTheRawInputDelayedExactly) {
    ZerinExtensionDSPKernel k;
    // Input gain shapes only the spectral path; the wet path runs (delay with feedback) but
    // is mixed out.
    setParams(k, {{kDryWet, 0.0f}, {kInputGain, 12.0f}, {kFeedback, 80.0f}});
    ASSERT_TRUE(k.initialize(2, 44100.0));
    const Channels in = {noise(9000, 3), noise(9000, 4)};
    const Channels out = render(k, in, 333);
    for (int c = 0; c < 2; ++c) {
        for (std::size_t n = 0; n < kLatency; ++n)
            ASSERT_EQ(out[c][n], 0.0f) << n;
        for (std::size_t n = kLatency; n < out[c].size(); ++n)
            ASSERT_EQ(out[c][n], in[c][n - kLatency]) << c << " " << n;
    }
}

TEST(FrameEngine, HalfMixAddsDryAndWetInStep) {
    // Were the dry term early, half of it would sit 2047 samples away from the wet copy.
    // The input gain (-6.02 dB, one half) shapes the wet half only.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, 3.0f}, {kDryWet, 50.0f}, {kInputGain, -6.0206f}});
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const Signal in = noise(12000, 5);
    const Signal out = render(k, {in}, 512)[0];
    const float half = k.mInputGainLinear.load();
    ASSERT_NEAR(half, 0.5f, 1e-5f);
    const Alignment a = alignment(in, out, 0.5f + 0.5f * half * kPassThroughGain);
    EXPECT_LT(a.error, kRoundTripTolerance);
}

TEST(FrameEngine, BypassCopiesUndelayedAndLeavesTheStateAlone) {
    const Signal a = noise(3000, 6), b = noise(3000, 7), c = noise(3000, 8);
    ZerinExtensionDSPKernel before;
    EXPECT_EQ(render(before, {a, b}, 100), (Channels{a, b})) << "not initialised";

    ZerinExtensionDSPKernel straight, paused;
    for (auto* k : {&straight, &paused})
        ASSERT_TRUE(k->initialize(1, 44100.0));
    const Signal s1 = render(straight, {a}, 256)[0];
    const Signal s2 = render(straight, {c}, 256)[0];
    EXPECT_EQ(render(paused, {a}, 256)[0], s1);
    paused.mBypassed = true;
    Signal inPlace = b;
    float* io[] = {inPlace.data()};
    paused.process(io, 1, io, 1, static_cast<int>(inPlace.size()));
    EXPECT_EQ(inPlace, b);
    EXPECT_EQ(render(paused, {b}, 64)[0], b);
    paused.mBypassed = false;
    EXPECT_EQ(render(paused, {c}, 256)[0], s2) << "processing resumes where it stopped";
}

TEST(FrameEngine, OutputGainGlidesOnePerMilleASampleOnEveryChannel) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kDryWet, 0.0f}});
    ASSERT_TRUE(k.initialize(2, 44100.0));
    k.setParameter(kOutputGain, 12.0f);
    const float target = k.mOutputGainLinear.load();
    const Signal ones(6000, 1.0f);
    const Channels out = render(k, {ones, ones}, 100);
    // With a unit dry input the output is the applied gain itself, sample by sample.
    float s = 1.0f;
    for (std::size_t n = 0; n < ones.size(); ++n) {
        s = std::fma(0.001f, target - s, s);
        if (n < kLatency) continue;
        ASSERT_EQ(out[0][n], s) << n;
        ASSERT_EQ(out[1][n], s) << n;
    }
    // After 1000 samples about 1/e of the step remains (0.999^1000 = 0.3677).
    float g = 1.0f;
    for (int n = 0; n < 1000; ++n)
        g = std::fma(0.001f, target - g, g);
    EXPECT_NEAR((target - g) / (target - 1.0f), 0.3677f, 1e-3f);
}

TEST(FrameEngine, LFOAdvancesOncePerSampleFrameWhateverTheChannelCount) {
    ZerinExtensionDSPKernel mono, stereo;
    for (auto* k : {&mono, &stereo})
        setParams(*k, {{kLFORate, 13.7f}});
    ASSERT_TRUE(mono.initialize(1, 48000.0));
    ASSERT_TRUE(stereo.initialize(2, 48000.0));
    const Signal x = noise(20000, 9);
    render(mono, {x}, 1000);
    render(stereo, {x, x}, 77);
    const float step = (13.7f * kTwoPi) / 48000.0f;
    float phase = 0.0f;
    for (std::size_t n = 0; n < x.size(); ++n) {
        phase += step;
        if (phase >= kTwoPi) phase -= kTwoPi;
    }
    EXPECT_EQ(mono.mLFOPhase, phase);
    EXPECT_EQ(stereo.mLFOPhase, phase);
}

// Every mode, with the classification on and off, with modulation and feedback, and with a
// curve, a mode and gliding gains changed mid-stream: the output must not depend on the
// host's call sizes.
class BlockSizeInvariance : public ::testing::TestWithParam<std::tuple<int, float>> {};

TEST_P(BlockSizeInvariance, CallSizesDoNotChangeOneBit) {
    const auto [mode, sensitivity] = GetParam();
    const Channels in = {awkwardNoise(24576, 10), noise(24576, 11)};
    const CurvePoint curve[] = {{50.0f, 30.0f}, {400.0f, 1200.0f}, {3000.0f, 90.0f}};
    const std::vector<Event> events = {
        {12800,
         [&](ZerinExtensionDSPKernel& k) {
             k.setSpectralCurve(curve, 3);
             k.setParameter(kMode, static_cast<float>((mode + 1) % 4));
             setParams(k, {{kInputGain, 4.0f}, {kOutputGain, -5.0f}, {kDryWet, 20.0f}});
         }},
        {16001,
         [&](ZerinExtensionDSPKernel& k) { k.setParameter(kMode, static_cast<float>(mode)); }}};
    Channels first;
    for (std::size_t block : {1024u, 1u, 63u, 512u, 4096u}) {
        ZerinExtensionDSPKernel k;
        setParams(k, {{kMode, static_cast<float>(mode)},
                      {kSensitivity, sensitivity},
                      {kFeedback, 60.0f},
                      {kLFODepth, 50.0f},
                      {kLFORate, 2.9f},
                      {kTempoSync, 1.0f},
                      {kScatterSpeed, 95.0f},
                      {kDryWet, 70.0f}});
        ASSERT_TRUE(k.initialize(2, 44100.0));
        const Channels out = render(k, in, block, events);
        if (first.empty())
            first = out;
        else
            ASSERT_EQ(out, first) << "block " << block;
    }
}

INSTANTIATE_TEST_SUITE_P(AllModes, BlockSizeInvariance,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3),
                                            ::testing::Values(0.0f, 50.0f)));

} // namespace
} // namespace zerin::test
