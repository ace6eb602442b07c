#include "dsp/kernel.h"

#include <algorithm>
#include <array>
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

// Each bin's share of the amount, worked out once when the library loads, never on the render
// thread: a division per bin and frame was a tenth of scatter's cost. The same expression, so
// the same bits as before.
std::array<float, kNumBins> makeTilt() {
    std::array<float, kNumBins> t{};
    for (int k = 0; k < kNumBins; ++k)
        t[k] = k < kFirstTiltedBin ? 1.0f
                                   : std::fma(static_cast<float>(k - 341) / -683.0f, 0.5f, 1.0f);
    return t;
}
const std::array<float, kNumBins> kTilt = makeTilt();

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
    // Scatter moves magnitudes only: the delayed phases go straight to the output, as delay
    // mode writes them, and the magnitudes to a scratch row the borrowing reads.
    float* delayed = in.delayedMag;
    processDelay(in.delay, ch, mag, phase, delayed, outPhase);

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
    const float* tilt = kTilt.data();
    const std::int32_t* map = ch.scatterMap;
    if (sens > 0.0f) {
        const float* rating = ch.binClassification;
        for (int k = 0; k < kNumBins; ++k) {
            const float a = amount * std::fma(-sens, 1.0f - rating[k], 1.0f);
            outMag[k] = std::fma(delayed[k], 1.0f - a, tilt[k] * (delayed[map[k]] * a));
        }
    } else {
        const float keep = 1.0f - amount;
        for (int k = 0; k < kNumBins; ++k)
            outMag[k] = std::fma(delayed[k], keep, tilt[k] * (delayed[map[k]] * amount));
    }
}

} // namespace zerin
