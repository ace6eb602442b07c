#include "session/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zerin::session {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = 60.0 / 112.0;                     // seconds per beat
constexpr int kNotes[] = {57, 60, 64, 69, 72, 69, 64, 60}; // A minor, up and down
constexpr double kMelodySeconds = 4.5;

double midiToHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Deterministic white noise in [-1, 1] from a sample index.
double noise(std::int64_t n) {
    std::uint32_t x = static_cast<std::uint32_t>(n) * 2654435761u + 0x9E3779B9u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<double>(x) / 2147483648.0 - 1.0;
}

// Adds a plucked string to one channel: a few harmonics, brighter ones dying faster, each
// a rotating phasor times a decaying envelope.
void addPluck(std::vector<double>& out, std::int64_t start, double freq, double gain) {
    const auto length =
        std::min<std::int64_t>(static_cast<std::int64_t>(1.6 * DemoSignal::kSampleRate),
                               static_cast<std::int64_t>(out.size()) - start);
    for (int h = 1; h <= 6; ++h) {
        const double w = 2.0 * kPi * freq * h / DemoSignal::kSampleRate;
        if (w >= kPi) break;
        const double decay = std::exp(-(2.5 + 1.8 * h) / DemoSignal::kSampleRate);
        double re = 1.0, im = 0.0, env = 0.35 * gain / (h * 1.3);
        const double cw = std::cos(w), sw = std::sin(w);
        for (std::int64_t i = 0; i < length; ++i) {
            const double attack =
                std::min(1.0, static_cast<double>(i) / (0.002 * DemoSignal::kSampleRate));
            out[start + i] += attack * env * im;
            const double nre = re * cw - im * sw;
            im = re * sw + im * cw;
            re = nre;
            env *= decay;
        }
    }
}

} // namespace

DemoSignal::DemoSignal() {
    std::vector<double> channels[kChannels] = {std::vector<double>(kFrames, 0.0),
                                               std::vector<double>(kFrames, 0.0)};
    const double eighth = kBeat / 2.0;
    for (int s = 0; s * eighth < kMelodySeconds; ++s) {
        const auto start = static_cast<std::int64_t>(s * eighth * kSampleRate);
        for (int c = 0; c < kChannels; ++c)
            addPluck(channels[c], start, midiToHz(kNotes[s % 8]), (s % 2 == c) ? 1.0 : 0.6);
    }
    const auto melodyFrames = static_cast<std::int64_t>(kMelodySeconds * kSampleRate);
    for (std::int64_t n = 0; n < melodyFrames; ++n) {
        const double t = static_cast<double>(n) / kSampleRate;
        const double sinceOff = std::fmod(t + eighth, kBeat);
        const double bar = std::fmod(t, 2.0 * kBeat);
        double kick = 0.0;
        if (bar < kBeat) {
            // A falling pitch, integrated so the phase stays continuous.
            const double phase = 2.0 * kPi * (50.0 * bar + 3.0 * (1.0 - std::exp(-bar * 30.0)));
            kick = 0.45 * std::sin(phase) * std::exp(-bar * 9.0);
        }
        for (int c = 0; c < kChannels; ++c)
            channels[c][n] += kick + 0.12 * noise(n * 2 + c) * std::exp(-sinceOff * 90.0);
    }
    mSamples.resize(static_cast<std::size_t>(kFrames) * kChannels);
    for (std::int64_t n = 0; n < kFrames; ++n)
        for (int c = 0; c < kChannels; ++c)
            mSamples[n * kChannels + c] = static_cast<float>(std::clamp(channels[c][n], -1.0, 1.0));
}

std::int64_t DemoSignal::read(float* interleaved, std::int64_t frames) {
    const std::int64_t count = std::max<std::int64_t>(0, std::min(frames, kFrames - mPosition));
    std::memcpy(interleaved, mSamples.data() + mPosition * kChannels,
                sizeof(float) * static_cast<std::size_t>(count * kChannels));
    mPosition += count;
    return count;
}

} // namespace zerin::session
