// Freeze: the held spectrum, its recapture rules, transients let through, and the phase
// advance that must match the one-turn-at-a-time wrap to the bit.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace zerin::test {
namespace {

// The wrap as written the slow way: one 2 pi per turn.
float literalAdvance(float acc, int k, const float* target = nullptr, bool* hit = nullptr) {
    acc += ((static_cast<float>(k) * 6.2831855f) * 512.0f) * 0.00048828125f;
    auto visit = [&] {
        if (target != nullptr && acc == *target) *hit = true;
    };
    visit();
    while (acc > 3.1415927f) {
        acc -= 6.2831855f;
        visit();
    }
    while (acc < -3.1415927f) {
        acc += 6.2831855f;
        visit();
    }
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

TEST(FrozenPhase, MatchesTheLiteralWrapForRandomPhasesAndTheirTrajectories) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> phase(-kPi, kPi);
    std::vector<float> acc(kNumBins);
    for (int round = 0; round < 400; ++round) {
        for (float& a : acc)
            a = phase(rng);
        expectSameAsLiteral(acc, "random");
    }
    // Frame after frame from one start, as a held spectrum runs.
    for (float& a : acc)
        a = phase(rng);
    for (int frame = 0; frame < 400; ++frame) {
        expectSameAsLiteral(acc, "trajectory");
        advanceFrozenPhases(acc.data(), kNumBins);
    }
    // The ends of the range, signed zeros, quarter turns.
    for (float v : {kPi, -kPi, std::nextafter(kPi, 0.0f), std::nextafter(-kPi, 0.0f), 0.0f, -0.0f,
                    1e-30f, -1e-30f, 1.5707964f, -1.5707964f}) {
        std::fill(acc.begin(), acc.end(), v);
        expectSameAsLiteral(acc, "edge");
    }
}

TEST(FrozenPhase, MatchesTheLiteralWrapOnEveryBinadeBoundary) {
    // For every bin and every power of two its wrap passes through, phases whose sum, or one
    // of whose later turns, lands on 2^E or next to it: where a wrap that reasons binade by
    // binade would be off by one turn or one rounding. Bins that cannot reach the boundary
    // start from random phases.
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> phase(-kPi, kPi);
    std::vector<float> acc(kNumBins);
    for (int e = 3; e <= 10; ++e) {
        int landings = 0;
        const float edge = std::ldexp(1.0f, e);
        for (float target : {std::nextafter(edge, 0.0f), edge, std::nextafter(edge, 4096.0f)}) {
            for (int offset = -2; offset <= 2; ++offset) {
                for (int k = 0; k < kNumBins; ++k) {
                    const float sum =
                        ((static_cast<float>(k) * 6.2831855f) * 512.0f) * 0.00048828125f;
                    if (sum + 3.0f < target) {
                        acc[k] = phase(rng);
                        continue;
                    }
                    // Aim, then correct by where the slow wrap actually passes the target.
                    float start = std::remainder(target - sum, 6.2831855f);
                    for (int pass = 0; pass < 3; ++pass) {
                        float x = start + sum, nearest = x;
                        for (; x > 3.1415927f; x -= 6.2831855f)
                            if (std::fabs(x - target) < std::fabs(nearest - target)) nearest = x;
                        start += target - nearest;
                    }
                    const float grid = std::nextafter(sum + 4.0f, 1e9f) - (sum + 4.0f);
                    acc[k] = std::clamp(start + static_cast<float>(offset) * grid, -kPi, kPi);
                    bool hit = false;
                    literalAdvance(acc[k], k, &target, &hit);
                    landings += hit ? 1 : 0;
                }
                expectSameAsLiteral(acc, "boundary");
            }
        }
        // Exact landings need the right residue on the sum's coarser grid: 56 to 1358 of
        // the bins per power here.
        EXPECT_GT(landings, 40) << "2^" << e << " was hardly ever landed on";
    }
}

TEST(FrozenPhase, LeavesBinsBeyondTheCountAlone) {
    std::vector<float> acc(kNumBins, 1.0f);
    advanceFrozenPhases(acc.data(), 37);
    EXPECT_EQ(acc[37], 1.0f);
    EXPECT_EQ(acc[1024], 1.0f);
    EXPECT_EQ(acc[36], literalAdvance(1.0f, 36));
}

// A signal whose bins all lie below 60, so the held phases stay small and accurate.
Signal lowBand(std::size_t n, std::uint32_t seed) {
    Signal s(n, 0.0f);
    const double bins[] = {3.3, 17.8, 31.0, 44.6, 57.2};
    for (int i = 0; i < 5; ++i) {
        const Signal tone = binSine(n, bins[i], 0.1f, seed * 0.7 + i);
        for (std::size_t t = 0; t < n; ++t)
            s[t] += tone[t];
    }
    return s;
}

constexpr std::size_t kSwitch = 20480; // a call boundary; the first frozen frame follows
constexpr std::size_t kCapture = kSwitch + kHopSize - 1;

Channels freezeRender(const Signal& in, float modeBefore) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, modeBefore}, {kDryWet, 100.0f}});
    EXPECT_TRUE(k.initialize(1, 44100.0));
    return render(k, {in}, 512, {{kSwitch, [](auto& kk) { kk.setParameter(kMode, 1.0f); }}});
}

