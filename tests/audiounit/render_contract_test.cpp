// The unit as a host meets it: allocation, the render block's refusals, in-place rendering,
// tempo, bypass, latency and reallocation.

#include "unit_host.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zerin::test {
namespace {

constexpr float kSentinel = 7.25f;

TEST(UnitAllocation, UnequalChannelCountsFailAndLeaveResourcesUnallocated) {
    const auto unit = makeUnit();
    setFormats(*unit, 44100.0, 1, 2);
    AUError error;
    EXPECT_FALSE(unit->allocateRenderResources(&error));
    EXPECT_EQ(error.code, kAudioUnitErr_FailedInitialization);
    EXPECT_EQ(error.domain, kOSStatusErrorDomain);
    EXPECT_FALSE(unit->renderResourcesAllocated());
    EXPECT_FALSE(unit->dspKernel().mInitialized);

    // Equal but more than stereo: the kernel would leave channels 3 and up unwritten, so
    // the unit keeps to its capabilities instead of rendering garbage there.
    setFormats(*unit, 44100.0, 3, 3);
    EXPECT_FALSE(unit->allocateRenderResources(&error));
    EXPECT_EQ(error.code, kAudioUnitErr_FailedInitialization);
    EXPECT_FALSE(unit->renderResourcesAllocated());

    setFormats(*unit, 44100.0, 1, 1);
    EXPECT_TRUE(unit->allocateRenderResources(&error)) << error.message;
    EXPECT_TRUE(unit->renderResourcesAllocated());
}

TEST(UnitAllocation, ReportsLatencyOfTheTrueLagTailAndCapabilities) {
    const auto unit = makeUnit();
    // Dry and wet both lag 2047 samples: a host that compensates 2048 would be a sample off.
    EXPECT_DOUBLE_EQ(unit->latency(), 2047.0 / 44100.0);
    setFormats(*unit, 48000.0, 2, 2);
    AUError error;
    ASSERT_TRUE(unit->allocateRenderResources(&error));
    EXPECT_DOUBLE_EQ(unit->latency(), 2047.0 / 48000.0);
    EXPECT_DOUBLE_EQ(unit->tailTime(), 2.5);
    EXPECT_EQ(unit->channelCapabilities(), (std::vector<int>{1, 1, 2, 2}));
    EXPECT_EQ(unit->maximumFramesToRender(), 1024u);
}

// Every refusal must come before the pull and before any output is written, and must leave
// the kernel where it was: the next good call renders as if the refused ones never happened.
TEST(RenderStatus, RefusalsWriteNothingAndAdvanceNothing) {
    Host host;
    Host fresh;
    Channels out(2, Signal(4096, kSentinel));
    AudioBufferList list = listOf(out, 2);
    int pulls = 0;
    const auto counting = pullOf([&pulls](AUAudioFrameCount, AudioBufferList*) {
        ++pulls;
        return AUAudioUnitStatus{0};
    });
    const auto failing = pullOf([](AUAudioFrameCount, AudioBufferList*) { return -50; });
    const auto leavesNull = pullOf([](AUAudioFrameCount, AudioBufferList* in) {
        in->mBuffers[1].mData = nullptr;
        return AUAudioUnitStatus{0};
    });

    EXPECT_EQ(host.render(list, 1025, &counting), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.render(list, 512, nullptr), kAudioUnitErr_NoConnection);
    EXPECT_EQ(host.render(list, 512, &failing), -50);
    EXPECT_EQ(host.render(list, 512, &leavesNull), kAudioUnitErr_NoConnection);
    // A host that raised the maximum without reallocating: the pull buffer still holds 1024.
    host.unit->setMaximumFramesToRender(4096);
    EXPECT_EQ(host.render(list, 2048, &counting), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(pulls, 0);
    EXPECT_EQ(out, Channels(2, Signal(4096, kSentinel)));

    const Channels input = noiseChannels(2, 4096, 1);
    EXPECT_EQ(host.run(input), fresh.run(input));
}

TEST(RenderInPlace, NullOutputDataRendersIntoTheInputBuffers) {
    Host host;
    const Channels input = noiseChannels(2, 3072, 2);
    const Channels expected = Host().run(input);
    // The host's pull points the list at its own memory, as a host may.
    Channels hostMemory(2, Signal(512));
    const auto pull = pullOf([&](AUAudioFrameCount frames, AudioBufferList* in) {
        for (int c = 0; c < 2; ++c) {
            std::copy_n(input[c].begin() + static_cast<long>(host.sampleTime), frames,
                        hostMemory[c].begin());
            in->mBuffers[c].mData = hostMemory[c].data();
        }
        return AUAudioUnitStatus{0};
    });
    for (long done = 0; done < 3072; done += 512) {
        AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = out.mBuffers[1] = {1, 512 * sizeof(float), nullptr};
        ASSERT_EQ(host.render(out, 512, &pull), 0);
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(out.mBuffers[c].mData, hostMemory[c].data());
            ASSERT_TRUE(
                std::equal(hostMemory[c].begin(), hostMemory[c].end(), expected[c].begin() + done));
        }
    }
}

TEST(RenderInPlace, FewerOutputBuffersThanChannelsRenderTheSharedOnes) {
    Host host;
    const Channels input = noiseChannels(2, 2048, 3);
    const Channels expected = Host().run(input);
    Channels out(1, Signal(512));
    for (std::size_t done = 0; done < 2048; done += 512) {
        AudioBufferList list = listOf(out, 1);
        const AURenderPullInputBlock pull = copyingPull(input, done);
        ASSERT_EQ(host.render(list, 512, &pull), 0);
        ASSERT_TRUE(std::equal(out[0].begin(), out[0].end(),
                               expected[0].begin() + static_cast<long>(done)));
    }
}

TEST(RenderTempo, MusicalContextIsReadOnceAtFetchAndOnlyWhenItAnswers) {
    const Channels input = noiseChannels(2, 512, 4);
    Channels out;

    Host none;
    ASSERT_EQ(none.call(input, 0, 512, out), 0);
    EXPECT_EQ(none.unit->dspKernel().mHostTempo.load(), 120.0);

    Host host;
    bool answer = true;
    host.unit->setMusicalContextBlock([&answer](double* tempo, double* num, std::int64_t* den,
                                                double* beat, std::int64_t* offset,
                                                double* downbeat) {
        EXPECT_TRUE(tempo != nullptr && !num && !den && !beat && !offset && !downbeat);
        *tempo = 93.5;
        return answer;
    });
    // The block fetched before the context was set never consults it.
    ASSERT_EQ(host.call(input, 0, 512, out), 0);
    EXPECT_EQ(host.unit->dspKernel().mHostTempo.load(), 120.0);

    host.block = host.unit->internalRenderBlock();
    ASSERT_EQ(host.call(input, 0, 512, out), 0);
    EXPECT_EQ(host.unit->dspKernel().mHostTempo.load(), 93.5);

    host.unit->dspKernel().mHostTempo.store(100.0);
    answer = false;
    ASSERT_EQ(host.call(input, 0, 512, out), 0);
    EXPECT_EQ(host.unit->dspKernel().mHostTempo.load(), 100.0);
}

TEST(RenderBypass, CopiesInputSampleForSampleWithNoLatency) {
    Host host;
    host.unit->setShouldBypassEffect(true);
    EXPECT_TRUE(host.unit->shouldBypassEffect());
    const Channels input = noiseChannels(2, 2048, 5);
    EXPECT_EQ(host.run(input), input);
}

// An impulse through the dry path (mix 0, set before allocation so the mix smoother starts
// there) comes out 2047 samples late at exactly its own height; through the wet path with a
// zero-delay curve, at about 8/3 of it.
void expectImpulseAt2047(Host& host, float gain, float tolerance) {
    Channels input(host.channels, Signal(4096, 0.0f));
    for (Signal& s : input)
        s[100] = 0.5f;
    const Channels out = host.run(input);
    for (const Signal& s : out) {
        EXPECT_NEAR(s[2147], 0.5f * gain, 0.5f * gain * tolerance);
        for (std::size_t i = 0; i < s.size(); ++i)
            if (i != 2147) {
                ASSERT_NEAR(s[i], 0.0f, tolerance) << i;
            }
    }
}

void reallocate(Host& host, double rate, int channels, float mix) {
    host.unit->deallocateRenderResources();
    EXPECT_FALSE(host.unit->renderResourcesAllocated());
    param(*host.unit, "dryWet").setValue(mix);
    setFormats(*host.unit, rate, channels, channels);
    AUError error;
    ASSERT_TRUE(host.unit->allocateRenderResources(&error)) << error.message;
    host.block = host.unit->internalRenderBlock();
    host.channels = channels;
    EXPECT_DOUBLE_EQ(host.unit->latency(), 2047.0 / rate);
}

TEST(RenderReallocation, AnotherRateAndChannelCountRendersCorrectly) {
    Host host(44100.0, 2, {{"feedback", 0.0f}, {"lfoDepth", 0.0f}});
    host.unit->setSpectralCurve({{20.0f, 0.0f}, {20000.0f, 0.0f}});
    host.run(noiseChannels(2, 8192, 6));

    reallocate(host, 96000.0, 1, 0.0f);
    expectImpulseAt2047(host, 1.0f, 0.0f);
    reallocate(host, 48000.0, 2, 100.0f);
    expectImpulseAt2047(host, 8.0f / 3.0f, 2e-3f);
}

} // namespace
} // namespace zerin::test
