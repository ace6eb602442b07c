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

// Each bin's share of the amount at each size: the top two thirds of the bins (from 342 of
// 1025) lean toward half the amount. Worked out once when the library loads, never on the
// render thread: a division per bin and frame was a tenth of scatter's cost.
using Tilt = std::array<float, kMaxNumBins>;
std::array<Tilt, kFFTSizeCount> makeTilts() {
    std::array<Tilt, kFFTSizeCount> tilts{};
    for (int i = 0; i < kFFTSizeCount; ++i) {
        const int bins = kFFTSizes[i] / 2 + 1;
        const int firstTilted = (bins - 1) / 3 + 1;
        const auto tilted = static_cast<float>(bins - firstTilted);
        for (int k = 0; k < bins; ++k)
            tilts[i][k] =
                k < firstTilted
                    ? 1.0f
                    : std::fma(static_cast<float>(k - (firstTilted - 1)) / -tilted, 0.5f, 1.0f);
    }
    return tilts;
}
const std::array<Tilt, kFFTSizeCount> kTilts = makeTilts();

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
    // Counted in default hops and bins (2048's), so that a shuffle comes as often and reaches
    // as far in Hz at every size; each shuffle moves the same share of the bins.
    const FrameGeometry& g = ch.frame;
    const int bins = g.bins;
    const float perHop = g.hopsPerDefaultHop;
    const float binScale = static_cast<float>(bins - 1) / static_cast<float>(kNumBins - 1);
    const int interval = truncateBounded(((1.0f - speed) * 80.0f) * perHop, -(1 << 20), 1 << 20) +
                         std::max(1, static_cast<int>(3.0f * perHop));
    if (old >= interval) {
        ch.scatterHopCounter = 0;
        const int range = truncateBounded((speed * speed * 60.0f) * binScale, 0, bins) + 2;
        const int swaps = truncateBounded(((speed * 1025.0f) * 0.08f) * binScale, -1, 4 * bins) + 1;
        shuffleScatterMap(*in.random, ch.scatterMap, bins, swaps, range);
    }

    const float amount = speed * 0.65f;
    const float sens = in.delay.frame.sensitivity;
    const float* tilt = kTilts[static_cast<std::size_t>(g.index)].data();
    const std::int32_t* map = ch.scatterMap;
    if (sens > 0.0f) {
        const float* rating = ch.binClassification;
        for (int k = 0; k < bins; ++k) {
            const float a = amount * std::fma(-sens, 1.0f - rating[k], 1.0f);
            outMag[k] = std::fma(delayed[k], 1.0f - a, tilt[k] * (delayed[map[k]] * a));
        }
    } else {
        const float keep = 1.0f - amount;
        for (int k = 0; k < bins; ++k)
            outMag[k] = std::fma(delayed[k], keep, tilt[k] * (delayed[map[k]] * amount));
    }
}

} // namespace zerin
