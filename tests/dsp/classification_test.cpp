// The transient/tonal rating and the snapshot the editor polls.

#include "kernel_test_support.h"

#include <gtest/gtest.h>

namespace zerin::test {
namespace {

struct Rating : ::testing::Test {
    ZerinExtensionDSPKernel k;
    ChannelState* ch = nullptr;
    Signal mag = Signal(kNumBins, 0.0f);
    void SetUp() override {
        ASSERT_TRUE(k.initialize(1, 44100.0));
        ch = k.mChannels[0];
    }
    void frame() { updateClassification(*ch, mag.data()); }
    int binsAt(float value) const {
        return static_cast<int>(
            std::count(ch->binClassification, ch->binClassification + kNumBins, value));
    }
};

TEST_F(Rating, EvenRisesAndSilenceLeaveEveryBinTonal) {
    frame(); // silence
    std::fill(mag.begin(), mag.end(), 1.0f);
    frame(); // every bin takes 1/1025 of the rise, under three times the average
    frame(); // steady
    EXPECT_EQ(binsAt(1.0f), kNumBins);
}

TEST_F(Rating, ALoneRisingBinDecaysEachFrameThenRecovers) {
    float expected = 1.0f;
    for (int f = 1; f <= 30; ++f) {
        mag[40] = static_cast<float>(f);
        frame();
        expected *= 0.85f;
        ASSERT_EQ(ch->binClassification[40], expected) << f;
        ASSERT_EQ(binsAt(1.0f), kNumBins - 1);
    }
    // Steady again: back toward 1 by the same one-pole average, never beyond.
    float previous = expected;
    for (int f = 0; f < 200; ++f) {
        frame();
        const float r = ch->binClassification[40];
        ASSERT_GE(r, previous);
        ASSERT_LE(r, 1.0f);
        previous = r;
    }
    EXPECT_NEAR(previous, 1.0f, 1e-6f);
}

TEST_F(Rating, TransientMeansMoreThanThreeTimesTheAverageShareOfTheRise) {
    std::fill(mag.begin(), mag.end(), 10.0f);
    frame();
    std::fill(mag.begin(), mag.end(), 11.0f);
    mag[100] = 14.0f; // 4 of a total rise of 1029: 3.99 times the average share
    mag[200] = 13.0f; // 3 of 1029: 2.99 times
    mag[300] = 5.0f;  // falls: no rise
    frame();
    EXPECT_EQ(ch->binClassification[100], 0.85f);
    EXPECT_EQ(ch->binClassification[200], 1.0f);
    EXPECT_EQ(ch->binClassification[300], 1.0f);
    EXPECT_EQ(binsAt(1.0f), kNumBins - 1);
}

TEST(Snapshot, PublishesChannelZerosLatestRatingsOnlyWhileSensitive) {
    ZerinExtensionDSPKernel k;
    ASSERT_TRUE(k.initialize(2, 44100.0));
    const Signal quiet(8192, 0.0f);
    const Signal bursts = sentinelTones(8192, 16 * kHopSize - 2048);
    Signal got(kNumBins);

    render(k, {quiet, bursts}, 512);
    EXPECT_FALSE(k.classificationSnapshotReady()) << "sensitivity 0 rates nothing";
    EXPECT_FALSE(k.takeClassificationSnapshot(got.data()));

    k.setParameter(kSensitivity, 100.0f);
    render(k, {quiet, bursts}, 512);
    ASSERT_TRUE(k.takeClassificationSnapshot(got.data()));
    EXPECT_EQ(got, Signal(kNumBins, 1.0f)) << "channel 0 heard nothing";
    EXPECT_LT(k.mChannels[1]->binClassification[kSentinelBins[0]], 1.0f);
    EXPECT_FALSE(k.takeClassificationSnapshot(got.data())) << "taken once";

    render(k, {bursts, quiet}, 512);
    ASSERT_TRUE(k.takeClassificationSnapshot(got.data()));
    const ChannelState& left = *k.mChannels[0];
    EXPECT_TRUE(std::equal(got.begin(), got.end(), left.binClassification)) << "the newest";
    for (float r : got) {
        ASSERT_GE(r, 0.0f);
        ASSERT_LE(r, 1.0f);
    }
}

TEST(Snapshot, SentinelTonesGiveEveryFrameOneRatingAtTheSentinels) {
    // The property the thread test relies on to spot a snapshot that mixes two frames.
    ZerinExtensionDSPKernel k;
    setParams(k, {{kSensitivity, 50.0f}});
    ASSERT_TRUE(k.initialize(1, 44100.0));
    const Signal in = sentinelTones(80 * kHopSize);
    Signal got(kNumBins);
    float last = -1.0f;
    int changes = 0;
    for (std::size_t at = 0; at < in.size(); at += kHopSize) {
        render(k, {Signal(in.begin() + at, in.begin() + at + kHopSize)}, kHopSize);
        ASSERT_TRUE(k.takeClassificationSnapshot(got.data()));
        for (int bin : kSentinelBins)
            ASSERT_EQ(got[bin], got[kSentinelBins[0]]) << "frame " << at / kHopSize;
        changes += got[kSentinelBins[0]] != last ? 1 : 0;
        last = got[kSentinelBins[0]];
    }
    EXPECT_GT(changes, 60) << "consecutive frames must rate the sentinels differently";
}

} // namespace
} // namespace zerin::test
