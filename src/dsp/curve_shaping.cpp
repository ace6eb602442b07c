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

// The macros glide with a time constant of 30 ms and a delay snapped to a new tempo with one
// of 100 ms, taken a frame at a time; each lands on its target once within these of it.
constexpr double kMacroSeconds = 0.03;
constexpr double kGlideSeconds = 0.1;
constexpr float kMorphLanding = 1e-4f;  // of the A..B range
constexpr float kScaleLanding = 1e-4f;  // of the delay
constexpr float kShiftLanding = 1e-3f;  // semitones
constexpr float kStereoLanding = 1e-4f; // of the spread, the crossing and the spared part
constexpr float kGlideLanding = 1e-3f;  // hops
constexpr float kFullShare = 0.999999f; // of the Feedback knob

// One frame of a one-pole glide towards `target`, landing on it when close; true if `value`
// moved.
bool glide(float& value, float target, float coefficient, float landing, bool snap) {
    if (value == target) return false;
    const float next = std::fma(coefficient, target - value, value);
    value = snap || std::fabs(target - next) <= landing ? target : next;
    return true;
}

// Delay and feedback share of each slot at `count` ascending frequencies freq(i), written at
// delays[slot * stride + i] and shares[slot * stride + i]. Slot B, when it holds slot A's
// curves, is a copy.
template <typename Freq>
void evaluateSlotsAt(const CurveSet& set, const CurveShaping& shaping, int count, Freq freq,
                     float* delays, float* shares, int stride) {
    for (int s = 0; s < kCurveSlotCount; ++s) {
        const auto slot = static_cast<CurveSlot>(s);
        float* delayMs = delays + s * stride;
        float* share = shares + s * stride;
        if (s == 1 &&
            sameCurve(set.at(slot, CurveKind::delay), set.at(CurveSlot::a, CurveKind::delay)) &&
            sameCurve(set.at(slot, CurveKind::feedback),
                      set.at(CurveSlot::a, CurveKind::feedback))) {
            std::memcpy(delayMs, delays, sizeof(float) * count);
            std::memcpy(share, shares, sizeof(float) * count);
            continue;
        }
        CurveData delayCurve = set.at(slot, CurveKind::delay);
        if (shaping.sync) snapToNotes(delayCurve, shaping.syncTempo, shaping.longestMs);
        const CurveData& shareCurve = set.at(slot, CurveKind::feedback);
        for (int i = 0; i < count; ++i) {
            const float f = freq(i);
            delayMs[i] = evaluateCurve(delayCurve, f, shaping.longestMs);
            // A curve drawn flat at 100 % rounds to within a millionth of all: that is all.
            const float v = evaluateCurve(shareCurve, f, kMaxCurveFeedbackPercent) * 0.01f;
            share[i] = v > 0.0f ? (v < kFullShare ? v : 1.0f) : 0.0f;
        }
    }
}

} // namespace

void ZerinExtensionDSPKernel::evaluateSlots() noexcept {
    const float rate = static_cast<float>(mSampleRate);
    const FrameGeometry g = mGeometry;
    evaluateSlotsAt(
        currentSet(), mShaping, g.bins,
        [rate, g](int k) {
            const float f = g.binHz(k, rate);
            return f < 1.0f ? 1.0f : f;
        },
        mBins.slotDelayMs, mBins.slotFeedback, g.stride);
}

void ZerinExtensionDSPKernel::evaluateGrids() noexcept {
    evaluateSlotsAt(
        currentSet(), mShaping, kCurveGridPoints,
        [](int i) { return std::exp2(static_cast<float>(i) / kCurveGridPerOctave); },
        mBins.slotDelayGrid, mBins.slotFeedbackGrid, kCurveGridStride);
    // Where each bin lies on the grid before a shift: below 1 Hz (bin 0) it is at 1 Hz.
    const float rate = static_cast<float>(mSampleRate);
    for (int k = 0; k < mGeometry.bins; ++k) {
        const float f = mGeometry.binHz(k, rate);
        mBins.gridPosition[k] = f < 1.0f ? -1e6f : std::log2(f) * kCurveGridPerOctave;
    }
}

void ZerinExtensionDSPKernel::resampleGrids() noexcept {
    // Shifted by s semitones, a bin hears what the curves hold s semitones below it, read
    // between the grid's points: a curve moving along frequency costs a look-up per bin
    // instead of an evaluation. Plain loops over arrays, so that they vectorise.
    const float offset = mShaping.shift * (kCurveGridPerOctave / 12.0f);
    constexpr float kLast = static_cast<float>(kCurveGridPoints) - 1.001f;
    std::int32_t* index = mBins.gridIndex;
    float* fraction = mBins.gridFraction;
    const int bins = mGeometry.bins;
    const int stride = mGeometry.stride;
    for (int k = 0; k < bins; ++k) {
        float p = mBins.gridPosition[k] - offset;
        p = p > 0.0f ? p : 0.0f;
        p = p < kLast ? p : kLast;
        index[k] = static_cast<std::int32_t>(p);
        fraction[k] = p - static_cast<float>(index[k]);
    }
    const auto read = [&](const float* grid, float* out) {
        for (int k = 0; k < bins; ++k) {
            const float low = grid[index[k]];
            out[k] = std::fma(fraction[k], grid[index[k] + 1] - low, low);
        }
    };
    for (int s = 0; s < kCurveSlotCount; ++s) {
        read(mBins.slotDelayGrid + s * kCurveGridStride, mBins.slotDelayMs + s * stride);
        read(mBins.slotFeedbackGrid + s * kCurveGridStride, mBins.slotFeedback + s * stride);
    }
}

