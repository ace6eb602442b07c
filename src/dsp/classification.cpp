#include "dsp/kernel.h"

#include <cmath>
#include <cstring>

namespace zerin {

namespace {

// A bin is a transient when its share of the frame's rise is three times the average share:
// 3/1025 at 2048, and the same measure at every size.
constexpr float kTransientShares = 3.0f;
static_assert(kTransientShares / 1025.0f == 0.0029268293f);
// Per default hop (a quarter of 2048 samples): at other sizes the rating decays as fast in
// time, and rests at 1 (step / (1 - decay)) for a bin that never rises.
constexpr float kRatingDecay = 0.85f;
constexpr float kRestingStep = 0.15f;

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
    const FrameGeometry& g = ch.frame;
    const int bins = g.bins;
    float rises[kMaxNumBins];
    int risen = 0;
    for (int k = 0; k < bins; ++k) {
        const float r = rise(mag[k], ch.prevMagnitude[k]);
        rises[risen] = r;
        risen += r > 0.0f ? 1 : 0;
    }
    float total = 0.0f;
    for (int i = 0; i < risen; ++i)
        total += rises[i];
    const float scale = total > 1e-8f ? 1.0f / total : 0.0f;

    // pow(x, 1) is x: the default size keeps its constants to the bit.
    const float decay = std::pow(kRatingDecay, 1.0f / g.hopsPerDefaultHop);
    const float resting = kRestingStep * ((1.0f - decay) / (1.0f - kRatingDecay));
    const float transient = kTransientShares / static_cast<float>(bins);
    for (int k = 0; k < bins; ++k) {
        const float share = scale * rise(mag[k], ch.prevMagnitude[k]);
        const float target = share > transient ? 0.0f : resting;
        ch.binClassification[k] = std::fma(ch.binClassification[k], decay, target);
    }
    std::memcpy(ch.prevMagnitude, mag, ch.binBytes());
}

} // namespace zerin
