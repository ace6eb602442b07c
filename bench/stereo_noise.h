#pragma once

// The input the DSP benchmarks share: 10 s of stereo 48 kHz noise at half scale, the same
// every run, and the real-time factor each case reports for it.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace zerin::bench {

inline constexpr double kRate = 48000.0;
inline constexpr int kSeconds = 10;
inline constexpr int kFrames = static_cast<int>(kRate) * kSeconds;

struct StereoNoise {
    std::vector<float> left, right;

    explicit StereoNoise(std::uint32_t seed) : left(kFrames), right(kFrames) {
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        };
        for (int i = 0; i < kFrames; ++i) {
            left[i] = 0.5f * next();
            right[i] = 0.5f * next();
        }
    }

    // Calls `process(inputs, frames)` for each whole block of the noise, in order.
    template <typename Process> void forEachBlock(int block, Process&& process) const {
        for (int offset = 0; offset + block <= kFrames; offset += block) {
            const float* inputs[2] = {left.data() + offset, right.data() + offset};
            process(inputs, block);
        }
    }
};

// Audio seconds per wall second, as "xRT".
inline void reportRealTime(benchmark::State& state) {
    state.counters["xRT"] = benchmark::Counter(static_cast<double>(kSeconds),
                                               benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace zerin::bench
