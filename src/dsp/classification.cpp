#include "dsp/kernel.h"

#include <cmath>
#include <cstring>

namespace zerin {

namespace {

constexpr float kTransientShare = 0.0029268293f; // three times the average share, 3/1025
constexpr float kRatingDecay = 0.85f;
constexpr float kRestingStep = 0.15f; // 0.15 / (1 - 0.85) = 1 for a bin that never rises

float rise(float now, float before) {
    const float d = now - before;
    return d > 0.0f ? d : 0.0f; // a NaN difference counts as no rise
}

} // namespace

void updateClassification(ChannelState& ch, const float* mag) noexcept {
    // The total is summed in bin order, one rounding per bin, like every other float the
    // kernel computes: reassociating it could move a share across the threshold. That chain
    // of dependent additions is the cost here, and adding 0 leaves a sum exactly as it was,
    // so only the bins that rose join it: first gathered in order (a chain of integer
    // increments, which is quick), then summed.
    float rises[kNumBins];
    int risen = 0;
    for (int k = 0; k < kNumBins; ++k) {
        const float r = rise(mag[k], ch.prevMagnitude[k]);
        rises[risen] = r;
        risen += r > 0.0f ? 1 : 0;
    }
    float total = 0.0f;
    for (int i = 0; i < risen; ++i)
        total += rises[i];
    const float scale = total > 1e-8f ? 1.0f / total : 0.0f;

    for (int k = 0; k < kNumBins; ++k) {
        const float share = scale * rise(mag[k], ch.prevMagnitude[k]);
        const float target = share > kTransientShare ? 0.0f : kRestingStep;
        ch.binClassification[k] = std::fma(ch.binClassification[k], kRatingDecay, target);
    }
    std::memcpy(ch.prevMagnitude, mag, sizeof ch.prevMagnitude);
}

} // namespace zerin
