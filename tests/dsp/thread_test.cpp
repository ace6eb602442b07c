// The kernel's cross-thread traffic at full tilt: the editor's thread handing over curves,
// the editor's timer taking snapshots and the host changing parameters and modes, all while
// the render thread processes. Built again with ThreadSanitizer (build-tsan), where any data
// race fails the run; here it checks that nothing read across threads is ever torn.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <set>
#include <thread>

namespace zerin::test {
namespace {

constexpr double kRate = 44100.0;

// Generation g's curve has 32 points, every one at this delay: a curve torn between two
// generations gives bins two different delays.
float generationDelay(int g) {
    return 10.0f + 10.0f * static_cast<float>(g % 150);
}

TEST(Threads, NothingCrossingThreadsIsEverTorn) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kSensitivity, 60.0f}, {kDryWet, 70.0f}, {kFeedback, 50.0f}});
    ASSERT_TRUE(k.initialize(2, kRate));
    CurvePoint first[kMaxCurvePoints];
    for (int i = 0; i < kMaxCurvePoints; ++i)
        first[i] = {20.0f * std::pow(1000.0f, i / 31.0f), generationDelay(0)};
    k.setSpectralCurve(first, kMaxCurvePoints); // so every curve the render thread takes is whole

    std::atomic<bool> done{false};
    std::atomic<int> handOvers{0}, tornReadBacks{0};
    std::atomic<int> snapshots{0}, tornSnapshots{0}, changesSeen{0};
    std::atomic<int> parameterWrites{0};

    std::thread editor([&] {
        CurvePoint points[kMaxCurvePoints], back[kMaxCurvePoints];
        for (int g = 1; !done.load(); ++g) {
            for (int i = 0; i < kMaxCurvePoints; ++i)
                points[i] = {20.0f * std::pow(1000.0f, i / 31.0f), generationDelay(g)};
            k.setSpectralCurve(points, kMaxCurvePoints);
            const int n = k.getSpectralCurve(back);
            bool whole = n == kMaxCurvePoints;
            for (int i = 0; i < n; ++i)
                whole = whole && back[i].delay == generationDelay(g);
            tornReadBacks += whole ? 0 : 1;
            ++handOvers;
            std::this_thread::yield();
        }
    });

    std::thread timer([&] {
        Signal r(kNumBins);
        float last = -1.0f;
        while (!done.load()) {
            if (k.takeClassificationSnapshot(r.data())) {
                ++snapshots;
                bool whole = true;
                for (int bin : kSentinelBins)
                    whole = whole && r[bin] == r[kSentinelBins[0]];
                for (float v : r)
                    whole = whole && v >= 0.0f && v <= 1.0f;
                tornSnapshots += whole ? 0 : 1;
                changesSeen += r[kSentinelBins[0]] != last ? 1 : 0;
                last = r[kSentinelBins[0]];
            }
            std::this_thread::yield();
        }
    });

    std::thread host([&] {
        std::mt19937 rng(5);
        auto pick = [&](float lo, float hi) {
            return std::uniform_real_distribution<float>(lo, hi)(rng);
        };
        while (!done.load()) {
            k.setParameter(kMode, static_cast<float>(rng() % 4));
            setParams(k, {{kOutputGain, pick(-12.0f, 12.0f)},
                          {kDryWet, pick(0.0f, 100.0f)},
                          {kFeedback, pick(0.0f, 100.0f)},
                          {kLFORate, pick(0.01f, 20.0f)},
                          {kLFODepth, pick(0.0f, 100.0f)},
                          {kTempoSync, pick(0.0f, 1.0f)},
                          {kScatterSpeed, pick(0.0f, 100.0f)},
                          {kSensitivity, pick(10.0f, 100.0f)}});
            k.mHostTempo = pick(60.0f, 180.0f);
            (void)k.getParameter(kMode);
            ++parameterWrites;
            std::this_thread::yield();
        }
    });

    // The render thread: sentinel tones on the left (the snapshot's channel), noise right,
    // until every other thread has had its say many times over.
    constexpr std::size_t kCycle = 32 * kHopSize; // the sentinel tones repeat after this
    const Signal left = sentinelTones(kCycle), right = noise(kCycle, 9);
    Signal inLeft(1024), inRight(1024), outLeft(1024), outRight(1024);
    const int sizes[] = {256, 1, 512, 97, 300, 1024, 46};
    const float hopMs = 1000.0f * kHopSize / static_cast<float>(kRate);
    std::set<int> generations;
    int tornCurves = 0, nonFinite = 0, badModes = 0;
    auto busy = [&] {
        return handOvers < 300 || snapshots < 200 || parameterWrites < 300 ||
               generations.size() < 20;
    };
    std::size_t at = 0;
    for (std::size_t call = 0; at < 64 * kCycle || (busy() && at < 4096 * kCycle); ++call) {
        const std::size_t n = sizes[call % 7];
        for (std::size_t i = 0; i < n; ++i) {
            inLeft[i] = left[(at + i) % kCycle];
            inRight[i] = right[(at + i) % kCycle];
        }
        const float* in[] = {inLeft.data(), inRight.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        k.process(in, 2, out, 2, static_cast<int>(n));
        at += n;
        for (std::size_t i = 0; i < n; ++i)
            nonFinite += std::isfinite(outLeft[i]) && std::isfinite(outRight[i]) ? 0 : 1;

        const float* hops = k.mBinDelayHops;
        const auto [lo, hi] = std::minmax_element(hops, hops + kNumBins);
        const float ms = *lo * hopMs;
        const float tens = std::round(ms / 10.0f) * 10.0f;
        if (*hi - *lo > 1e-5f * *hi || std::fabs(ms - tens) > 1e-2f) ++tornCurves;
        generations.insert(static_cast<int>(tens));
        badModes += k.activeMode() >= 0 && k.activeMode() <= 3 ? 0 : 1;
    }
    done = true;
    editor.join();
    timer.join();
    host.join();

    EXPECT_EQ(nonFinite, 0);
    EXPECT_EQ(badModes, 0);
    EXPECT_EQ(tornCurves, 0);
    EXPECT_EQ(tornReadBacks.load(), 0);
    EXPECT_EQ(tornSnapshots.load(), 0);
    // The checks above mean something only if the traffic really happened.
    EXPECT_GE(handOvers.load(), 300);
    EXPECT_GE(generations.size(), 20u);
    EXPECT_GE(snapshots.load(), 200);
    EXPECT_GT(changesSeen.load(), 100);
    EXPECT_GE(parameterWrites.load(), 300);
}

} // namespace
} // namespace zerin::test
