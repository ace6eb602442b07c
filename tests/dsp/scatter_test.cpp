// Scatter: the seeded shuffle, when and how much it reshuffles, how much magnitude moves,
// and determinism from construction.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace zerin::test {
namespace {

constexpr std::uint32_t kSeed = 0x12345678u;

std::uint32_t xorshift(std::uint32_t x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// The reshuffle as documented: two generator steps per swap, partner within +-range.
void referenceShuffle(std::uint32_t& state, std::vector<int>& map, int swaps, int range) {
    const int n = static_cast<int>(map.size());
    for (int s = 0; s < swaps; ++s) {
        const std::uint32_t r1 = xorshift(state);
        const std::uint32_t r2 = xorshift(r1);
        state = r2;
        const int i = static_cast<int>(r1 % static_cast<std::uint32_t>(n));
        const int j = std::clamp(
            i - range + static_cast<int>(r2 % static_cast<std::uint32_t>(2 * range + 1)), 0, n - 1);
        std::swap(map[i], map[j]);
    }
}

std::vector<int> identity(int n) {
    std::vector<int> m(n);
    std::iota(m.begin(), m.end(), 0);
    return m;
}

TEST(Scatter, ShuffleDrawsTheXorshiftSequenceAndKeepsAPermutation) {
    ZerinExtensionDSPKernel k;
    ASSERT_EQ(k.mRNGState, kSeed);
    std::vector<int> map = identity(kNumBins);
    std::vector<int> expected = map;
    std::uint32_t state = kSeed;
    shuffleScatterMap(k, map.data(), kNumBins, 83, 62);
    referenceShuffle(state, expected, 83, 62);
    EXPECT_EQ(map, expected);
    EXPECT_EQ(k.mRNGState, state);

    shuffleScatterMap(k, map.data(), kNumBins, 0, 62);
    EXPECT_EQ(k.mRNGState, state) << "no swaps, no draws";

    // A range wider than the map clamps partners to its ends.
    std::vector<int> small = identity(5), smallExpected = small;
    shuffleScatterMap(k, small.data(), 5, 40, 20);
    referenceShuffle(state, smallExpected, 40, 20);
    EXPECT_EQ(small, smallExpected);

    for (int round = 0; round < 200; ++round)
        shuffleScatterMap(k, map.data(), kNumBins, 83, 62);
    std::vector<int> sorted = map;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, identity(kNumBins));
    EXPECT_NE(map, identity(kNumBins));
}

// Drives processScatter on one channel with hand-made magnitudes and no delay.
struct ScatterRig {
    ZerinExtensionDSPKernel k;
    ChannelState* ch = nullptr;
    Signal mag = Signal(kNumBins, 1.0f), phase = Signal(kNumBins, 0.25f);
    Signal outMag = Signal(kNumBins), outPhase = Signal(kNumBins);

