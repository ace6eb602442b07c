// The delay curve, its bin delays and hand-over; the transient rating and its snapshot.

#include "kernel_test_support.h"

#include <algorithm>
#include <cstring>
#include <utility>

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
    EXPECT_EQ(evaluateCurve(c, 15000.0f), 1000.0f); // the values between: the golden renders
    const CurvePoint peaks[] = {
        {50.0f, 100.0f}, {300.0f, -400.0f}, {1000.0f, 5000.0f}, {4000.0f, 1500.0f}, {16e3f, 20.0f}};
    fillCurve(c, peaks, 5);
    EXPECT_EQ(evaluateCurve(c, 4000.0f), 1500.0f);
    EXPECT_EQ(evaluateCurve(c, 300.0f), 0.0f);
    EXPECT_EQ(evaluateCurve(c, 1010.0f), 2000.0f) << "a 5000 ms point limits its neighbours";
    for (float f = 51.0f; f < 16000.0f; f *= 1.003f)
        ASSERT_TRUE(evaluateCurve(c, f) >= 0.0f && evaluateCurve(c, f) <= 2000.0f) << f;
}

TEST(Curve, BinDelaysFollowTheCurveAtTheRate) {
    auto hopsAt = [](double rate, const CurvePoint* curve, int count, int bin) {
        Kernel k;
        k.setCurve(CurveSlot::a, CurveKind::delay, curve, count);
        EXPECT_TRUE(k.initialize(1, rate));
        return k.mBins.delayHops[bin];
    };
    // The table at 44.1 kHz is the golden renders'. Bin 0 is taken at 1 Hz, below the first
    // point.
    EXPECT_NEAR(hopsAt(44100.0, kDefaultCurve, 5, 0), hopsFor(200.0f, 44100.0), 1e-4f);
    const CurvePoint longest[] = {{20.0f, 2000.0f}, {20000.0f, 2000.0f}};
    EXPECT_EQ(hopsAt(96000.0, longest, 2, 500), 375.0f);
}

// The history a bin keeps holds the longest delay (with the LFO's reach) in time, not in a
// fixed number of frames (the click test of every size and rate hears it); its size is bounded.
TEST(Curve, TheHistoryIsKeptInTimeAtEveryRateAndItsSizeIsBounded) {
    // The history a bin keeps: 10 s and the LFO's 30 hops, at the rate.
    EXPECT_EQ(delaySlotsFor(48000.0), 938 + 30 + 2);
    EXPECT_EQ(delaySlotsFor(768000.0), 15000 + 30 + 2);
    // At most 2^24 rows: the rate that needs exactly that many is taken, the next one is not.
    constexpr double kMostRate = (16777216.0 - 32.0) * kHopSize / 10.0;
    EXPECT_EQ(delaySlotsFor(kMostRate), 16777216);
    EXPECT_EQ(delaySlotsFor(kMostRate + kHopSize / 2.0), 0);
    EXPECT_EQ(delaySlotsFor(1e300), 0); // refused, not a wrapped size
}

TEST(CurveHandOver, TheNewerOfTwoIsReadBackAtOnceTakenAtTheNextCallAndHeardFromItsNextFrame) {
    auto k = makeKernel(1, 44100.0);
    CurvePoint many[40];
    for (int i = 0; i < 40; ++i)
        many[i] = {20.0f * static_cast<float>(i + 1), 10.0f * static_cast<float>(i)};
    const CurvePoint first[] = {{100.0f, 1000.0f}, {1000.0f, 1000.0f}};
    k->setCurve(CurveSlot::a, CurveKind::delay, first, 2);
    k->setCurve(CurveSlot::a, CurveKind::delay, many, 40);
    const CurveData& got = k->latestCurveSet().at(CurveSlot::a, CurveKind::delay);
    ASSERT_EQ(got.count, kMaxCurvePoints) << "points beyond the 32nd are dropped";
    EXPECT_EQ(got.points[31].value, 310.0f);
    k->setBypassed(true);
    render(*k, {Signal(kHopSize, 0.0f)}, 64);
    EXPECT_FALSE(k->curveDirty()) << "bypassed, the spectral path runs on and takes it";
    k->setBypassed(false);
    // Bin 1024 lies past the 32nd point (310 ms); one point is a flat delay, none leaves the
    // delays; a hand-over never writes the curve the render thread holds.
    for (const auto& [count, ms] : {std::pair{40, 310.0f}, {1, 1000.0f}, {0, 1000.0f}}) {
        const CurveData held = k->currentCurve();
        if (count < 2) k->setCurve(CurveSlot::a, CurveKind::delay, first, count);
        EXPECT_EQ(std::memcmp(&held, &k->currentCurve(), sizeof held), 0) << count;
        render(*k, {Signal(kHopSize, 0.0f)}, 64); // heard from the next frame
        EXPECT_FALSE(k->curveDirty());
        EXPECT_NEAR(k->mBins.delayHops[1024], hopsFor(ms, 44100.0), 1e-4f) << count;
        for (int bin = 0; bin < kNumBins && count == 1; ++bin)
            ASSERT_EQ(k->mBins.delayHops[bin], k->mBins.delayHops[1024]) << bin;
    }
}

