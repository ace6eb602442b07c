// Delay mode: per-bin delay-line reads, the LFO offset and its limits, feedback, the
// classification's weighting, and the tempo-synced LFO rate.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zerin::test {
namespace {

// Drives processDelay directly, one frame at a time, with hand-made magnitudes and phases.
// The output goes where processFrame puts it, into the feedback arrays.
struct DelayRig {
    ZerinExtensionDSPKernel k;
    ChannelState* ch = nullptr;
    Signal mag = Signal(kNumBins), phase = Signal(kNumBins);

    DelayRig() {
        EXPECT_TRUE(k.initialize(1, 44100.0));
        ch = k.mChannels[0];
        std::fill_n(k.mBinDelayHops, kNumBins, 0.0f);
        k.mFrame = {};
        k.mFrame.feedback = 0.0f;
        k.mFrame.lfoDepth = 0.0f;
    }
    void step() {
        processDelay(k, *ch, mag.data(), phase.data(), ch->feedbackMag, ch->feedbackPhase);
    }
    // Frame f carries magnitude 4f and phase f in every bin: exact under the interpolation.
    void run(int frames) {
        for (int f = 0; f < frames; ++f) {
            std::fill(mag.begin(), mag.end(), 4.0f * static_cast<float>(f));
            std::fill(phase.begin(), phase.end(), static_cast<float>(f));
            step();
        }
    }
    float outMag(int bin) const { return ch->feedbackMag[bin]; }
    float outPhase(int bin) const { return ch->feedbackPhase[bin]; }
};

// What a bin reads `d` frames back at the last of `frames` frames of DelayRig::run.
float magAt(int frames, double d) {
    const double last = frames - 1;
    const double di = std::floor(d);
    return static_cast<float>((1.0 - (d - di)) * 4.0 * (last - di) +
                              (d - di) * 4.0 * (last - di - 1.0));
}

TEST(Delay, BinsReadTheirOwnDelayInterpolatingMagnitudesOnly) {
    DelayRig rig;
    struct Case {
        float hops;
        double reads; // after the 0..255 limit
    };
    const Case cases[] = {{0.0f, 0.0},     {0.5f, 0.5},     {10.25f, 10.25}, {254.75f, 254.75},
                          {255.0f, 255.0}, {300.0f, 255.0}, {-5.0f, 0.0},    {1.0f, 1.0}};
    for (int i = 0; i < 8; ++i)
        rig.k.mBinDelayHops[i * 100] = cases[i].hops;
    rig.run(400);
    for (int i = 0; i < 8; ++i) {
        const int bin = i * 100;
        EXPECT_EQ(rig.outMag(bin), magAt(400, cases[i].reads)) << cases[i].hops;
        EXPECT_EQ(rig.outPhase(bin), 399.0f - std::floor(cases[i].reads)) << cases[i].hops;
    }
}

TEST(Delay, LFOMovesEveryBinByUpToThirtyHopsWithinTheLimits) {
    struct Case {
        float lfoPhase, depth, hops;
        double reads;
    };
    const float up = kPi / 2.0f, down = 3.0f * kPi / 2.0f;
    const Case cases[] = {{up, 1.0f, 10.25f, 40.25},  {up, 0.5f, 10.0f, 25.0},
                          {up, 1.0f, 240.0f, 255.0},  {down, 1.0f, 10.0f, 0.0},
                          {down, 1.0f, 100.5f, 70.5}, {0.0f, 1.0f, 7.0f, 7.0}};
    for (const Case& c : cases) {
        DelayRig rig;
        rig.k.mLFOPhase = c.lfoPhase;
        rig.k.mFrame.lfoDepth = c.depth;
        rig.k.mBinDelayHops[5] = c.hops;
        rig.run(300);
        EXPECT_EQ(rig.outMag(5), magAt(300, c.reads)) << c.hops << " at depth " << c.depth;
    }
}

TEST(Delay, AnUndefinedDelayReadsTheCurrentFrame) {
    // An LFO phase that has gone non-finite must not throw every bin to the far end.
    DelayRig rig;
    rig.k.mLFOPhase = std::numeric_limits<float>::quiet_NaN();
    rig.k.mFrame.lfoDepth = 0.3f;
    rig.k.mBinDelayHops[9] = 50.0f;
    rig.run(300);
    EXPECT_EQ(rig.outMag(9), magAt(300, 0.0));
}

TEST(Delay, FeedbackAddsThePreviousOutputOncePerRoundTrip) {
    DelayRig steady;
    steady.k.mFrame.feedback = 0.5f;
    std::fill(steady.mag.begin(), steady.mag.end(), 1.0f);
    for (int f = 1; f <= 20; ++f) {
        steady.step();
        ASSERT_EQ(steady.outMag(3), 2.0f - std::ldexp(1.0f, 1 - f)) << f;
    }

    // One recirculation takes the bin's delay plus one frame.
    DelayRig echo;
    echo.k.mFrame.feedback = 0.5f;
    echo.k.mBinDelayHops[3] = 4.0f;
    for (int f = 0; f < 20; ++f) {
        std::fill(echo.mag.begin(), echo.mag.end(), f == 0 ? 1.0f : 0.0f);
        echo.step();
        const float expected = f % 5 == 4 ? std::ldexp(1.0f, -(f / 5)) : 0.0f;
        ASSERT_EQ(echo.outMag(3), expected) << f;
    }
}

TEST(Delay, TransientBinsGetShorterDelaysAndLessFeedback) {
    struct Case {
        float sensitivity, rating, delayScale, feedbackScale;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.1f, 0.2f}, {1.0f, 1.0f, 1.0f, 1.0f}, {0.5f, 0.0f, 0.55f, 0.6f}};
    for (const Case& c : cases) {
        DelayRig delay;
        delay.k.mFrame.sensitivity = c.sensitivity;
        std::fill_n(delay.ch->binClassification, kNumBins, c.rating);
        delay.k.mBinDelayHops[7] = 100.0f;
        delay.run(300);
        const float reads = 100.0f * c.delayScale;
        EXPECT_NEAR(delay.outMag(7), magAt(300, reads), 1e-3f) << c.sensitivity << " " << c.rating;
        EXPECT_EQ(delay.outPhase(7), 299.0f - std::round(reads));

        // At full feedback and no delay a steady magnitude settles at 1 / (1 - scale).
        DelayRig feedback;
        feedback.k.mFrame.sensitivity = c.sensitivity;
        feedback.k.mFrame.feedback = c.feedbackScale < 1.0f ? 1.0f : 0.5f;
        std::fill_n(feedback.ch->binClassification, kNumBins, c.rating);
        std::fill(feedback.mag.begin(), feedback.mag.end(), 1.0f);
        for (int f = 0; f < 200; ++f)
            feedback.step();
        const float loop = c.feedbackScale < 1.0f ? c.feedbackScale : 0.5f;
        EXPECT_NEAR(feedback.outMag(7), 1.0f / (1.0f - loop), 1e-5f);
    }
}

