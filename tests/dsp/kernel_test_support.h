#pragma once

// Signals, parameter addresses and a block-cutting render loop shared by the kernel suites.

#include "dsp/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace zerin::test {

enum Param : std::uint64_t {
    kInputGain = 0,
    kOutputGain,
    kDryWet,
    kFeedback,
    kLFORate,
    kLFODepth,
    kTempoSync,
    kScatterSpeed,
    kMode,
    kSensitivity,
};

using Signal = std::vector<float>;
using Channels = std::vector<Signal>;

inline void setParams(ZerinExtensionDSPKernel& k,
                      std::initializer_list<std::pair<Param, float>> values) {
    for (const auto& [address, value] : values)
        k.setParameter(address, value);
}

// Uniform white noise in [-amp, amp), the same on every platform.
inline Signal noise(std::size_t n, std::uint32_t seed, float amp = 0.5f) {
    Signal s(n);
    std::uint32_t x = seed * 2654435761u + 1u;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

// A sine centred on bin `bin` of the 2048-point frame, whatever the rate.
inline Signal binSine(std::size_t n, double bin, float amp, double phase = 0.0) {
    Signal s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = amp * static_cast<float>(
                         std::sin(2.0 * M_PI * bin * static_cast<double>(i) / kFFTSize + phase));
    return s;
}

// Something to do before the call that starts at `at`; calls are cut there.
struct Event {
    std::size_t at;
    std::function<void(ZerinExtensionDSPKernel&)> apply;
};

// Runs every channel of `in` through the kernel in calls of `block` frames, cut also at each
// event. Output buffers start filled with a sentinel so untouched samples show.
inline Channels render(ZerinExtensionDSPKernel& k, const Channels& in, std::size_t block,
                       const std::vector<Event>& events = {}, float sentinel = 0.0f) {
    const std::size_t n = in.empty() ? 0 : in[0].size();
    Channels out(in.size(), Signal(n, sentinel));
    std::vector<const float*> ip(in.size());
    std::vector<float*> op(in.size());
    std::size_t next = 0;
    for (std::size_t pos = 0; pos < n;) {
        while (next < events.size() && events[next].at <= pos)
            events[next++].apply(k);
        std::size_t len = std::min(block, n - pos);
        if (next < events.size()) len = std::min(len, events[next].at - pos);
        for (std::size_t c = 0; c < in.size(); ++c) {
            ip[c] = in[c].data() + pos;
            op[c] = out[c].data() + pos;
        }
        k.process(ip.data(), static_cast<int>(ip.size()), op.data(), static_cast<int>(op.size()),
                  static_cast<int>(len));
        pos += len;
    }
    return out;
}

// The level of an unchanged spectrum after resynthesis: four overlapping squared windows sum
// to 6 * 0.8165^2, times the overlap-add factor 2/3; 8/3 to within 1e-5.
inline constexpr float kPassThroughGain = static_cast<float>(4.0 * 0.8165 * 0.8165);

// Magnitude of the DFT of s[from, from + 2048) at `bin`, normalised so a unit sine gives 1.
inline double toneLevel(const Signal& s, std::size_t from, double bin) {
    double re = 0.0, im = 0.0;
    for (int i = 0; i < kFFTSize; ++i) {
        const double a = 2.0 * M_PI * bin * i / kFFTSize;
        re += s[from + i] * std::cos(a);
        im += s[from + i] * std::sin(a);
    }
    return 2.0 * std::hypot(re, im) / kFFTSize;
}

// Ten tones centred on bins 40, 140, ..., 940, all switched on and off together every 16
// hops. Each bin is a multiple of 4, so the tones repeat every hop and a frame that lies
// wholly inside an "on" or "off" stretch is bit-identical to the one before: no bin rises.
// In the frames around a switch-on all ten centre bins rise steeply (transient), and around a
// switch-off they fall (tonal), so in every frame the ten share one rating, a different one
// from the frame before. A snapshot mixing two frames shows two values among them.
inline constexpr int kSentinelBins[] = {40, 140, 240, 340, 440, 540, 640, 740, 840, 940};

inline Signal sentinelTones(std::size_t n, std::size_t from = 0) {
    Signal s(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t t = from + i;
        if ((t / (16 * kHopSize)) % 2 == 0) continue;
        double v = 0.0;
        for (int bin : kSentinelBins)
            v += 0.05 * std::sin(2.0 * M_PI * bin * static_cast<double>(t % kHopSize) / kFFTSize);
        s[i] = static_cast<float>(v);
    }
    return s;
}

} // namespace zerin::test
