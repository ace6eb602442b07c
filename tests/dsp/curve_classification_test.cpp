// The delay curve, its bin delays and hand-over; the transient rating and its snapshot.

#include "kernel_test_support.h"

#include <cstring>

namespace zerin::test {
namespace {

float hopsFor(float ms, double rate) {
    return static_cast<float>(ms / 1000.0 / (kHopSize / rate));
}

TEST(Curve, IsASmoothCubicInLogFrequencyThroughItsPointsWithinTheDelayRange) {
    CurveData c{};
    const CurvePoint step[] = {{100.0f, 0.0f}, {10000.0f, 1000.0f}};
    fillCurve(c, step, 2);
    EXPECT_EQ(evaluateCurve(c, 20.0f), 0.0f);
    EXPECT_EQ(evaluateCurve(c, 15000.0f), 1000.0f);
    // A quarter of the way in log frequency the Bezier through control values 100 and 900
    // (tension 0.3) gives 184.375 ms; log10 in single precision costs a few 1e-4 ms.
    EXPECT_NEAR(evaluateCurve(c, 316.22777f), 184.375f, 1e-2f);
    const CurvePoint peaks[] = {
        {50.0f, 100.0f}, {300.0f, -400.0f}, {1000.0f, 5000.0f}, {4000.0f, 1500.0f}, {16e3f, 20.0f}};
    fillCurve(c, peaks, 5);
    EXPECT_EQ(evaluateCurve(c, 4000.0f), 1500.0f);
    EXPECT_EQ(evaluateCurve(c, 300.0f), 0.0f);
    EXPECT_EQ(evaluateCurve(c, 1010.0f), 2000.0f) << "a 5000 ms point limits its neighbours";
    for (float f = 51.0f; f < 16000.0f; f *= 1.003f)
        ASSERT_TRUE(evaluateCurve(c, f) >= 0.0f && evaluateCurve(c, f) <= 2000.0f) << f;
}

TEST(Curve, BinDelaysFollowTheCurveAtTheRateUpToTheLinesLength) {
    auto hopsAt = [](double rate, const CurvePoint* curve, int count, int bin) {
        Kernel k;
        k.setSpectralCurve(curve, count);
        EXPECT_TRUE(k.initialize(1, rate));
        return k.mBinDelayHops[bin];
    };
    // The default curve: bin 0 is taken at 1 Hz, below the first point; from 20 kHz up, the
    // last point's delay.
    EXPECT_NEAR(hopsAt(44100.0, kDefaultCurve, 5, 0), hopsFor(200.0f, 44100.0), 1e-4f);
    EXPECT_NEAR(hopsAt(44100.0, kDefaultCurve, 5, 929), hopsFor(100.0f, 44100.0), 1e-4f);
    // At 48 kHz bins 8, 64 and 256 sit on the points.
    const CurvePoint points[] = {{187.5f, 300.0f}, {1500.0f, 900.0f}, {6000.0f, 50.0f}};
    const int bins[] = {8, 64, 256};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(hopsAt(48000.0, points, 3, bins[i]), hopsFor(points[i].delay, 48000.0), 1e-4f);
    // 2000 ms is 172 hops at 44.1 kHz but would be 375 at 96 kHz: the lines hold 255.
    const CurvePoint longest[] = {{20.0f, 2000.0f}, {20000.0f, 2000.0f}};
    EXPECT_NEAR(hopsAt(44100.0, longest, 2, 500), hopsFor(2000.0f, 44100.0), 1e-4f);
    EXPECT_EQ(hopsAt(96000.0, longest, 2, 500), 255.0f);
}

TEST(CurveHandOver, TheNewerOfTwoIsReadBackAtOnceAndTakenAtTheNextProcessedCall) {
    auto k = makeKernel(1, 44100.0);
    CurvePoint many[40], got[kMaxCurvePoints];
    for (int i = 0; i < 40; ++i)
        many[i] = {20.0f * static_cast<float>(i + 1), 10.0f * static_cast<float>(i)};
    const CurvePoint first[] = {{100.0f, 1000.0f}, {1000.0f, 1000.0f}};
    k->setSpectralCurve(first, 2);
    k->setSpectralCurve(many, 40);
    ASSERT_EQ(k->getSpectralCurve(got), kMaxCurvePoints) << "points beyond the 32nd are dropped";
    EXPECT_EQ(got[31].delay, 310.0f);
    k->mBypassed = true;
    render(*k, {Signal(64, 0.0f)}, 64);
    EXPECT_FALSE(k->curveDirty()) << "bypassed, the spectral path runs on and takes it";
    k->mBypassed = false;
    // Bin 1024 lies beyond the 32nd point, at 640 Hz and 310 ms. Fewer than two points cannot
    // be evaluated: the delays stay. A hand-over never writes the curve the render thread holds.
    for (int count : {40, 1, 0}) {
        const CurveData held = k->currentCurve();
        if (count < 2) k->setSpectralCurve(first, count);
        EXPECT_EQ(std::memcmp(&held, &k->currentCurve(), sizeof held), 0) << count;
        render(*k, {Signal(64, 0.0f)}, 64);
        EXPECT_FALSE(k->curveDirty());
        EXPECT_NEAR(k->mBinDelayHops[1024], hopsFor(310.0f, 44100.0), 1e-4f) << count;
    }
}

TEST(Rating, BinsRisingByOverThreeTimesTheAverageShareDecayEachFrameThenRecover) {
    auto k = makeKernel(1, 44100.0);
    ChannelState& ch = *k->mChannels[0];
    Signal mag(kNumBins, 0.0f);
    updateClassification(ch, mag.data()); // silence: no rise at all
    float expected = 1.0f;
    for (int f = 1; f <= 30; ++f) {
        // Of a total rise of 1028 each frame, bin 100 has 4 (3.99 times the average share),
        // bin 200 has 3 (2.99 times), bin 300 none and the rest 1 each.
        std::fill(mag.begin(), mag.end(), static_cast<float>(f));
        mag[100] = 4.0f * static_cast<float>(f);
        mag[200] = 3.0f * static_cast<float>(f);
        mag[300] = 0.0f;
        updateClassification(ch, mag.data());
        ASSERT_EQ(ch.binClassification[100], expected *= 0.85f) << f;
        ASSERT_EQ(std::count(ch.binClassification, ch.binClassification + kNumBins, 1.0f),
                  kNumBins - 1);
    }
    for (int f = 0; f < 200; ++f) // steady: back toward 1
        updateClassification(ch, mag.data());
    EXPECT_NEAR(ch.binClassification[100], 1.0f, 1e-6f);
}

TEST(Snapshot, HoldsChannelZerosNewestRatingsOnce) {
    auto k = makeKernel(2, 44100.0, {.sensitivity = 100});
    Signal got(kNumBins);
    EXPECT_FALSE(k->takeClassificationSnapshot(got.data())) << "no frame rated yet";
    render(*k, {noise(8192, 1), binSine(8192, 100.0, 0.5f)}, 512);
    ASSERT_TRUE(k->takeClassificationSnapshot(got.data()));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), k->mChannels[0]->binClassification));
    EXPECT_FALSE(k->takeClassificationSnapshot(got.data())) << "taken once";
}

} // namespace
} // namespace zerin::test
