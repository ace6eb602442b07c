#pragma once

// Parameters by name, test signals and a render loop that cuts the host's calls anywhere.

#include "dsp/kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zerin::test {

using Kernel = ZerinExtensionDSPKernel;
using Signal = std::vector<float>;
using Channels = std::vector<Signal>;

// The parameters a test sets; the rest keep their values.
struct Settings {
    std::optional<float> inputGain = {}, outputGain = {}, dryWet = {}, feedback = {}, lfoRate = {},
                         lfoDepth = {}, tempoSync = {}, scatterSpeed = {}, mode = {},
                         sensitivity = {}, morph = {}, curveScale = {}, curveShift = {},
                         delaySync = {}, delayRange = {}, fftSize = {}, stereoSpread = {},
                         pingPong = {}, listen = {};
};

// Delay mode with every delay at 0 ms (scale 0 %), no feedback and a still LFO: the wet path
// is the STFT's round trip alone.
inline constexpr Settings kStraightThrough{
    .feedback = 0.0f, .lfoDepth = 0.0f, .mode = 0.0f, .curveScale = 0.0f};

inline void apply(Kernel& k, const Settings& s) {
    const std::pair<parameter::Address, std::optional<float>> values[] = {
        {parameter::inputGain, s.inputGain},
        {parameter::outputGain, s.outputGain},
        {parameter::dryWet, s.dryWet},
        {parameter::feedback, s.feedback},
        {parameter::lfoRate, s.lfoRate},
        {parameter::lfoDepth, s.lfoDepth},
        {parameter::tempoSync, s.tempoSync},
        {parameter::scatterSpeed, s.scatterSpeed},
        {parameter::mode, s.mode},
        {parameter::sourceSensitivity, s.sensitivity},
        {parameter::morph, s.morph},
        {parameter::curveScale, s.curveScale},
        {parameter::curveShift, s.curveShift},
        {parameter::delaySync, s.delaySync},
        {parameter::delayRange, s.delayRange},
        {parameter::fftSize, s.fftSize},
        {parameter::stereoSpread, s.stereoSpread},
        {parameter::pingPong, s.pingPong},
        {parameter::listen, s.listen}};
    for (const auto& [address, value] : values)
        if (value) k.setParameter(address, *value);
}

inline std::unique_ptr<Kernel> makeKernel(int channels, double rate, const Settings& s = {}) {
    auto k = std::make_unique<Kernel>();
    apply(*k, s);
    EXPECT_TRUE(k->initialize(channels, rate));
    return k;
}

// Uniform white noise in [-amp, amp), the same on every platform.
inline Signal noise(std::size_t n, std::uint32_t seed, float amp = 0.5f) {
    Signal s(n);
    for (std::uint32_t i = 0, x = seed * 2654435761u + 1u; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = amp * (static_cast<float>(x >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

// A sine centred on bin `bin` of the 2048-point frame, whatever the rate.
inline Signal binSine(std::size_t n, double bin, float amp, double phase = 0.0) {
    Signal s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = amp * static_cast<float>(std::sin(2.0 * M_PI * bin * i / kFFTSize + phase));
    return s;
}

// Something to do before the call that starts at a sample; calls are cut there.
using Event = std::pair<std::size_t, std::function<void(Kernel&)>>;

// Runs every channel of `in` through the kernel in calls of `block` frames, cut also at each
// event. Outputs start filled with `sentinel` so untouched samples show.
inline Channels render(Kernel& k, const Channels& in, std::size_t block,
                       const std::vector<Event>& events = {}, float sentinel = 0.0f) {
    Channels out(in.size(), Signal(in[0].size(), sentinel));
    std::vector<const float*> ip(in.size());
    std::vector<float*> op(in.size());
    for (std::size_t pos = 0, next = 0, len; pos < in[0].size(); pos += len) {
        while (next < events.size() && events[next].first <= pos)
            events[next++].second(k);
        len = std::min(block, in[0].size() - pos);
        if (next < events.size()) len = std::min(len, events[next].first - pos);
        for (std::size_t c = 0; c < in.size(); ++c) {
            ip[c] = in[c].data() + pos;
            op[c] = out[c].data() + pos;
        }
        k.process(ip.data(), static_cast<int>(in.size()), op.data(), static_cast<int>(in.size()),
                  static_cast<int>(len));
    }
    return out;
}

// The level of an unchanged spectrum after resynthesis: four overlapping squared windows sum
// to 6 * 0.8165^2, times the overlap-add factor 2/3.
inline constexpr float kPassThroughGain = static_cast<float>(4.0 * 0.8165 * 0.8165);

// The largest |out[n] - gain * in[n - delay]|, taking in[] as 0 before its start.
inline float misalignment(const Signal& in, const Signal& out, std::size_t delay, float gain) {
    float worst = 0.0f;
    for (std::size_t n = 0; n < out.size(); ++n)
        worst = std::max(worst, std::fabs(out[n] - (n < delay ? 0.0f : gain * in[n - delay])));
    return worst;
}

} // namespace zerin::test