void ZerinExtensionDSPKernel::combineSlots() noexcept {
    const float m = mShaping.morph;
    const float scale = mShaping.scale;
    const float longest = mShaping.longestMs;
    const float hopSeconds = static_cast<float>(mGeometry.hop) / static_cast<float>(mSampleRate);
    const int stride = mGeometry.stride;
    const float* delayA = mBins.slotDelayMs;
    const float* delayB = mBins.slotDelayMs + stride;
    const float* shareA = mBins.slotFeedback;
    const float* shareB = mBins.slotFeedback + stride;
    int flat = 1; // an int, so that the loop vectorises
    for (int k = 0; k < mGeometry.bins; ++k) {
        // At 0 and 1 the blend is exactly one slot's value.
        float ms = std::fma(m, delayB[k], (1.0f - m) * delayA[k]) * scale;
        ms = ms < longest ? ms : longest;
        // The history holds the longest range's delay at this rate (delaySlotsFor).
        const float hops = (ms / 1000.0f) / hopSeconds;
        mBins.targetDelayHops[k] = hops > 0.0f ? hops : 0.0f;
        const float share = std::fma(m, shareB[k], (1.0f - m) * shareA[k]);
        mBins.feedbackWeights[k] = share;
        flat &= share == 1.0f ? 1 : 0;
    }
    mShaping.feedbackFlat = flat != 0;
}

void CurveShaping::setRate(double sampleRate, const FrameGeometry& frame) noexcept {
    const auto perFrame = [sampleRate, hop = frame.hop](double seconds) {
        return static_cast<float>(1.0 - std::exp(-hop / (sampleRate * seconds)));
    };
    macroCoefficient = perFrame(kMacroSeconds);
    glideCoefficient = perFrame(kGlideSeconds);
}

void ZerinExtensionDSPKernel::shapeCurves(bool snap) noexcept {
    if (mBins.delayHops == nullptr) return;
    takeShapingTargets(snap);
    if (mShaping.combineStale) updateBins();
    if (mShaping.gliding) glideDelays(snap);
}

// The parameters curve shaping follows: what they change is marked stale, the macros move a
// frame towards their values.
void ZerinExtensionDSPKernel::takeShapingTargets(bool snap) noexcept {
    CurveShaping& s = mShaping;
    const bool sync = mValues.on(parameter::delaySync);
    const double tempo = sync ? hostTempo() : 0.0;
    // A new range is heard at once, as a new curve is: the delays it frees or caps move.
    const float longest = delayRangeMs(mValues.choice(parameter::delayRange));
    if (longest != s.longestMs) {
        s.longestMs = longest;
        s.slotsStale = true;
    }
    // A new tempo or a change of sync moves the snapped delays, which glide there.
    if (sync != s.sync || tempo != s.syncTempo) {
        s.sync = sync;
        s.syncTempo = tempo;
        s.slotsStale = true;
        s.gliding = !snap;
    }
    if (s.slotsStale) {
        s.binsStale = s.gridStale = true;
        s.slotsStale = false;
        s.combineStale = true;
    }
    const float macro = s.macroCoefficient;
    if (glide(s.shift, mValues.value(parameter::curveShift), macro, kShiftLanding, snap))
        s.combineStale = true;
    if (glide(s.morph, mValues.fraction(parameter::morph), macro, kMorphLanding, snap))
        s.combineStale = true;
    if (glide(s.scale, mValues.fraction(parameter::curveScale), macro, kScaleLanding, snap))
        s.combineStale = true;
    // Read by each frame as it runs, never worked into the bins.
    glide(s.spread, mValues.fraction(parameter::stereoSpread), macro, kStereoLanding, snap);
    glide(s.pingPong, mValues.on(parameter::pingPong) ? 1.0f : 0.0f, macro, kStereoLanding, snap);
    glide(s.spared, mValues.listen() == ListenMode::spared ? 1.0f : 0.0f, macro, kStereoLanding,
          snap);
}

// The slots' values at the bins (the curves', or read off the grid when shifted), blended
// into each bin's target delay and feedback share.
void ZerinExtensionDSPKernel::updateBins() noexcept {
    CurveShaping& s = mShaping;
    if (s.shift == 0.0f && s.binsStale) {
        evaluateSlots();
        s.binsStale = false;
        s.resampledShift = 0.0f;
    } else if (s.shift != 0.0f) {
        // Read off the grid again only when the grid or the shift moved: a morph or a scale
        // on its way blends the slots as they were read.
        if (s.gridStale || s.shift != s.resampledShift) {
            if (s.gridStale) evaluateGrids();
            s.gridStale = false;
            resampleGrids();
            s.resampledShift = s.shift;
        }
        s.binsStale = true;
    }
    combineSlots();
    s.combineStale = false;
    if (!s.gliding)
        std::memcpy(mBins.delayHops, mBins.targetDelayHops, sizeof(float) * mGeometry.bins);
}

// One frame of the heard delays' glide towards their targets; the glide ends when all land.
void ZerinExtensionDSPKernel::glideDelays(bool snap) noexcept {
    const float coefficient = mShaping.glideCoefficient;
    bool moving = false;
    for (int k = 0; k < mGeometry.bins; ++k) {
        glide(mBins.delayHops[k], mBins.targetDelayHops[k], coefficient, kGlideLanding, snap);
        moving |= mBins.delayHops[k] != mBins.targetDelayHops[k];
    }
    mShaping.gliding = moving;
}

} // namespace zerin
