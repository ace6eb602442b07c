// The delay curve: its evaluation, the per-bin delays made from it, and its hand-over from
// the editor's thread.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zerin::test {
namespace {

CurveData curveOf(std::initializer_list<CurvePoint> points) {
    CurveData c{};
    fillCurve(c, points.begin(), static_cast<int>(points.size()));
    return c;
}

float hopsFor(float ms, double rate) {
    return static_cast<float>(ms / 1000.0 / (kHopSize / rate));
}

TEST(Curve, IsASmoothStepInLogFrequencyFlatBeyondItsEnds) {
    const CurveData c = curveOf({{100.0f, 0.0f}, {10000.0f, 1000.0f}});
    EXPECT_EQ(evaluateCurve(c, 20.0f), 0.0f);
    EXPECT_EQ(evaluateCurve(c, 15000.0f), 1000.0f);
    // Symmetric about the geometric mean; log10 in single precision costs a few 1e-4 ms.
    EXPECT_NEAR(evaluateCurve(c, 1000.0f), 500.0f, 1e-2f);
    float previous = 0.0f;
    for (float f = 100.0f; f <= 10000.0f; f *= 1.01f) {
        const float v = evaluateCurve(c, f);
        EXPECT_NEAR(v + evaluateCurve(c, 1e6f / f), 1000.0f, 2e-2f) << f;
        ASSERT_GE(v, previous - 1e-3f) << f;
        previous = v;
    }
}

TEST(Curve, PassesThroughItsPointsAndStaysWithinTheDelayRange) {
    const CurveData peaks = curveOf({{50.0f, 100.0f},
                                     {300.0f, -400.0f},
                                     {1000.0f, 5000.0f},
                                     {4000.0f, 1500.0f},
                                     {16000.0f, 20.0f}});
    EXPECT_EQ(evaluateCurve(peaks, 4000.0f), 1500.0f);
    EXPECT_EQ(evaluateCurve(peaks, 1000.0f), 2000.0f);
    EXPECT_EQ(evaluateCurve(peaks, 300.0f), 0.0f);
    for (float f = 51.0f; f < 16000.0f; f *= 1.003f) {
        const float v = evaluateCurve(peaks, f);
        ASSERT_GE(v, 0.0f) << f;
        ASSERT_LE(v, 2000.0f) << f;
    }
    EXPECT_EQ(evaluateCurve(peaks, 1010.0f), 2000.0f) << "a 5000 ms point limits its neighbours";
}

TEST(Curve, DefaultCurveGivesTheEndDelaysToTheEndBins) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(2, 44100.0));
    EXPECT_NEAR(k.mBinDelayHops[0], hopsFor(200.0f, 44100.0), 1e-5f); // evaluated at 1 Hz
    for (int bin = 929; bin < kNumBins; ++bin)                        // 20 kHz and up
        ASSERT_NEAR(k.mBinDelayHops[bin], hopsFor(100.0f, 44100.0), 1e-5f) << bin;
    EXPECT_GT(k.mBinDelayHops[928], hopsFor(100.0f, 44100.0));
}

TEST(Curve, BinsOnAPointGetItsDelayAndLongDelaysStopAtTheLastSlot) {
    // At 48 kHz bins 8, 64 and 256 sit at 187.5, 1500 and 6000 Hz.
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 48000.0));
    const CurvePoint points[] = {{187.5f, 300.0f}, {1500.0f, 900.0f}, {6000.0f, 50.0f}};
    k.setSpectralCurve(points, 3);
    render(k, {Signal(64, 0.0f)}, 64);
    EXPECT_NEAR(k.mBinDelayHops[8], hopsFor(300.0f, 48000.0), 1e-5f);
    EXPECT_NEAR(k.mBinDelayHops[64], hopsFor(900.0f, 48000.0), 1e-5f);
    EXPECT_NEAR(k.mBinDelayHops[256], hopsFor(50.0f, 48000.0), 1e-5f);

    // 2000 ms is 172 hops at 44.1 kHz but would be 375 at 96 kHz: the lines hold 255.
    const CurvePoint longest[] = {{20.0f, 2000.0f}, {20000.0f, 2000.0f}};
    for (double rate : {44100.0, 96000.0}) {
        ASSERT_TRUE(k.initialize(1, rate));
        k.setSpectralCurve(longest, 2);
        render(k, {Signal(64, 0.0f)}, 64);
        EXPECT_NEAR(k.mBinDelayHops[500], std::min(hopsFor(2000.0f, rate), 255.0f), 1e-3f);
    }
}