TEST(Freeze, HoldsTheCapturedFrameAsALoopWhateverFollows) {
    const Signal captured = lowBand(kSwitch + 2048, 1);
    Signal a = captured, b = captured;
    a.resize(200000, 0.0f);
    const Signal later = noise(200000 - b.size(), 2);
    b.insert(b.end(), later.begin(), later.end());
    const Signal outA = freezeRender(a, 3.0f)[0];
    const Signal outB = freezeRender(b, 3.0f)[0];

    // Once the frames from before the capture have left, only held frames sound.
    const std::size_t held = kCapture + 1536;
    EXPECT_TRUE(std::equal(outA.begin() + held, outA.end(), outB.begin() + held));

    // Each held frame is the captured windowed frame turned on by one hop more than the last,
    // so every output sample reads the capture at one fixed phase of a 2048-sample loop,
    // under the summed synthesis windows (4 * 0.8165) and the overlap factor 2/3.
    float error = 0.0f, peak = 0.0f;
    for (std::size_t s = held; s < held + 44100; ++s) {
        const std::size_t c = (s - kCapture + kHopSize) % kFFTSize;
        const double w = 0.8165 * (1.0 - std::cos(2.0 * M_PI * c / kFFTSize));
        const float expected =
            static_cast<float>((2.0 / 3.0) * (4.0 * 0.8165) * w * captured[kCapture - 2047 + c]);
        error = std::max(error, std::fabs(outA[s] - expected));
        peak = std::max(peak, std::fabs(expected));
    }
    EXPECT_GT(peak, 0.5f);
    // A held phase rounds its turn of k pi/2 the same way every fourth hop, so it drifts
    // steadily, about 1e-6 rad per hop at these bins: 1e-4 of the level after a second.
    EXPECT_LT(error, 3e-4f * peak);
}

TEST(Freeze, RecapturesWhenLeftAndChosenAgainBetweenTwoCalls) {
    const Signal in = lowBand(60000, 3);
    const Signal fromPassThrough = freezeRender(in, 3.0f)[0];

    // Frozen long before, then freeze -> scatter -> freeze between two calls.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, 1.0f}, {kDryWet, 100.0f}});
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const Signal recaptured = render(k, {in}, 512, {{kSwitch, [](auto& kk) {
                                                         kk.setParameter(kMode, 2.0f);
                                                         kk.setParameter(kMode, 1.0f);
                                                     }}})[0];
    const std::size_t held = kCapture + 1536;
    EXPECT_TRUE(
        std::equal(recaptured.begin() + held, recaptured.end(), fromPassThrough.begin() + held));

    // Choosing freeze while in freeze keeps the old capture.
    ZerinExtensionDSPKernel kept;
    setParams(kept, {{kMode, 1.0f}, {kDryWet, 100.0f}});
    ASSERT_TRUE(kept.initialize(1, 44100.0));
    const Signal still =
        render(kept, {in}, 512, {{kSwitch, [](auto& kk) { kk.setParameter(kMode, 1.0f); }}})[0];
    EXPECT_FALSE(std::equal(still.begin() + held, still.end(), fromPassThrough.begin() + held));
}

TEST(Freeze, TransientBinsFollowTheLiveInputAndDelayLinesStandStill) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(1, 44100.0));
    ChannelState& ch = *k.mChannels[0];
    Signal mag(kNumBins, 8.0f), phase(kNumBins, 0.5f), outMag(kNumBins), outPhase(kNumBins);
    k.mFrame.sensitivity = 1.0f;
    processFreeze(k, ch, mag.data(), phase.data(), outMag.data(), outPhase.data()); // capture
    std::fill(mag.begin(), mag.end(), 2.0f);
    std::fill(phase.begin(), phase.end(), -1.0f);
    ch.binClassification[10] = 0.0f; // transient: live
    ch.binClassification[11] = 1.0f; // tonal: held
    ch.binClassification[12] = 0.5f; // half: mixed magnitude, live phase
    ch.binClassification[13] = 0.75f;
    const int writePos = ch.delayWritePos;
    processFreeze(k, ch, mag.data(), phase.data(), outMag.data(), outPhase.data());
    EXPECT_EQ(outMag[10], 2.0f);
    EXPECT_EQ(outPhase[10], -1.0f);
    EXPECT_EQ(outMag[11], 8.0f);
    EXPECT_EQ(outPhase[11], ch.frozenPhaseAccum[11]);
    EXPECT_EQ(outMag[12], 5.0f);
    EXPECT_EQ(outPhase[12], -1.0f);
    EXPECT_EQ(outMag[13], 6.5f);
    EXPECT_EQ(outPhase[13], ch.frozenPhaseAccum[13]);
    // Bin 1 turns by a quarter turn per hop from the captured phase; bin 0 never turns.
    EXPECT_NEAR(ch.frozenPhaseAccum[1], 0.5f - kPi, 1e-6f);
    EXPECT_EQ(ch.frozenPhaseAccum[0], 0.5f);
    EXPECT_EQ(ch.delayWritePos, writePos);
}

} // namespace
} // namespace zerin::test