// Points in any order, and more than it keeps: heard in frequency order, the lowest 32 kept,
// as the editor draws them (sorted stably, the first 32).
TEST(Curve, IsKeptInFrequencyOrderWithTheLowest32AndHeardSoFromAnyOrder) {
    auto pairsOf = [](const CurvePoint* points, std::size_t count) {
        std::vector<std::pair<float, float>> pairs;
        for (std::size_t i = 0; i < count; ++i)
            pairs.emplace_back(points[i].freq, points[i].value);
        return pairs;
    };
    auto keptOf = [&](const std::vector<CurvePoint>& points) {
        CurveData c{};
        fillCurve(c, points.data(), static_cast<int>(points.size()));
        return pairsOf(c.points, static_cast<std::size_t>(c.count));
    };
    auto stableSorted = [&](std::vector<CurvePoint> points, std::size_t keep) {
        std::stable_sort(points.begin(), points.end(),
                         [](const CurvePoint& a, const CurvePoint& b) { return a.freq < b.freq; });
        return pairsOf(points.data(), std::min(points.size(), keep));
    };
    const std::vector<CurvePoint> shuffled = {{5000.0f, 800.0f},
                                              {20.0f, 200.0f},
                                              {20000.0f, 100.0f},
                                              {1000.0f, 400.0f},
                                              {200.0f, 600.0f}};
    EXPECT_EQ(keptOf(shuffled), stableSorted(shuffled, 32));
    // Equal frequencies stay in the order given; a point without a frequency is dropped.
    const std::vector<CurvePoint> ties = {{1000.0f, 1.0f},       {500.0f, 2.0f}, {1000.0f, 3.0f},
                                          {std::nanf(""), 4.0f}, {500.0f, 5.0f}, {1000.0f, 6.0f}};
    EXPECT_EQ(
        keptOf(ties),
        (std::vector<std::pair<float, float>>{
            {500.0f, 2.0f}, {500.0f, 5.0f}, {1000.0f, 1.0f}, {1000.0f, 3.0f}, {1000.0f, 6.0f}}));
    // 45 points from the top down, ties among them: the lowest 32, ties in the order given.
    std::vector<CurvePoint> many;
    for (int i = 0; i < 45; ++i)
        many.push_back({20000.0f - 400.0f * static_cast<float>(i / 2), static_cast<float>(i)});
    ASSERT_EQ(keptOf(many).size(), 32u);
    EXPECT_EQ(keptOf(many), stableSorted(many, 32));

    // The bin delays of the shuffled default curve are those of the default curve, and one
    // point is a flat delay at its value, down to bin 0 and up to Nyquist.
    auto hopsOf = [](const std::vector<CurvePoint>& points) {
        Kernel k;
        k.setCurve(CurveSlot::a, CurveKind::delay, points.data(), static_cast<int>(points.size()));
        EXPECT_TRUE(k.initialize(1, 48000.0));
        return std::vector<float>(k.mBins.delayHops, k.mBins.delayHops + kNumBins);
    };
    EXPECT_EQ(hopsOf(shuffled), hopsOf({std::begin(kDefaultCurve), std::end(kDefaultCurve)}));
    const std::vector<float> flat = hopsOf({{1000.0f, 300.0f}});
    for (int bin = 0; bin < kNumBins; ++bin)
        ASSERT_NEAR(flat[bin], hopsFor(300.0f, 48000.0), 1e-4f) << bin;
    CurveData one{};
    fillCurve(one, shuffled.data(), 1);
    for (float f : {1.0f, 5000.0f, 24000.0f})
        EXPECT_EQ(evaluateCurve(one, f), 800.0f) << f;
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

TEST(Snapshot, HoldsChannelZerosNewestRatingsOnceWithTheirRateAndNumber) {
    auto k = makeKernel(2, 48000.0, {.sensitivity = 100});
    Signal got(kNumBins);
    FrameStamp stamp, none;
    EXPECT_FALSE(k->takeFrame(DisplayFrameKind::classification, got.data(), none))
        << "no frame rated yet";
    render(*k, {noise(8192, 1), binSine(8192, 100.0, 0.5f)}, 512);
    ASSERT_TRUE(k->takeFrame(DisplayFrameKind::classification, got.data(), stamp));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), k->mChannels[0]->binClassification));
    // Shares, as the editor's tints read them.
    EXPECT_TRUE(
        std::all_of(got.begin(), got.end(), [](float r) { return r >= 0.0f && r <= 1.0f; }));
    EXPECT_FALSE(k->takeFrame(DisplayFrameKind::classification, got.data(), none)) << "taken once";
    EXPECT_EQ(stamp.sampleRate, 48000.0);
    EXPECT_GT(stamp.sequence, 0u);

    // A reset clears the ratings, not the count: a later snapshot still has a larger number.
    const std::uint64_t before = stamp.sequence;
    k->reset();
    render(*k, {noise(2048, 2), noise(2048, 3)}, 512);
    ASSERT_TRUE(k->takeFrame(DisplayFrameKind::classification, got.data(), stamp));
    EXPECT_GT(stamp.sequence, before);
}

} // namespace
} // namespace zerin::test
