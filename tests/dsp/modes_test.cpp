// Delay reads, feedback, tempo sync, scatter's map, the frozen phase advance and the held loop.

#include "kernel_test_support.h"

#include <cstring>
#include <numeric>
#include <random>

namespace zerin::test {
namespace {

// One channel's delay driven frame by frame with hand-made spectra; nothing else unless set.
struct Rig {
    std::unique_ptr<Kernel> k = makeKernel(1, 44100.0);
    ChannelState& ch = *k->mChannels[0];
    Signal mag = Signal(kNumBins), phase = Signal(kNumBins);

    Rig() {
        std::fill_n(k->mBins.delayHops, kNumBins, 0.0f);
        k->mFrame = {0.0f, 0.0f, 0.0f, 0.0f};
    }
    void delay() {
        processDelay(delayInputs(*k, ch), ch, mag.data(), phase.data(), ch.feedbackMag,
                     ch.feedbackPhase);
    }
    // kRampFrames frames, more than the line holds, frame f with magnitude 4f and phase f in
    // every bin: exact when interpolated.
    static constexpr int kRampFrames = 1000;
    void ramp() {
        for (int f = 0; f < kRampFrames; ++f) {
            std::fill(mag.begin(), mag.end(), 4.0f * static_cast<float>(f));
            std::fill(phase.begin(), phase.end(), static_cast<float>(f));
            delay();
        }
    }
};

// What a bin reads `d` frames back at the end of Rig::ramp.
float rampAt(double d) {
    const double newer = (Rig::kRampFrames - 1.0) - std::floor(d), frac = d - std::floor(d);
    return static_cast<float>(4.0 * ((1.0 - frac) * newer + frac * (newer - 1.0)));
}

TEST(Delay, EachBinReadsItsDelayPlusTheLFOSwingInterpolatedWithinTheLine) {
    // Full LFO depth swings by up to 30 hops; magnitudes interpolate, phases come from the
    // newer slot; a NaN delay reads the current frame, not the far end. The line reaches `l`
    // hops back: the longest range's 10 s and the LFO's 30 hops at the rig's 44.1 kHz.
    const float up = kPi / 2.0f, down = 3.0f * kPi / 2.0f;
    const float l = static_cast<float>(delaySlotsFor(44100.0) - 1);
    ASSERT_EQ(l, 862.0f + 30.0f + 2.0f - 1.0f); // 10 s is 861.3 hops
    const float cases[][4] = {                  // curve delay, LFO phase, depth, delay read
                              {0.0f, 0.0f, 0.0f, 0.0},     {0.5f, 0.0f, 0.0f, 0.5},
                              {10.25f, 0.0f, 0.0f, 10.25}, {l - 0.25f, 0.0f, 0.0f, l - 0.25f},
                              {l, 0.0f, 0.0f, l},          {l + 1.0f, 0.0f, 0.0f, l},
                              {l + 45.0f, 0.0f, 0.0f, l},  {-5.0f, 0.0f, 0.0f, 0.0},
                              {7.0f, 0.0f, 1.0f, 7.0},     {10.25f, up, 1.0f, 40.25},
                              {10.0f, up, 0.5f, 25.0},     {l - 15.0f, up, 1.0f, l},
                              {10.0f, down, 1.0f, 0.0},    {100.5f, down, 1.0f, 70.5},
                              {50.0f, NAN, 0.3f, 0.0}};
    for (const auto& [hops, lfoPhase, depth, reads] : cases) {
        Rig rig;
        rig.k->mBins.delayHops[5] = hops;
        rig.k->mLFOPhase = lfoPhase;
        rig.k->mFrame.lfoDepth = depth;
        rig.ramp();
        EXPECT_EQ(rig.ch.feedbackMag[5], rampAt(reads)) << hops << " at " << lfoPhase;
        EXPECT_EQ(rig.ch.feedbackPhase[5], (Rig::kRampFrames - 1.0f) - std::floor(reads)) << hops;
    }
}

TEST(Delay, FeedbackReturnsAfterTheDelayPlusOneFrameAndTransientBinsGetLessOfBoth) {
    // At 50 %, a bin 4 hops late returns every fifth frame at half the level; a transient bin
    // at full sensitivity keeps a tenth of its delay (40 hops: 4) and a fifth of its feedback.
    Rig rig;
    rig.k->mFrame = {0.5f, 0.0f, 1.0f, 0.0f}; // feedback, LFO depth, sensitivity, scatter speed
    rig.ch.binClassification[7] = 0.0f;
    rig.k->mBins.delayHops[3] = 4.0f;
    rig.k->mBins.delayHops[7] = 40.0f;
    for (int f = 0; f < 20; ++f) {
        std::fill(rig.mag.begin(), rig.mag.end(), f == 0 ? 1.0f : 0.0f);
        rig.delay();
        ASSERT_EQ(rig.ch.feedbackMag[3], f % 5 == 4 ? std::ldexp(1.0f, -(f / 5)) : 0.0f) << f;
        ASSERT_NEAR(rig.ch.feedbackMag[7], f % 5 == 4 ? std::pow(0.1f, f / 5) : 0.0f, 1e-5f) << f;
    }
}

TEST(Delay, TempoSyncSnapsTheRateToTheNearestDivisionOfTheBeat) {
    const float cases[][4] = {
        // sync, tempo, knob, rate
        {1.0f, 120.0f, 1.0f, 1.0f},  {1.0f, 120.0f, 3.0f, 4.0f},    // a tie goes to the faster
        {1.0f, 120.0f, 20.0f, 8.0f}, {1.0f, 120.0f, 0.01f, 0.125f}, // the ends of the table
        {1.0f, 90.0f, 1.0f, 0.75f},  {1.0f, 0.0f, 3.0f, 3.0f},      // no tempo: the knob
        {1.0f, -60.0f, 3.0f, 3.0f},  {0.0f, 120.0f, 3.0f, 3.0f},
        {1.0f, 3e38f, 3.0f, 3.0f}}; // beyond any tempo a host may set: none
    for (const auto& [sync, tempo, knob, rate] : cases) {
        Kernel k;
        apply(k, {.lfoRate = knob, .tempoSync = sync});
        k.mHostTempo = tempo;
        EXPECT_EQ(k.effectiveLFORate(), rate) << tempo << " bpm, knob " << knob;
    }
}

// A broken transport's tempo (3e38) once made the LFO phase infinite and the delay silent for good.
TEST(Delay, AnAbsurdTempoIsIgnoredAndNothingLeavesTheLFOPhaseOutOfItsTurn) {
    const Settings synced{.lfoRate = 1.0f, .lfoDepth = 100.0f, .tempoSync = 1.0f};
    const Channels input = {noise(60000, 21), noise(60000, 22)};
    auto k = makeKernel(2, 44100.0, synced);
    k->setHostTempo(90.0);
    const Channels reference = render(*k, input, 512);

    // The last usable tempo stays.
    std::vector<Event> absurd;
    std::size_t at = 5000;
    for (double bpm : {3e38, 1e300, HUGE_VAL, -HUGE_VAL, std::nan(""), 0.0, -90.0, 1e-3, 1e6})
        absurd.push_back({at += 4000, [bpm](Kernel& kk) { kk.setHostTempo(bpm); }});
    k = makeKernel(2, 44100.0, synced);
    k->setHostTempo(90.0);
    EXPECT_EQ(render(*k, input, 512, absurd), reference);
    EXPECT_EQ(k->hostTempo(), 90.0);

    // A phase that is not a number starts again at 0 with the next call.
    for (float poison : {HUGE_VALF, std::nanf(""), -1.0f, 1e30f}) {
        auto poisoned = makeKernel(2, 44100.0, synced);
        auto restarted = makeKernel(2, 44100.0, synced);
        EXPECT_EQ(
            render(*poisoned, input, 512,
                   {{30000, [poison](Kernel& kk) { kk.mLFOPhase = poison; }}}),
            render(*restarted, input, 512, {{30000, [](Kernel& kk) { kk.mLFOPhase = 0.0f; }}}))
            << poison;
    }
    // Rates far beyond the knob's: the phase stays within its turn and the output finite.
    for (float rate : {1e30f, 44100.0f, 1e5f, -3.0f, -1e30f}) {
        auto wild = makeKernel(1, 44100.0, {.lfoRate = rate, .lfoDepth = 100.0f});
        for (int call = 0; call < 40; ++call) {
            const Signal out = render(*wild, {noise(512, call)}, 512)[0];
            ASSERT_TRUE(wild->mLFOPhase >= 0.0f && wild->mLFOPhase < kTwoPi) << rate;
            for (float x : out)
                ASSERT_TRUE(std::isfinite(x)) << rate;
        }
    }
}

std::vector<int> scatterMap(const Kernel& k, int channel) {
    return {k.mChannels[channel]->scatterMap, k.mChannels[channel]->scatterMap + kNumBins};
}

std::vector<int> binsInOrder() {
    std::vector<int> bins(kNumBins);
    std::iota(bins.begin(), bins.end(), 0);
    return bins;
}

// The hops, one a call, after which channel 0's map changed; every map stays a permutation
// of the bins (or scatter would drop some and double others).
std::vector<int> reshuffledHops(Kernel& k, int hops) {
    std::vector<int> changed;
    const Channels hop = {noise(kHopSize, 1), noise(kHopSize, 2)};
    for (int h = 0; h < hops; ++h) {
        const std::vector<int> before = scatterMap(k, 0);
        render(k, hop, kHopSize);
        for (int c = 0; c < 2; ++c) {
            std::vector<int> sorted = scatterMap(k, c);
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, binsInOrder()) << "channel " << c << " after hop " << h;
        }
        if (scatterMap(k, 0) != before) changed.push_back(h);
    }
    return changed;
}

TEST(Scatter, TheMapStaysAPermutationAndReshufflesAsOftenAsItsSpeedSays) {
    // Every fourth frame at full speed, every 84th at none (if its swap moves anything).
    std::size_t changes[3];
    for (int i = 0; i < 3; ++i) {
        auto k = makeKernel(2, 44100.0, {.scatterSpeed = 50.0f * i, .mode = 2});
        changes[i] = reshuffledHops(*k, 336).size();
    }
    EXPECT_LE(changes[0], 4u);
    EXPECT_GT(changes[1], changes[0]);
    EXPECT_LT(changes[1], changes[2]);
    EXPECT_EQ(changes[2], 84u);
}

TEST(Scatter, TheSeededMapsDoNotDependOnCallSizesAndStartOverWhenChosenAgain) {
    const Channels in = {noise(40000, 1), noise(40000, 2)};
    const Settings s = {.feedback = 40, .scatterSpeed = 80, .mode = 2};
    auto reference = makeKernel(2, 44100.0, s);
    render(*reference, in, 512);
    for (std::size_t block : {63u, 4096u}) {
        auto k = makeKernel(2, 44100.0, s);
        render(*k, in, block);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(scatterMap(*k, c), scatterMap(*reference, c)) << block;
    }

    // Left and chosen again: the bins in order, reshuffled on the same frames as at first.
    auto k = makeKernel(2, 44100.0, {.scatterSpeed = 100, .mode = 2});
    const std::vector<int> first = reshuffledHops(*k, 12);
    k->setParameter(parameter::mode, 0.0f);
    reshuffledHops(*k, 1);
    EXPECT_EQ(scatterMap(*k, 1), binsInOrder());
    k->setParameter(parameter::mode, 2.0f);
    EXPECT_EQ(reshuffledHops(*k, 12), first);
}

// Bin k's turn over one hop, k pi/2, rounded as the kernel rounds it.
float hopTurn(int k) {
    return ((static_cast<float>(k) * 6.2831855f) * 512.0f) * 0.00048828125f;
}

// The wrap the slow way, one 2 pi at a time, counting the passes through `target`.
float literalAdvance(float acc, int k, float target = NAN, int* landings = nullptr) {
    acc += hopTurn(k);
    int hits = acc == target ? 1 : 0;
    while (acc > 3.1415927f)
        hits += (acc -= 6.2831855f) == target ? 1 : 0;
    while (acc < -3.1415927f)
        acc += 6.2831855f;
    if (landings != nullptr) *landings += hits;
    return acc;
}

void expectSameAsLiteral(const std::vector<float>& start, const char* what) {
    std::vector<float> fast = start;
    advanceFrozenPhases(fast.data(), kNumBins);
    for (int k = 0; k < kNumBins; ++k) {
        const float slow = literalAdvance(start[k], k);
        ASSERT_EQ(std::memcmp(&fast[k], &slow, sizeof slow), 0)
            << what << ": bin " << k << " from " << std::hexfloat << start[k] << " gives "
            << fast[k] << " instead of " << slow;
    }
}

TEST(FrozenPhase, MatchesTheLiteralWrapBitForBitAlsoWhereItLandsOnABinadeBoundary) {
    // Starts whose sum or later turn lands on or next to 2^E, where a binade-wise wrap is off
    // by a turn or a rounding; bins whose turn cannot reach it start at random.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> random(-kPi, kPi);
    std::vector<float> acc(kNumBins);
    for (int e = 3; e <= 10; ++e) {
        int landings = 0;
        const float edge = std::ldexp(1.0f, e);
        for (float target : {std::nextafter(edge, 0.0f), edge, std::nextafter(edge, 4096.0f)}) {
            for (int offset = -2; offset <= 2; ++offset) {
                for (int k = 0; k < kNumBins; ++k) {
                    // Aim, then correct by where the slow wrap actually passes the target.
                    const float sum = hopTurn(k);
                    float start = std::remainder(target - sum, 6.2831855f);
                    for (int pass = 0; pass < 3; ++pass) {
                        float x = start + sum, nearest = x;
                        for (; x > 3.1415927f; x -= 6.2831855f)
                            if (std::fabs(x - target) < std::fabs(nearest - target)) nearest = x;
                        start += target - nearest;
                    }
                    const float grid = std::nextafter(sum + 4.0f, 1e9f) - (sum + 4.0f);
                    start = std::clamp(start + static_cast<float>(offset) * grid, -kPi, kPi);
                    acc[k] = sum + 3.0f < target ? random(rng) : start;
                    literalAdvance(acc[k], k, target, &landings);
                }
                expectSameAsLiteral(acc, "boundary");
            }
        }
        // Exact landings need the right residue on the coarser grid: 56 to 1358 bins here.
        EXPECT_GT(landings, 40) << "2^" << e << " was hardly ever landed on";
    }
    // Frame after frame from one start, as a held spectrum runs; then the range's ends.
    for (int frame = 0; frame < 400; ++frame) {
        expectSameAsLiteral(acc, "trajectory");
        advanceFrozenPhases(acc.data(), kNumBins);
    }
    for (float v : {kPi, -kPi, std::nextafter(kPi, 0.0f), std::nextafter(-kPi, 0.0f), 0.0f, -0.0f,
                    1e-30f, -1e-30f, 1.5707964f, -1.5707964f}) {
        std::fill(acc.begin(), acc.end(), v);
        expectSameAsLiteral(acc, "edge");
    }
    advanceFrozenPhases(acc.data(), 37);
    EXPECT_EQ(acc[37], -1.5707964f) << "bins beyond the count are left alone";
}

constexpr std::size_t kSwitch = 20480; // a call boundary; the first frozen frame follows
constexpr std::size_t kCapture = kSwitch + kHopSize - 1;
constexpr std::size_t kHeld = kCapture + 1536; // the frames from before the capture have left

// Renders `in` from mode `before`, with the mode requests `then` made at kSwitch.
Signal freezeRender(const Signal& in, float before, std::vector<float> then) {
    auto k = makeKernel(1, 44100.0, {.dryWet = 100, .mode = before});
    auto change = [&](Kernel& kk) {
        for (float mode : then)
            kk.setParameter(parameter::mode, mode);
    };
    return render(*k, {in}, 512, {{kSwitch, change}})[0];
}

TEST(Freeze, HoldsAsALoopTheFrameCapturedWhenChosenFromAnotherMode) {
    // Tones below bin 60 (held phases stay small and accurate), then silence: only held frames.
    Signal in(kHeld + 44100, 0.0f);
    for (double bin : {3.3, 17.8, 31.0, 44.6, 57.2}) {
        const Signal tone = binSine(kSwitch + 2048, bin, 0.1f, bin);
        std::transform(tone.begin(), tone.end(), in.begin(), in.begin(), std::plus<>());
    }
    // Each held frame turns on by one hop, so each sample reads the capture at a fixed phase
    // of a 2048-sample loop, under the summed windows (4 * 0.8165) and the overlap factor 2/3.
    Signal loop(in.size() - kHeld);
    for (std::size_t s = 0; s < loop.size(); ++s) {
        const std::size_t c = (s + kHeld - kCapture + kHopSize) % kFFTSize;
        const double w = 0.8165 * (1.0 - std::cos(2.0 * M_PI * c / kFFTSize));
        loop[s] = static_cast<float>((2.0 / 3.0) * (4.0 * 0.8165) * w * in[kCapture - 2047 + c]);
    }
    // Held phases drift by a rounding (1e-6 rad a hop): 1e-4 of the level after a second.
    auto loopError = [&](const Signal& out) {
        return misalignment(loop, Signal(out.begin() + kHeld, out.end()), 0, 1.0f);
    };
    EXPECT_LT(loopError(freezeRender(in, 3.0f, {1.0f})), 3e-4f);
    EXPECT_LT(loopError(freezeRender(in, 1.0f, {2.0f, 1.0f})), 3e-4f) << "left and chosen again";
    EXPECT_GT(loopError(freezeRender(in, 1.0f, {1.0f})), 0.1f) << "still the first capture";
}

} // namespace
} // namespace zerin::test
