#include "dsp/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zerin {

namespace {

std::uint32_t xorshift(std::uint32_t x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// Truncation toward zero, saturating so that a speed far outside 0..1 (reachable only
// through the kernel's own interface) neither overflows nor stalls the render thread.
int truncateBounded(float v, int lo, int hi) {
    if (!(v > static_cast<float>(lo))) return lo;
    if (v >= static_cast<float>(hi)) return hi;
    return static_cast<int>(v);
}

constexpr int kFirstTiltedBin = 342; // the top two thirds of the bins lean toward half amount

} // namespace

void shuffleScatterMap(std::uint32_t& random, std::int32_t* map, int n, int swaps,
                       int range) noexcept {
    if (swaps < 1) return;
    const std::uint32_t span = 2u * static_cast<std::uint32_t>(range) + 1u;
    for (int s = 0; s < swaps; ++s) {
        const std::uint32_t r1 = xorshift(random);
        const std::int32_t i = static_cast<std::int32_t>(r1 % static_cast<std::uint32_t>(n));
        const std::uint32_t r2 = xorshift(r1);
        const std::int32_t offset = static_cast<std::int32_t>(r2 % span);
        random = r2;
        const std::int32_t j = std::clamp(i - range + offset, 0, n - 1);
        std::swap(map[i], map[j]);
    }
}

void processScatter(const ScatterInputs& in, ChannelState& ch, const float* mag, const float* phase,
                    float* outMag, float* outPhase) noexcept {
    float* delayed = in.delayedMag;
    float* delayedPhase = in.delayedPhase;
    processDelay(in.delay, ch, mag, phase, delayed, delayedPhase);

    const float speed = in.delay.frame.scatterSpeed;
    const int old = ch.scatterHopCounter;
    ch.scatterHopCounter = old + 1;
    const int interval = truncateBounded((1.0f - speed) * 80.0f, -(1 << 20), 1 << 20) + 3;
    if (old >= interval) {
        ch.scatterHopCounter = 0;
        const int range = truncateBounded(speed * speed * 60.0f, 0, kNumBins) + 2;
        const int swaps = truncateBounded((speed * 1025.0f) * 0.08f, -1, 4 * kNumBins) + 1;
        shuffleScatterMap(*in.random, ch.scatterMap, kNumBins, swaps, range);
    }

    const float amount = speed * 0.65f;
    const float sens = in.delay.frame.sensitivity;
    for (int k = 0; k < kNumBins; ++k) {
        const float tilted = std::fma(static_cast<float>(k - 341) / -683.0f, 0.5f, 1.0f);
        const float tilt = k < kFirstTiltedBin ? 1.0f : tilted;
        const float weighted = amount * std::fma(-sens, 1.0f - ch.binClassification[k], 1.0f);
        const float a = sens > 0.0f ? weighted : amount;
        const float borrowed = delayed[ch.scatterMap[k]];
        outMag[k] = std::fma(delayed[k], 1.0f - a, tilt * (borrowed * a));
        outPhase[k] = delayedPhase[k];
    }
}

} // namespace zerin
