// Parameter events inside a render call: the call is cut at each event's sample, events at
// one time apply in list order, early ones before the first frame, late ones after the last.
//
// Every case compares a unit driven by events against a twin driven by the tree between
// separate calls; the kernel's output does not depend on how calls are cut, so the two must
// agree to the bit.

#include "unit_host.h"

#include <gtest/gtest.h>

namespace zerin::test {
namespace {

constexpr std::size_t kWarmup = 4096;
constexpr AUAudioFrameCount kCall = 512;

struct Twins {
    Host evented;
    Host reference;
    Channels input = noiseChannels(2, kWarmup + 3 * kCall, 11);

    Twins() {
        // Past the latency, so every output sample carries signal an event can change.
        const Channels warmup = {Signal(input[0].begin(), input[0].begin() + kWarmup),
                                 Signal(input[1].begin(), input[1].begin() + kWarmup)};
        evented.run(warmup, 1024);
        reference.run(warmup, 1024);
    }
    Channels callEvented(const AURenderEvent* events, double stampOffset = 0.0) {
        Channels out;
        const double at = evented.sampleTime;
        evented.sampleTime += stampOffset;
        EXPECT_EQ(evented.call(input, static_cast<std::size_t>(at), kCall, out, events), 0);
        evented.sampleTime = at + kCall;
        return out;
    }
    // The reference renders `frames` frames, then the caller may change its tree.
    Channels callReference(AUAudioFrameCount frames) {
        Channels out;
        EXPECT_EQ(
            reference.call(input, static_cast<std::size_t>(reference.sampleTime), frames, out), 0);
        return out;
    }
    void set(const char* id, float value) { param(*reference.unit, id).setValue(value); }
};

AURenderEvent event(AUEventSampleTime at, const char* id, float value,
                    AURenderEventType type = AURenderEventParameter) {
    AURenderEvent e;
    e.eventSampleTime = at;
    e.eventType = type;
    e.parameterAddress = addressOf(id);
    e.value = value;
    return e;
}

Channels joined(const Channels& a, const Channels& b) {
    Channels out = a;
    for (std::size_t c = 0; c < out.size(); ++c)
        out[c].insert(out[c].end(), b[c].begin(), b[c].end());
    return out;
}

TEST(RenderEvents, AnEventAtFrameKChangesTheOutputFromFrameKOn) {
    for (const AUAudioFrameCount k : {0u, 1u, 100u, 511u}) {
        Twins t;
        const auto start = static_cast<AUEventSampleTime>(t.evented.sampleTime);
        const AURenderEvent gain = event(start + k, "outputGain", -24.0f);
        // A fractional time stamp truncates: the call still starts at `start`.
        const Channels out = t.callEvented(&gain, 0.75);
        const Channels before = t.callReference(k);
        t.set("outputGain", -24.0f);
        const Channels expected = joined(before, t.callReference(kCall - k));
        EXPECT_EQ(out, expected) << "event at " << k;
    }
}

TEST(RenderEvents, EventsAtOneTimeAllApplyInListOrder) {
    Twins t;
    const auto at = static_cast<AUEventSampleTime>(t.evented.sampleTime) + 200;
    AURenderEvent events[] = {event(at, "outputGain", -24.0f), event(at, "dryWet", 0.0f),
                              event(at, "outputGain", -6.0f)};
    events[0].next = &events[1];
    events[1].next = &events[2];
    const Channels out = t.callEvented(events);
    const Channels before = t.callReference(200);
    t.set("dryWet", 0.0f);
    t.set("outputGain", -6.0f);
    EXPECT_EQ(out, joined(before, t.callReference(kCall - 200)));
    EXPECT_EQ(param(*t.evented.unit, "outputGain").value(), -6.0f);
}

TEST(RenderEvents, AnEventBeforeTheCallAppliesBeforeItsFirstFrame) {
    Twins t;
    const AURenderEvent late = event(1000, "outputGain", -12.0f);
    const Channels out = t.callEvented(&late);
    t.set("outputGain", -12.0f);
    EXPECT_EQ(out, t.callReference(kCall));
}

TEST(RenderEvents, EventsAtOrAfterTheEndApplyAfterTheLastSample) {
    Twins t;
    const auto end = static_cast<AUEventSampleTime>(t.evented.sampleTime) + kCall;
    AURenderEvent events[] = {event(end, "outputGain", -24.0f),
                              event(end + 300, "outputGain", -6.0f)};
    events[0].next = &events[1];
    const Channels out = t.callEvented(events);
    EXPECT_EQ(out, t.callReference(kCall));
    // Neither event may be lost: the later one decides the value the next call starts with.
    EXPECT_EQ(param(*t.evented.unit, "outputGain").value(), -6.0f);
    t.set("outputGain", -6.0f);
    EXPECT_EQ(t.callEvented(nullptr), t.callReference(kCall));
}

TEST(RenderEvents, RampAndMidiEventsHaveNoEffect) {
    Twins t;
    const auto at = static_cast<AUEventSampleTime>(t.evented.sampleTime) + 64;
    AURenderEvent events[] = {event(at, "outputGain", -24.0f, AURenderEventParameterRamp),
                              event(at + 1, "dryWet", 0.0f, AURenderEventMIDI)};
    events[0].rampDurationSampleFrames = 128;
    events[0].next = &events[1];
    EXPECT_EQ(t.callEvented(events), t.callReference(kCall));
    EXPECT_EQ(param(*t.evented.unit, "outputGain").value(), 0.0f);
    EXPECT_EQ(param(*t.evented.unit, "dryWet").value(), 50.0f);
}

TEST(RenderEvents, AnEmptyCallAppliesNothing) {
    Twins t;
    const AURenderEvent gain = event(0, "outputGain", -24.0f);
    Channels out;
    EXPECT_EQ(t.evented.call(t.input, 0, 0, out, &gain), 0);
    EXPECT_EQ(param(*t.evented.unit, "outputGain").value(), 0.0f);
}

} // namespace
} // namespace zerin::test
