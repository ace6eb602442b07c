#pragma once

#include <cstdint>
#include <vector>

namespace zerin::session {

// A few seconds of stereo material that shows what Zerin does: a plucked arpeggio (tonal
// partials for the delay curve and freeze to smear) over hi-hat ticks and a soft kick
// (transients for the classification to spare). Deterministic; synthesised once, up front.
class DemoSignal {
public:
    static constexpr double kSampleRate = 48000.0;
    static constexpr int kChannels = 2;
    static constexpr std::int64_t kFrames = static_cast<std::int64_t>(6.0 * kSampleRate);

    DemoSignal();
    // Fills up to `frames` interleaved stereo frames; returns how many (0 at the end).
    std::int64_t read(float* interleaved, std::int64_t frames);

private:
    std::vector<float> mSamples; // interleaved
    std::int64_t mPosition = 0;
};

} // namespace zerin::session