TEST(Delay, AFlatCurveDelaysTheWholeSignal) {
    // At 32768 Hz a hop is 1/64 s, so 500 ms is exactly 32 hops; points at or below 1 Hz
    // make every bin read the last point's delay as it stands.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kDryWet, 100.0f}, {kFeedback, 0.0f}, {kLFODepth, 0.0f}});
    ASSERT_TRUE(k.initialize(1, 32768.0));
    const CurvePoint flat[] = {{0.5f, 500.0f}, {1.0f, 500.0f}};
    k.setSpectralCurve(flat, 2);
    const Signal in = noise(30000, 12);
    const Signal out = render(k, {in}, 480)[0];
    constexpr std::size_t kDelay = kLatencySamples + 32 * kHopSize;
    float error = 0.0f, early = 0.0f;
    for (std::size_t n = 0; n < out.size(); ++n) {
        if (n < kDelay)
            early = std::max(early, std::fabs(out[n]));
        else
            error = std::max(error, std::fabs(out[n] - kPassThroughGain * in[n - kDelay]));
    }
    EXPECT_LT(early, 1e-6f);
    EXPECT_LT(error, 4e-6f);
}

TEST(Delay, TempoSyncSnapsToTheNearestDivisionOfTheBeat) {
    struct Case {
        bool sync;
        double tempo;
        float knob, rate;
    };
    const Case cases[] = {
        {true, 120.0, 1.0f, 1.0f},  {true, 120.0, 3.0f, 4.0f},    // a tie goes to the faster
        {true, 120.0, 20.0f, 8.0f}, {true, 120.0, 0.01f, 0.125f}, // the ends of the table
        {true, 90.0, 1.0f, 0.75f},  {true, 0.0, 3.0f, 3.0f},      // no tempo: the knob
        {true, -60.0, 3.0f, 3.0f},  {false, 120.0, 3.0f, 3.0f}};
    for (const Case& c : cases) {
        ZerinExtensionDSPKernel k;
        setParams(k, {{kTempoSync, c.sync ? 1.0f : 0.0f}, {kLFORate, c.knob}});
        k.mHostTempo = c.tempo;
        EXPECT_EQ(k.effectiveLFORate(), c.rate) << c.tempo << " bpm, knob " << c.knob;
    }
}

} // namespace
} // namespace zerin::test