TEST(CurveHandOver, TheNewestCurveIsReadBackAtOnceAndTakenAtTheNextCall) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 44100.0));
    EXPECT_FALSE(k.curveDirty());
    CurvePoint many[40], got[kMaxCurvePoints];
    for (int i = 0; i < 40; ++i)
        many[i] = {20.0f * static_cast<float>(i + 1), 10.0f * static_cast<float>(i)};
    const CurvePoint first[] = {{100.0f, 1000.0f}, {1000.0f, 1000.0f}};
    k.setSpectralCurve(first, 2);
    k.setSpectralCurve(many, 40);
    ASSERT_EQ(k.getSpectralCurve(got), kMaxCurvePoints);
    for (int i = 0; i < kMaxCurvePoints; ++i)
        ASSERT_EQ(got[i].delay, many[i].delay);
    EXPECT_TRUE(k.curveDirty());

    // Bypassed calls leave it waiting.
    k.mBypassed = true;
    render(k, {Signal(64, 0.0f)}, 64);
    EXPECT_TRUE(k.curveDirty());
    k.mBypassed = false;
    render(k, {Signal(64, 0.0f)}, 64);
    EXPECT_FALSE(k.curveDirty());
    EXPECT_EQ(k.currentCurve().count, kMaxCurvePoints) << "the second of two hand-overs";
    EXPECT_EQ(k.currentCurve().points[31].delay, 310.0f);
}

TEST(CurveHandOver, CurvesOfFewerThanTwoPointsKeepTheDelays) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const std::vector<float> before(k.mBinDelayHops, k.mBinDelayHops + kNumBins);
    const CurvePoint one[] = {{500.0f, 1500.0f}};
    CurvePoint got[kMaxCurvePoints];
    for (int count : {1, 0}) {
        k.setSpectralCurve(one, count);
        EXPECT_EQ(k.getSpectralCurve(got), count);
        render(k, {Signal(64, 0.0f)}, 64);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), k.mBinDelayHops)) << count;
    }
}

TEST(CurveHandOver, AHandedOverCurveEvenEmptyReplacesTheDefault) {
    ZerinExtensionDSPKernel k;
    const CurvePoint points[] = {{100.0f, 700.0f}, {900.0f, 100.0f}};
    k.setSpectralCurve(points, 2);
    k.setSpectralCurve(nullptr, 0);
    ASSERT_TRUE(k.initialize(1, 44100.0));
    CurvePoint got[kMaxCurvePoints];
    EXPECT_EQ(k.getSpectralCurve(got), 0);
    EXPECT_EQ(std::count(k.mBinDelayHops, k.mBinDelayHops + kNumBins, 0.0f), kNumBins);

    ZerinExtensionDSPKernel custom;
    custom.setSpectralCurve(points, 2);
    ASSERT_TRUE(custom.initialize(1, 44100.0));
    EXPECT_EQ(custom.getSpectralCurve(got), 2);
    EXPECT_NEAR(custom.mBinDelayHops[0], hopsFor(700.0f, 44100.0), 1e-4f);
}

TEST(TripleBuffer, NeitherSideEverTouchesTheOthersSlot) {
    // Every interleaving of up to 14 publications and takes: the producer's slot is never
    // the consumer's, a take gets the newest publication, and the producer's read-back slot
    // holds it too.
    for (int length = 1; length <= 14; ++length) {
        for (std::uint32_t ops = 0; ops < (1u << length); ++ops) {
            TripleBufferIndex t;
            int contents[3] = {0, 0, 0};
            int published = 0, taken = 0;
            for (int i = 0; i < length; ++i) {
                if ((ops >> i) & 1u) {
                    contents[t.writeSlot()] = ++published;
                    t.publish();
                    ASSERT_EQ(contents[t.latest], published);
                } else {
                    const bool fresh = t.acquire();
                    ASSERT_EQ(fresh, published != taken);
                    taken = published;
                    if (published > 0) {
                        ASSERT_EQ(contents[t.front], published);
                    }
                }
                ASSERT_NE(t.writeSlot(), t.front) << "ops " << ops << " step " << i;
                ASSERT_NE(t.writeSlot(), t.latest);
            }
        }
    }
}

} // namespace
} // namespace zerin::test