    explicit ScatterRig(float speed) {
        EXPECT_TRUE(k.initialize(1, 44100.0));
        ch = k.mChannels[0];
        std::fill_n(k.mBinDelayHops, kNumBins, 0.0f);
        k.mFrame = {};
        k.mFrame.feedback = 0.0f;
        k.mFrame.lfoDepth = 0.0f;
        k.mFrame.scatterSpeed = speed;
    }
    void step() {
        processScatter(k, *ch, mag.data(), phase.data(), outMag.data(), outPhase.data());
    }
};

TEST(Scatter, ReshufflesOnItsScheduleWithItsSwapCount) {
    struct Case {
        float speed;
        int every, swaps;
    };
    for (const Case& c : {Case{0.0f, 84, 1}, Case{0.5f, 44, 42}, Case{1.0f, 4, 83}}) {
        ScatterRig rig(c.speed);
        std::uint32_t state = rig.k.mRNGState;
        for (int frame = 1; frame <= 3 * c.every; ++frame) {
            rig.step();
            if (frame % c.every == 0) {
                for (int s = 0; s < 2 * c.swaps; ++s)
                    state = xorshift(state);
            }
            ASSERT_EQ(rig.k.mRNGState, state) << "speed " << c.speed << " frame " << frame;
        }
    }
}

TEST(Scatter, BorrowedMagnitudeLeansOffTowardTheTop) {
    // Before the first reshuffle the map is the identity: bin k keeps 1 - a of itself and
    // gets tilt * a of itself back, tilt falling from 1 below bin 342 to 0.5 at 1024.
    ScatterRig rig(0.5f);
    rig.step();
    const float a = 0.5f * 0.65f;
    EXPECT_NEAR(rig.outMag[0], 1.0f, 1e-6f);
    EXPECT_NEAR(rig.outMag[341], 1.0f, 1e-6f);
    EXPECT_NEAR(rig.outMag[683], (1.0f - a) + a * (1.0f - 0.5f * 342.0f / 683.0f), 1e-6f);
    EXPECT_NEAR(rig.outMag[1024], (1.0f - a) + a * 0.5f, 1e-6f);
    EXPECT_LT(rig.outMag[342], 1.0f);
    EXPECT_EQ(rig.outPhase[700], 0.25f) << "every bin keeps its own phase";
}

TEST(Scatter, TransientBinsAreNotScattered) {
    ScatterRig rig(1.0f);
    rig.k.mFrame.sensitivity = 1.0f;
    std::fill_n(rig.ch->binClassification, kNumBins, 0.0f);
    for (int f = 0; f < 40; ++f) {
        for (int b = 0; b < kNumBins; ++b)
            rig.mag[b] = static_cast<float>((b * 37 + f * 11) % 101);
        rig.step();
        ASSERT_TRUE(std::equal(rig.outMag.begin(), rig.outMag.end(), rig.k.mScratchDelayMag));
    }
    EXPECT_NE(std::vector<int>(rig.ch->scatterMap, rig.ch->scatterMap + kNumBins),
              identity(kNumBins))
        << "reshuffled meanwhile";
}

Channels scatterRender(ZerinExtensionDSPKernel& k, const Channels& in, float speed) {
    setParams(k, {{kMode, 2.0f}, {kScatterSpeed, speed}, {kDryWet, 100.0f}, {kFeedback, 40.0f}});
    EXPECT_TRUE(k.initialize(2, 44100.0));
    return render(k, in, 512);
}

TEST(Scatter, TwoKernelsFromConstructionSoundTheSame) {
    const Channels in = {noise(40000, 1), noise(40000, 2)};
    ZerinExtensionDSPKernel a, b, advanced;
    const Channels outA = scatterRender(a, in, 100.0f);
    EXPECT_EQ(scatterRender(b, in, 100.0f), outA);
    advanced.mRNGState = xorshift(kSeed);
    EXPECT_NE(scatterRender(advanced, in, 100.0f), outA) << "the seed matters";

    // The channels draw from one sequence, channel 0 first at every reshuffle.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, 2.0f}, {kScatterSpeed, 100.0f}});
    ASSERT_TRUE(k.initialize(2, 44100.0));
    render(k, {noise(4 * 512, 3), noise(4 * 512, 4)}, 512);
    std::uint32_t state = kSeed;
    std::vector<int> left = identity(kNumBins), right = identity(kNumBins);
    referenceShuffle(state, left, 83, 62);
    referenceShuffle(state, right, 83, 62);
    EXPECT_TRUE(std::equal(left.begin(), left.end(), k.mChannels[0]->scatterMap));
    EXPECT_TRUE(std::equal(right.begin(), right.end(), k.mChannels[1]->scatterMap));
}

TEST(Scatter, AtSpeedZeroItIsTheDelayMode) {
    const Channels in = {noise(30000, 5), noise(30000, 6)};
    for (float sensitivity : {0.0f, 70.0f}) {
        ZerinExtensionDSPKernel delay, scatter;
        delay.setParameter(kMode, 0.0f);
        for (auto* k : {&delay, &scatter})
            setParams(*k, {{kSensitivity, sensitivity}, {kLFODepth, 30.0f}});
        setParams(delay, {{kDryWet, 100.0f}, {kFeedback, 40.0f}});
        ASSERT_TRUE(delay.initialize(2, 44100.0));
        const Channels expected = render(delay, in, 512);
        EXPECT_EQ(scatterRender(scatter, in, 0.0f), expected) << sensitivity;
    }
}

TEST(Scatter, ChosenAgainItStartsFromTheIdentityWhileTheGeneratorRunsOn) {
    ZerinExtensionDSPKernel k;
    setParams(k, {{kMode, 2.0f}, {kScatterSpeed, 100.0f}});
    ASSERT_TRUE(k.initialize(1, 44100.0));
    render(k, {noise(10 * 512, 7)}, 512);
    ChannelState& ch = *k.mChannels[0];
    ASSERT_NE(std::vector<int>(ch.scatterMap, ch.scatterMap + kNumBins), identity(kNumBins));
    const std::uint32_t state = k.mRNGState;
    const int counter = ch.scatterHopCounter;
    ASSERT_GT(counter, 0);

    k.setParameter(kMode, 0.0f);
    render(k, {noise(512, 8)}, 512);
    EXPECT_EQ(std::vector<int>(ch.scatterMap, ch.scatterMap + kNumBins), identity(kNumBins));
    EXPECT_EQ(ch.scatterHopCounter, 0);
    EXPECT_EQ(k.mRNGState, state);

    // Back in scatter, the next reshuffle (four frames on) continues the sequence.
    k.setParameter(kMode, 2.0f);
    render(k, {noise(4 * 512, 9)}, 512);
    std::uint32_t next = state;
    std::vector<int> expected = identity(kNumBins);
    referenceShuffle(next, expected, 83, 62);
    EXPECT_EQ(k.mRNGState, next);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ch.scatterMap));
}

} // namespace
} // namespace zerin::test
