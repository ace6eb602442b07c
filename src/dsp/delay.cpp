#include "dsp/kernel.h"

#include <cmath>

namespace zerin {

namespace {

constexpr int kLineMask = kDelayLineLength - 1;
constexpr float kMaxDelayHops = 255.0f;
constexpr float kLFOHops = 30.0f; // full LFO depth moves every delay by +-30 hops

// Writes this frame's magnitudes (with feedback) and phases into the current slot.
template <bool kWeighted>
void writeSlot(const ZerinExtensionDSPKernel& kernel, ChannelState& ch, const float* mag,
               const float* phase, int pos) {
    const float sens = kernel.mFrame.sensitivity;
    const float fb = kernel.mFrame.feedback;
    float* magRow = ch.magSlot(pos);
    float* phaseRow = ch.phaseSlot(pos);
    for (int k = 0; k < kNumBins; ++k) {
        float feedbackScale = 1.0f;
        if constexpr (kWeighted)
            feedbackScale =
                std::fma(-sens, 1.0f - std::fma(0.8f, ch.binClassification[k], 0.2f), 1.0f);
        const float written = std::fma(ch.feedbackMag[k] * fb, feedbackScale, mag[k]);
        // The ceiling keeps 100 % feedback finite; NaN cannot arise from kept magnitudes.
        magRow[k] = written < kMaxMagnitude ? written : kMaxMagnitude;
        phaseRow[k] = phase[k];
    }
}

// Reads every bin `delay` slots back, interpolating magnitudes between the two slots around
// a fractional delay; phases come from the nearer (newer) slot.
template <bool kWeighted>
void readSlots(const ZerinExtensionDSPKernel& kernel, ChannelState& ch, int pos, float lfoHops,
               float* outMag, float* outPhase) {
    const float sens = kernel.mFrame.sensitivity;
    const float* hops = kernel.mBinDelayHops;
    const float* lines = ch.magDelayLines;
    const float* phases = ch.phaseDelayLines;
    for (int k = 0; k < kNumBins; ++k) {
        float delayScale = 1.0f;
        if constexpr (kWeighted)
            delayScale =
                std::fma(-sens, 1.0f - std::fma(0.9f, ch.binClassification[k], 0.1f), 1.0f);
        float d = std::fma(delayScale, hops[k], lfoHops);
        d = d > 0.0f ? d : 0.0f; // first, so that a NaN becomes 0
        d = d < kMaxDelayHops ? d : kMaxDelayHops;
        const int di = static_cast<int>(d);
        const float frac = d - static_cast<float>(di);
        const int r = (pos - di) & kLineMask;
        const int older = (r - 1) & kLineMask;
        const float newer = lines[r * kBinStride + k];
        const float old = lines[older * kBinStride + k];
        outMag[k] = std::fma(newer, 1.0f - frac, old * frac);
        outPhase[k] = phases[r * kBinStride + k];
    }
}

} // namespace

void processDelay(ZerinExtensionDSPKernel& kernel, ChannelState& ch, const float* mag,
                  const float* phase, float* outMag, float* outPhase) noexcept {
    const float lfoHops = (std::sin(kernel.mLFOPhase) * kernel.mFrame.lfoDepth) * kLFOHops;
    const int pos = ch.delayWritePos;
    if (kernel.mFrame.sensitivity > 0.0f) {
        writeSlot<true>(kernel, ch, mag, phase, pos);
        readSlots<true>(kernel, ch, pos, lfoHops, outMag, outPhase);
    } else {
        writeSlot<false>(kernel, ch, mag, phase, pos);
        readSlots<false>(kernel, ch, pos, lfoHops, outMag, outPhase);
    }
    ch.delayWritePos = (pos + 1) & kLineMask;
}

} // namespace zerin
