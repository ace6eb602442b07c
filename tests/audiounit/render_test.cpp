// The unit as a host meets it: refusals, in place, tempo, bypass, events, (re)allocation.

#include "unit_host.h"

#include <cmath>

namespace zerin::test {
namespace {

// A refused call leaves the output untouched and the kernel where it was.
TEST(RenderStatus, RefusalsWriteNothingAndAdvanceNothing) {
    Host host, fresh;
    Channels out(2, std::vector<float>(4096, 7.25f));
    const Channels untouched = out;
    AudioBufferList list = listOf(out), halfMissing = listOf(out);
    halfMissing.mBuffers[1].mData = nullptr;
    int pulls = 0;
    const auto counting = pullOf([&pulls](AUAudioFrameCount, AudioBufferList*) {
        ++pulls;
        return 0;
    });
    const auto serving = pullOf([](AUAudioFrameCount, AudioBufferList*) { return 0; });
    const auto failing = pullOf([](AUAudioFrameCount, AudioBufferList*) { return -50; });
    const auto leavesNull = pullOf([](AUAudioFrameCount, AudioBufferList* in) {
        in->mBuffers[1].mData = nullptr;
        return 0;
    });
    const AURenderPullInputBlock empty;

    host.unit->setMaximumFramesToRender(512);
    EXPECT_EQ(host.render(list, 513, &counting), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.render(list, 512, nullptr), kAudioUnitErr_NoConnection);
    EXPECT_EQ(host.render(list, 512, &empty), kAudioUnitErr_NoConnection);
    EXPECT_EQ(host.render(list, 512, &failing), -50);
    EXPECT_EQ(host.render(list, 512, &leavesNull), kAudioUnitErr_NoConnection);
    EXPECT_EQ(host.render(halfMissing, 512, &serving), kAudioUnitErr_NoConnection);
    // A host that raised the maximum without reallocating: the pull buffer still holds 1024.
    host.unit->setMaximumFramesToRender(4096);
    EXPECT_EQ(host.render(list, 2048, &counting), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(pulls, 0);
    EXPECT_EQ(out, untouched);
    const Channels input = noise(2, 4096, 1);
    EXPECT_EQ(host.run(input), fresh.run(input));
}

TEST(RenderTempo, TheContextIsTakenAtFetchAndReadOnlyWhenItAnswers) {
    Host host;
    bool answer = true;
    double reported = 93.5;
    host.unit->setMusicalContextBlock(
        [&](double* tempo, double*, std::int64_t*, double*, std::int64_t*, double*) {
            *tempo = reported;
            return answer;
        });
    const Channels input = noise(2, 4 * 512, 3); // a block for each call below
    auto tempoAfterACall = [&] {
        Channels out;
        EXPECT_EQ(host.call(input, 512, out), 0);
        return host.unit->dspKernel().hostTempo();
    };
    EXPECT_EQ(tempoAfterACall(), 120.0); // the block fetched before the context never asks
    host.block = host.unit->internalRenderBlock();
    EXPECT_EQ(tempoAfterACall(), 93.5);
    host.unit->dspKernel().setHostTempo(100.0);
    answer = false;
    EXPECT_EQ(tempoAfterACall(), 100.0);
}

// In place, a null output renders into the host's buffers the pull pointed at.
TEST(RenderPaths, InPlaceRendersWhatSeparateBuffersWould) {
    const Channels input = noise(2, 6000, 2);
    Host inPlace;
    inPlace.inPlace = true;
    EXPECT_EQ(inPlace.run(input), Host().run(input));
}

// Events inside a call against a twin driven by its tree between calls cut at their frames:
// the two agree to the bit.
constexpr AUEventSampleTime kWarmup = 4096; // past the latency: every sample carries signal
constexpr AUEventSampleTime kCall = 512;

struct Event {            // for the twin, a change through its tree before frame `at`
    AUEventSampleTime at; // from the call's first frame
    const char* id;
    float value;
    AURenderEventType type = AURenderEventParameter;
};

TEST(RenderEvents, ApplyAtTheirFrameInListOrderAndNoneIsLost) {
    const std::tuple<const char*, std::vector<Event>, std::vector<Event>> cases[] = {
        {"at frame 0", {{0, "outputGain", -24}}, {{0, "outputGain", -24}}},
        {"at frame 1", {{1, "outputGain", -24}}, {{1, "outputGain", -24}}},
        {"at frame 100", {{100, "dryWet", 0}}, {{100, "dryWet", 0}}},
        {"at the last frame", {{511, "outputGain", -24}}, {{511, "outputGain", -24}}},
        {"one time, in list order",
         {{200, "outputGain", -24}, {200, "dryWet", 0}, {200, "outputGain", -6}},
         {{200, "dryWet", 0}, {200, "outputGain", -6}}},
        {"before the call", {{-3000, "outputGain", -12}}, {{0, "outputGain", -12}}},
        {"at and after the end",
         {{512, "outputGain", -24}, {800, "outputGain", -12}, {900, "outputGain", -6}},
         {{512, "outputGain", -6}}},
        {"ramp and MIDI",
         {{64, "outputGain", -24, AURenderEventParameterRamp},
          {65, "dryWet", 0, AURenderEventMIDI}},
         {}},
    };
    const Channels input = noise(2, kWarmup + kCall, 11);
    for (const auto& [name, list, changes] : cases) {
        SCOPED_TRACE(name);
        Host evented, twin;
        Channels out, expected;
        for (Host* host : {&evented, &twin})
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(host->call(input, kWarmup / 4, out), 0);

        std::vector<AURenderEvent> events(list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Event& e = list[i];
            const AUParameterAddress address = param(*evented.unit, e.id).address();
            events[i] = {nullptr, kWarmup + e.at, e.type, address, e.value, 128};
            if (i > 0) events[i - 1].next = &events[i];
        }
        out.clear();
        evented.sampleTime += 0.75; // a fractional time stamp truncates to the call's start
        ASSERT_EQ(evented.call(input, kCall, out, events.data()), 0);

        auto twinTo = [&](AUEventSampleTime frame) {
            const auto done = static_cast<AUEventSampleTime>(twin.sampleTime) - kWarmup;
            EXPECT_EQ(frame > done ? twin.call(input, frame - done, expected) : 0, 0);
        };
        for (const Event& change : changes) {
            twinTo(change.at);
            param(*twin.unit, change.id).setValue(change.value);
        }
        twinTo(kCall);
        EXPECT_EQ(out, expected);
        // Where the next call starts from.
        for (const AUParameter* p : twin.unit->parameterTree()->parameters())
            EXPECT_EQ(param(*evented.unit, p->identifier()).value(), p->value()) << p->identifier();
    }

    // A call of no frames applies nothing.
    Host host;
    const AURenderEvent gain = {nullptr, 0, AURenderEventParameter, 1, -24.0f, 0};
    Channels out;
    EXPECT_EQ(host.call(input, 0, out, &gain), 0);
    EXPECT_EQ(param(*host.unit, "outputGain").value(), 0.0f);
}

TEST(UnitAllocation, MonoOrStereoInAndOutAtAnyRateWithTheTrueLag) {
    Host host;
    // Dry and wet both lag 2047 samples: a host compensating 2048 would be a sample off.
    EXPECT_DOUBLE_EQ(host.unit->latency(), 2047.0 / 44100.0);
    EXPECT_DOUBLE_EQ(host.unit->tailTime(), 2.5);
    EXPECT_EQ(host.unit->channelCapabilities(), (std::vector<int>{1, 1, 2, 2}));
    host.run(noise(2, 8192, 5));
    // More than stereo would leave channels 3 and up unwritten.
    for (const auto& [in, out] : {std::pair{1u, 2u}, {2u, 1u}, {3u, 3u}}) {
        host.unit->deallocateRenderResources();
        ASSERT_TRUE(setFormats(*host.unit, 44100.0, in, out));
        AUError error;
        EXPECT_FALSE(host.unit->allocateRenderResources(&error)) << in << " to " << out;
        EXPECT_EQ(error.code, kAudioUnitErr_FailedInitialization);
        EXPECT_FALSE(host.unit->renderResourcesAllocated());
    }
    // Reallocated, the unit renders as a fresh one would: nothing of the last run is left.
    for (const auto& [rate, channels] : {std::pair{96000.0, 1}, {48000.0, 2}}) {
        host.allocate(rate, channels);
        EXPECT_DOUBLE_EQ(host.unit->latency(), 2047.0 / rate);
        const Channels input = noise(channels, 8192, 6);
        EXPECT_EQ(host.run(input), Host(rate, channels).run(input)) << rate;
    }
    // The lag of each frame size, from allocation on.
    for (int index = 0; index < kFFTSizeCount; ++index) {
        host.unit->deallocateRenderResources();
        param(*host.unit, "fftSize").setValue(static_cast<float>(index));
        host.allocate(48000.0, 2);
        EXPECT_DOUBLE_EQ(host.unit->latency(), (kFFTSizes[index] - 1) / 48000.0);
    }
}

} // namespace
} // namespace zerin::test
