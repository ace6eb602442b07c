// The render block (and a kernel never initialised) never touches the heap, whatever events
// arrive and whatever the host thread changes between calls; only the calls are counted. The
// counter first proves it sees every kind of allocation.

#include "dsp/fft.h"
#include "dsp/kernel.h"
#include "support/heap_counter.h"
#include "unit_host.h"

namespace zerin::test {
namespace {

constexpr AUAudioFrameCount kMaxFrames = 4096;

TEST(AllocationCounter, SeesEveryKindOfAllocationAndRelease) {
    EXPECT_EQ(heapCalls([] { delete[] escape(new int[10]); }), 2);
    EXPECT_EQ(heapCalls([] { std::free(escape(std::calloc(3, 8))); }), 2);
    EXPECT_EQ(heapCalls([] { escape(std::vector<float>(100).data()); }), 2);
#if !defined(__SANITIZE_THREAD__) // whose runtime (GCC 12) hooks no aligned allocation
    EXPECT_EQ(heapCalls([] { freeFloats(escape(allocateFloats(100))); }), 2);
    struct alignas(64) Wide {
        float v[16];
    };
    EXPECT_EQ(heapCalls([] { delete escape(new Wide); }), 2);
#endif
}

// One call's event list, sorted by sample time as hosts send it: a late event from before
// the call, several on its first frame, a ramp (which the unit does not ramp), one on the
// last frame, and some after it, which apply once the call has rendered.
std::vector<AURenderEvent> eventsFor(AUEventSampleTime start, AUAudioFrameCount frames, int call) {
    const auto at = [](const char* id) { return parameterSpec(id)->address; };
    const auto v = static_cast<float>(call % 11);
    const AUEventSampleTime end = start + frames;
    std::vector<AURenderEvent> events = {
        {nullptr, start - 5, AURenderEventParameter, at("outputGain"), -v, 0},
        {nullptr, start, AURenderEventParameter, at("dryWet"), 30.0f + 5.0f * v, 0},
        {nullptr, start, AURenderEventParameter, at("mode"), static_cast<float>(call % 3), 0},
        {nullptr, start, AURenderEventParameter, at("feedback"), 90.0f - v, 0},
        // A new frame size every few calls: the old frames fade out, the new ones take over.
        {nullptr, start, AURenderEventParameter, at("fftSize"), static_cast<float>(call / 7 % 5),
         0},
        {nullptr, start + frames / 2, AURenderEventParameterRamp, at("inputGain"), v, frames / 2},
        {nullptr, start + frames / 2, AURenderEventMIDI, 0, 0.0f, 0},
        {nullptr, end - 1, AURenderEventParameter, at("scatterSpeed"), 10.0f * v, 0},
        {nullptr, end, AURenderEventParameter, at("lfoDepth"), 9.0f * v, 0},
        {nullptr, end + 700, AURenderEventParameter, at("mode"), static_cast<float>(call % 4), 0}};
    for (std::size_t i = 0; i + 1 < events.size(); ++i)
        events[i].next = &events[i + 1];
    return events;
}

TEST(RealTime, TheRenderBlockNeverTouchesTheHeap) {
    std::vector<float> from(1024, 0.5f), to(1024);
    const float* in[] = {from.data(), from.data()};
    float* out[] = {to.data(), to.data()};
    ZerinExtensionDSPKernel idle; // never initialised: a plain copy
    EXPECT_EQ(heapCalls([&] { idle.process(in, 2, out, 2, 1024); }), 0);
    const CurvePoints curves[] = {{{30.0f, 100.0f}, {800.0f, 1900.0f}, {9000.0f, 40.0f}},
                                  {{20.0f, 500.0f}, {2000.0f, 20.0f}, {20000.0f, 1200.0f}}};
    const AUAudioFrameCount sizes[] = {1, 63, 512, kMaxFrames};
    for (const std::uint32_t channels : {1u, 2u}) {
        const auto unit = makeUnit();
        unit->setMaximumFramesToRender(kMaxFrames);
        unit->setMusicalContextBlock(
            [](double* tempo, double*, std::int64_t*, double*, std::int64_t*, double*) {
                *tempo = 96.0;
                return true;
            });
        param(*unit, "tempoSync").setValue(1.0f);
        ASSERT_TRUE(setFormats(*unit, 48000.0, channels, channels));
        AUError error;
        ASSERT_TRUE(unit->allocateRenderResources(&error)) << error.message;
        const AUInternalRenderBlock block = unit->internalRenderBlock();

        const Channels input = noise(static_cast<int>(channels), kMaxFrames, channels);
        Channels output = input, hostInput = input;
        bool inPlace = false;
        // In place, the host points the input at its own memory and the unit renders there.
        const AURenderPullInputBlock pull = [&](AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                                AUAudioFrameCount frames, std::int64_t,
                                                AudioBufferList* in) {
            for (std::uint32_t c = 0; c < in->mNumberBuffers; ++c) {
                if (inPlace) in->mBuffers[c].mData = hostInput[c].data();
                std::copy_n(input[c].data(), frames, static_cast<float*>(in->mBuffers[c].mData));
            }
            return AUAudioUnitStatus{0};
        };

        AudioTimeStamp stamp;
        for (int call = 0; call < 192; ++call) {
            // The host thread's side, between calls.
            switch (call % 6) {
                case 0:
                    param(*unit, "mode").setValue(static_cast<float>(call / 6 % 3));
                    param(*unit, "sourceSensitivity").setValue(call % 12 == 0 ? 70.0f : 0.0f);
                    break;
                case 1:
                    unit->setCurve(CurveSlot::a, CurveKind::delay, curves[call / 6 % 2]);
                    break;
                case 2:
                    unit->setCurrentPreset(unit->factoryPresets()[call / 6 % 4]);
                    break;
                case 3:
                    unit->setShouldBypassEffect(call % 4 == 1);
                    break;
                case 4:
                    param(*unit, "outputGain").setValue(static_cast<float>(call % 13) - 6.0f);
                    unit->takeFrame(DisplayFrameKind::classification);
                    break;
                default:
                    unit->setShouldBypassEffect(false);
            }
            inPlace = call % 5 < 2;
            const AUAudioFrameCount frames = sizes[call % 4];
            const std::vector<AURenderEvent> events =
                eventsFor(static_cast<AUEventSampleTime>(stamp.mSampleTime), frames, call);
            AudioBufferList list = listOf(output);
            for (std::uint32_t c = 0; c < channels && inPlace; ++c)
                list.mBuffers[c].mData = nullptr;
            AudioUnitRenderActionFlags flags = 0;
            AUAudioUnitStatus status = -1;
            EXPECT_EQ(heapCalls([&] {
                          status = block(&flags, &stamp, frames, 0, &list, events.data(), &pull);
                      }),
                      0)
                << channels << " channels, call " << call << ": " << frames << " frames"
                << (inPlace ? ", in place" : "");
            ASSERT_EQ(status, 0) << "call " << call; // a refused call would prove nothing
            stamp.mSampleTime += frames;
        }
    }
}

} // namespace
} // namespace zerin::test
