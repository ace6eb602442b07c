// Parameters by address, mode requests, and the allocate / reset / release cycle.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zerin::test {
namespace {

TEST(Parameters, FreshKernelReadsBackTheDefaults) {
    ZerinExtensionDSPKernel k;
    const float expected[] = {0.0f,  0.0f, 50.0f, 0.3f * 100.0f, 1.0f,
                              20.0f, 0.0f, 50.0f, 0.0f,          0.0f};
    for (std::uint64_t a = 0; a < 10; ++a)
        EXPECT_EQ(k.getParameter(a), expected[a]) << a;
    EXPECT_EQ(k.getParameter(10), 0.0f);
    EXPECT_EQ(k.getParameter(std::uint64_t{1} << 40), 0.0f);
}

TEST(Parameters, StoreHostUnitsAndReadThemBack) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kInputGain, -6.0f},
                  {kOutputGain, 12.0f},
                  {kDryWet, 150.0f}, // out of range is stored as given
                  {kFeedback, 37.0f},
                  {kLFORate, 7.25f},
                  {kLFODepth, 64.0f},
                  {kScatterSpeed, 3.0f},
                  {kSensitivity, 80.0f}});
    EXPECT_EQ(k.getParameter(kInputGain), -6.0f);
    EXPECT_EQ(k.getParameter(kOutputGain), 12.0f);
    EXPECT_NEAR(k.mInputGainLinear.load(), 0.501187f, 1e-6f);
    EXPECT_NEAR(k.mOutputGainLinear.load(), 3.981072f, 4e-6f);
    EXPECT_EQ(k.getParameter(kLFORate), 7.25f);
    // Percentages live as fractions; the trip through /100 and *100 may cost the last bit.
    const std::pair<Param, float> percents[] = {{kDryWet, 150.0f},
                                                {kFeedback, 37.0f},
                                                {kLFODepth, 64.0f},
                                                {kScatterSpeed, 3.0f},
                                                {kSensitivity, 80.0f}};
    for (const auto& [address, value] : percents)
        EXPECT_NEAR(k.getParameter(address), value, value * 2e-7f) << address;
    EXPECT_FLOAT_EQ(k.mDryWet.load(), 1.5f);

    k.setParameter(kTempoSync, 0.5f);
    EXPECT_EQ(k.getParameter(kTempoSync), 1.0f);
    k.setParameter(kTempoSync, 0.49f);
    EXPECT_EQ(k.getParameter(kTempoSync), 0.0f);
}

TEST(Parameters, NonFiniteValuesAndInfiniteGainsAreIgnored) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kInputGain, 3.0f}, {kTempoSync, 1.0f}, {kMode, 2.0f}});
    float before[10];
    for (std::uint64_t a = 0; a < 10; ++a)
        before[a] = k.getParameter(a);
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float v : bad)
        for (std::uint64_t a = 0; a < 10; ++a)
            k.setParameter(a, v);
    // Finite in dB, infinite as a gain.
    k.setParameter(kInputGain, 1000.0f);
    k.setParameter(kOutputGain, 800.0f);
    for (std::uint64_t a = 0; a < 10; ++a)
        EXPECT_EQ(k.getParameter(a), before[a]) << a;
    EXPECT_TRUE(std::isfinite(k.mInputGainLinear.load()));
}

TEST(Parameters, ModeRoundsHalfUpTowardZeroAndTakesEffectAtTheNextCall) {
    const std::pair<float, float> table[] = {
        {1.49f, 1.0f},
        {1.5f, 2.0f},
        {2.49f, 2.0f},
        {0.2f, 0.0f},
        {-0.6f, 0.0f},
        {-1.5f, -1.0f},
        {-1.6f, -1.0f},
        {3.7f, 4.0f},
        {1e10f, static_cast<float>(std::numeric_limits<std::int32_t>::max())}};
    for (const auto& [value, mode] : table) {
        ZerinExtensionDSPKernel k;
        k.setParameter(kMode, 1.0f);
        k.setParameter(kMode, value);
        EXPECT_EQ(k.getParameter(kMode), mode) << value;
    }

    ZerinExtensionDSPKernel k;
    k.setParameter(kMode, 1.0f); // before initialize: no records to touch
    EXPECT_EQ(k.activeMode(), 0);
    ASSERT_TRUE(k.initialize(1, 44100.0));
    k.setParameter(kMode, 2.0f);
    EXPECT_EQ(k.activeMode(), 0) << "a request waits for the render thread";
    render(k, {Signal(10, 0.0f)}, 10);
    EXPECT_EQ(k.activeMode(), 2);
}

TEST(LifecycleDeathTest, UnequalBufferCountsStopTheProgram) {
    ZerinExtensionDSPKernel k;
    float buffer[16] = {};
    const float* in[] = {buffer, buffer};
    float* out[] = {buffer};
    EXPECT_DEATH(k.process(in, 2, out, 1, 16),
                 "inputBuffers.size\\(\\) == outputBuffers.size\\(\\)");
}

TEST(Lifecycle, InitializeRefusesUnusableRatesAndThenPassesAudioThrough) {
    const Signal x = noise(600, 1);
    for (double rate : {0.0, -44100.0, std::nan(""), HUGE_VAL}) {
        ZerinExtensionDSPKernel k;
        EXPECT_FALSE(k.initialize(2, rate)) << rate;
        EXPECT_EQ(render(k, {x}, 600)[0], x);
        ASSERT_TRUE(k.initialize(2, 48000.0));
        EXPECT_FALSE(k.initialize(2, rate)) << "after a good one, " << rate;
        EXPECT_EQ(render(k, {x}, 600)[0], x) << rate;
    }
}

