// From the curve set and the macros to what every bin hears: its delay in hops and its share
// of the Feedback knob. The work is done only when something it depends on changed, so that
// curves and macros at rest cost a frame nothing.

#include "dsp/kernel.h"
#include "dsp/note_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zerin {

namespace {

constexpr float kMaxDelayHops = 255.0f;

// The macros glide with a time constant of 30 ms and a delay snapped to a new tempo with one
// of 100 ms, taken a frame at a time; each lands on its target once within these of it.
constexpr double kMacroSeconds = 0.03;
constexpr double kGlideSeconds = 0.1;
constexpr float kMorphLanding = 1e-4f; // of the A..B range
constexpr float kScaleLanding = 1e-4f; // of the delay
constexpr float kShiftLanding = 1e-3f; // semitones
constexpr float kGlideLanding = 1e-3f; // hops

float relaxed(const std::atomic<float>& v) {
    return v.load(std::memory_order_relaxed);
}

// One frame of a one-pole glide towards `target`, landing on it when close; true if `value`
// moved.
bool glide(float& value, float target, float coefficient, float landing, bool snap) {
    if (value == target) return false;
    const float next = std::fma(coefficient, target - value, value);
    value = snap || std::fabs(target - next) <= landing ? target : next;
    return true;
}

float frameCoefficient(double sampleRate, double seconds) {
    return static_cast<float>(1.0 - std::exp(-kHopSize / (sampleRate * seconds)));
}

// A delay curve with each point's value moved to the nearest note value at `bpm`.
void snapToNotes(CurveData& curve, double bpm) {
    for (int i = 0; i < curve.count; ++i) {
        const float ms = curve.points[i].value;
        const int note = nearestNoteValue(ms, bpm, kMaxCurveDelayMs);
        curve.points[i].value = static_cast<float>(noteValues()[note].ms(bpm));
    }
}

} // namespace

void ZerinExtensionDSPKernel::evaluateSlots() noexcept {
    const CurveSet& set = currentSet();
    const float rate = static_cast<float>(mSampleRate);
    // Moving the curves up by s semitones hears at f what they held at f / 2^(s/12).
    const float shift = mShaping.shift;
    const float toCurve = shift == 0.0f ? 1.0f : std::exp2(-shift / 12.0f);
    for (int s = 0; s < kCurveSlotCount; ++s) {
        const auto slot = static_cast<CurveSlot>(s);
        float* delayMs = mSlotDelayMs + s * kBinStride;
        float* feedback = mSlotFeedback + s * kBinStride;
        if (s == 1 &&
            sameCurve(set.at(slot, CurveKind::delay), set.at(CurveSlot::a, CurveKind::delay)) &&
            sameCurve(set.at(slot, CurveKind::feedback),
                      set.at(CurveSlot::a, CurveKind::feedback))) {
            std::memcpy(delayMs, mSlotDelayMs, sizeof(float) * kNumBins);
            std::memcpy(feedback, mSlotFeedback, sizeof(float) * kNumBins);
            continue;
        }
        CurveData delays = set.at(slot, CurveKind::delay);
        if (mShaping.sync) snapToNotes(delays, mShaping.syncTempo);
        const CurveData& shares = set.at(slot, CurveKind::feedback);
        for (int k = 0; k < kNumBins; ++k) {
            float f = (static_cast<float>(k) * rate) * kInverseFFTSize;
            if (toCurve != 1.0f) f *= toCurve;
            if (f < 1.0f) f = 1.0f;
            delayMs[k] = evaluateCurve(delays, f, CurveKind::delay);
            // The ends of a curve are its points' values, which only the interior clamps.
            const float share = evaluateCurve(shares, f, CurveKind::feedback) * 0.01f;
            feedback[k] = share > 0.0f ? (share < 1.0f ? share : 1.0f) : 0.0f;
        }
    }
}

void ZerinExtensionDSPKernel::combineSlots() noexcept {
    const float m = mShaping.morph;
    const float scale = mShaping.scale;
    const float hopSeconds = static_cast<float>(kHopSize) / static_cast<float>(mSampleRate);
    const float* delayA = mSlotDelayMs;
    const float* delayB = mSlotDelayMs + kBinStride;
    const float* shareA = mSlotFeedback;
    const float* shareB = mSlotFeedback + kBinStride;
    int flat = 1; // an int, so that the loop vectorises
    for (int k = 0; k < kNumBins; ++k) {
        // At 0 and 1 the blend is exactly one slot's value.
        float ms = std::fma(m, delayB[k], (1.0f - m) * delayA[k]) * scale;
        ms = ms < kMaxCurveDelayMs ? ms : kMaxCurveDelayMs;
        float hops = (ms / 1000.0f) / hopSeconds;
        hops = hops > kMaxDelayHops ? kMaxDelayHops : hops;
        mTargetDelayHops[k] = hops > 0.0f ? hops : 0.0f;
        const float share = std::fma(m, shareB[k], (1.0f - m) * shareA[k]);
        mBinFeedbackWeights[k] = share;
        flat &= share == 1.0f ? 1 : 0;
    }
    mShaping.feedbackFlat = flat != 0;
}

void ZerinExtensionDSPKernel::shapeCurves(bool snap) noexcept {
    if (mBinDelayHops == nullptr) return;
    CurveShaping& s = mShaping;
    const float morph = std::clamp(relaxed(mMorph), 0.0f, 1.0f);
    const float scale = std::clamp(relaxed(mCurveScale), 0.0f, 2.0f);
    const float shift = std::clamp(relaxed(mCurveShift), -24.0f, 24.0f);
    const bool sync = mDelaySync.load(std::memory_order_relaxed);
    const double tempo = sync ? hostTempo() : 0.0;
    // A new tempo or a change of sync moves the snapped delays, which glide there.
    if (sync != s.sync || tempo != s.syncTempo) {
        s.sync = sync;
        s.syncTempo = tempo;
        s.slotsStale = true;
        s.gliding = !snap;
    }
    const float macro = frameCoefficient(mSampleRate, kMacroSeconds);
    if (glide(s.shift, shift, macro, kShiftLanding, snap)) s.slotsStale = true;
    if (glide(s.morph, morph, macro, kMorphLanding, snap)) s.combineStale = true;
    if (glide(s.scale, scale, macro, kScaleLanding, snap)) s.combineStale = true;

    if (s.slotsStale) {
        evaluateSlots();
        s.slotsStale = false;
        s.combineStale = true;
    }
    if (s.combineStale) {
        combineSlots();
        s.combineStale = false;
        if (!s.gliding) std::memcpy(mBinDelayHops, mTargetDelayHops, sizeof(float) * kNumBins);
    }
    if (s.gliding) {
        const float coefficient = frameCoefficient(mSampleRate, kGlideSeconds);
        bool moving = false;
        for (int k = 0; k < kNumBins; ++k) {
            glide(mBinDelayHops[k], mTargetDelayHops[k], coefficient, kGlideLanding, snap);
            moving |= mBinDelayHops[k] != mTargetDelayHops[k];
        }
        s.gliding = moving;
    }
}

} // namespace zerin
