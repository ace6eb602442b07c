// Curves, snapshots and parameters crossing threads while the render thread runs: nothing
// read across threads may be torn (and build-tsan fails on any race).

#include "kernel_test_support.h"

#include <atomic>
#include <random>
#include <set>
#include <thread>

namespace zerin::test {
namespace {

// Generation g's curve has 32 points at one delay: a torn curve gives bins two delays.
void handOver(Kernel& k, int g) {
    CurvePoint points[kMaxCurvePoints];
    for (int i = 0; i < kMaxCurvePoints; ++i)
        points[i] = {20.0f * std::pow(1000.0f, i / 31.0f), 10.0f + 10.0f * (g % 150)};
    k.setCurve(CurveSlot::a, CurveKind::delay, points, kMaxCurvePoints);
}

// Ten tones on bins 40, 140, ..., 940 (multiples of 4: they repeat every hop), switched on and
// off together every 16 hops, so every frame rates the ten alike and unlike the frame before: a
// snapshot mixing two frames shows two values among them.
constexpr int kSentinels[] = {40, 140, 240, 340, 440, 540, 640, 740, 840, 940};

Signal sentinelTones(std::size_t n) {
    Signal s(n, 0.0f);
    for (std::size_t t = 16 * kHopSize; t < n; t += 32 * kHopSize)
        for (std::size_t i = t; i < std::min(n, t + 16 * kHopSize); ++i)
            for (int bin : kSentinels)
                s[i] += 0.05f *
                        static_cast<float>(std::sin(2.0 * M_PI * bin * (i % kHopSize) / kFFTSize));
    return s;
}

TEST(Threads, NothingCrossingThreadsIsEverTorn) {
    auto k = makeKernel(2, 44100.0, {.dryWet = 70.0f, .feedback = 50.0f, .sensitivity = 60.0f});
    handOver(*k, 0); // so every curve the render thread takes has 32 points
    std::atomic<bool> done{false};
    std::atomic<int> handOvers{0}, snapshots{0}, tornSnapshots{0}, changesSeen{0},
        parameterWrites{0};

    std::thread editor([&] {
        for (int g = 1; !done; ++g, ++handOvers, std::this_thread::yield())
            handOver(*k, g);
    });
    std::thread timer([&] {
        Signal r(kNumBins);
        FrameStamp stamp;
        for (float last = -1.0f; !done; std::this_thread::yield()) {
            if (!k->takeFrame(DisplayFrameKind::classification, r.data(), stamp)) continue;
            ++snapshots;
            bool whole = std::all_of(r.begin(), r.end(), [](float v) { return v >= 0 && v <= 1; });
            for (int bin : kSentinels)
                whole = whole && r[bin] == r[kSentinels[0]];
            tornSnapshots += whole ? 0 : 1;
            changesSeen += r[kSentinels[0]] != last ? 1 : 0;
            last = r[kSentinels[0]];
        }
    });
    std::thread host([&] {
        std::mt19937 rng(5);
        auto pick = [&](float lo, float hi) {
            return std::uniform_real_distribution<float>(lo, hi)(rng);
        };
        for (; !done; ++parameterWrites, std::this_thread::yield()) {
            // Every parameter in address order but the input gain, whose glide would give the
            // sentinels' rises different shares.
            apply(*k, {std::nullopt, pick(-12, 12), pick(0, 100), pick(0, 100), pick(0.01f, 20),
                       pick(0, 100), pick(0, 1), pick(0, 100), static_cast<float>(rng() % 4),
                       pick(10, 100)});
            k->setHostTempo(pick(60.0f, 180.0f));
        }
    });

    // Sentinels on the left (the snapshot's channel), noise on the right, in calls of every
    // size until every thread has had its say; between calls, the delays in use are checked.
    const std::size_t cycle = 32 * kHopSize, sizes[] = {256, 1, 512, 97, 300, 1024, 46};
    const Channels in = {sentinelTones(cycle), noise(cycle, 9)};
    std::set<int> generations;
    int tornCurves = 0, nonFinite = 0;
    std::vector<Event> checks;
    // From the second frame on: the curves are heard from a frame, and before the first none is.
    for (std::size_t at = 1500; at < cycle; at += 1000)
        checks.emplace_back(at, [&](Kernel& kk) {
            const auto [lo, hi] =
                std::minmax_element(kk.mBins.delayHops, kk.mBins.delayHops + kNumBins);
            const float ms = *lo * 1000.0f * kHopSize / 44100.0f, tens = std::round(ms / 10) * 10;
            tornCurves += *hi - *lo > 1e-5f * *hi || std::fabs(ms - tens) > 1e-2f ? 1 : 0;
            generations.insert(static_cast<int>(tens));
        });
    auto busy = [&] {
        return handOvers < 300 || snapshots < 200 || parameterWrites < 300 ||
               generations.size() < 20;
    };
    for (int c = 0; c < 64 || (busy() && c < 4096); ++c)
        for (const Signal& s : render(*k, in, sizes[c % 7], checks))
            nonFinite +=
                std::count_if(s.begin(), s.end(), [](float v) { return !std::isfinite(v); });
    done = true;
    for (std::thread* t : {&editor, &timer, &host})
        t->join();

    EXPECT_EQ(nonFinite, 0);
    EXPECT_EQ(tornCurves, 0);
    EXPECT_EQ(tornSnapshots, 0);
    // The checks above mean something only if the traffic really happened.
    EXPECT_GE(handOvers, 300);
    EXPECT_GE(generations.size(), 20u);
    EXPECT_GE(snapshots, 200);
    EXPECT_GT(changesSeen, 100);
    EXPECT_GE(parameterWrites, 300);
}

} // namespace
} // namespace zerin::test