TEST(Lifecycle, InitializeAgainAddsMissingChannelsAndKeepsTheRest) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 48000.0));
    ChannelState* first = k.mChannels[0];
    float* firstLines = first->magDelayLines;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(k.mChannels[1], nullptr);
    // Bin 0 sits below the curve's first point: 200 ms.
    EXPECT_NEAR(k.mBinDelayHops[0], 18.75f, 1e-5f);

    ASSERT_TRUE(k.initialize(2, 96000.0));
    EXPECT_EQ(k.mChannels[0], first);
    EXPECT_EQ(first->magDelayLines, firstLines);
    ASSERT_NE(k.mChannels[1], nullptr);
    EXPECT_NEAR(k.mBinDelayHops[0], 37.5f, 1e-5f) << "delays follow the new rate";

    ASSERT_TRUE(k.initialize(6, 44100.0));
    EXPECT_EQ(k.mChannelCount, 2);
    ASSERT_TRUE(k.initialize(1, 44100.0));
    EXPECT_NE(k.mChannels[1], nullptr) << "a record beyond the count stays allocated";
}

TEST(Lifecycle, OutputsBeyondTheProcessedChannelsAreLeftAlone) {
    const Signal x = noise(3000, 2);
    constexpr float kUntouched = 12345.0f;
    ZerinExtensionDSPKernel none;
    ASSERT_TRUE(none.initialize(0, 44100.0));
    none.setParameter(kLFORate, 5.0f);
    const Channels out0 = render(none, {x, x}, 512, {}, kUntouched);
    EXPECT_EQ(out0, Channels(2, Signal(x.size(), kUntouched)));
    EXPECT_EQ(none.mLFOPhase, 0.0f) << "nothing runs, not even the clocks";

    ZerinExtensionDSPKernel two;
    ASSERT_TRUE(two.initialize(2, 44100.0));
    const Channels out = render(two, {x, x, x}, 512, {}, kUntouched);
    EXPECT_EQ(out[2], Signal(x.size(), kUntouched));
    EXPECT_NE(out[1], Signal(x.size(), kUntouched));
}

TEST(Lifecycle, ResetForgetsTheSignalButKeepsParametersCurveAndGenerator) {
    const Channels warmUp = {noise(30000, 3), noise(30000, 4)};
    const Channels probe = {noise(15000, 5), noise(15000, 6)};
    auto configure = [](ZerinExtensionDSPKernel& k) {
        setParams(k, {{kMode, 2.0f},
                      {kSensitivity, 60.0f},
                      {kFeedback, 70.0f},
                      {kLFODepth, 40.0f},
                      {kScatterSpeed, 100.0f}});
    };
    ZerinExtensionDSPKernel used;
    configure(used);
    ASSERT_TRUE(used.initialize(2, 44100.0));
    const CurvePoint curve[] = {{100.0f, 900.0f}, {4000.0f, 50.0f}};
    used.setSpectralCurve(curve, 2);
    render(used, warmUp, 512);
    const ChannelState& ch = *used.mChannels[0];
    ASSERT_NE(ch.binClassification[10], 1.0f);
    const std::uint32_t rng = used.mRNGState;
    const float hops = used.mBinDelayHops[100];
    used.reset();

    for (int k = 0; k < kNumBins; ++k) {
        ASSERT_EQ(ch.binClassification[k], 1.0f);
        ASSERT_EQ(ch.scatterMap[k], k);
    }
    EXPECT_EQ(used.mLFOPhase, 0.0f);
    EXPECT_EQ(used.mRNGState, rng);
    EXPECT_EQ(used.mBinDelayHops[100], hops);
    EXPECT_EQ(used.getParameter(kFeedback), 70.0f);
    EXPECT_TRUE(used.classificationSnapshotReady()) << "the snapshot survives reset";

    // From reset on it behaves as a fresh kernel would with the same curve and generator.
    ZerinExtensionDSPKernel fresh;
    configure(fresh);
    ASSERT_TRUE(fresh.initialize(2, 44100.0));
    fresh.setSpectralCurve(curve, 2);
    fresh.mRNGState = rng;
    EXPECT_EQ(render(used, probe, 512), render(fresh, probe, 512));
}

TEST(Lifecycle, DeallocatePassesAudioThroughAndInitializeRestoresIt) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(2, 44100.0));
    const CurvePoint curve[] = {{100.0f, 300.0f}, {1000.0f, 600.0f}};
    k.setSpectralCurve(curve, 2);
    k.deallocate();
    EXPECT_EQ(k.mChannels[0], nullptr);
    const Signal x = noise(4000, 7);
    EXPECT_EQ(render(k, {x}, 512)[0], x);
    CurvePoint got[kMaxCurvePoints];
    ASSERT_TRUE(k.initialize(2, 44100.0));
    ASSERT_EQ(k.getSpectralCurve(got), 2) << "the curve outlives the buffers";
    EXPECT_EQ(got[1].delay, 600.0f);
    EXPECT_NE(render(k, {x}, 512)[0], x);
}

} // namespace
} // namespace zerin::test
