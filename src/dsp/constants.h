#pragma once

#include <cstdint>

namespace zerin {

inline constexpr int kFFTSize = 2048;
inline constexpr int kNumBins = kFFTSize / 2 + 1;
inline constexpr int kHopSize = 512;
inline constexpr int kMaxChannels = 2;

// The frame sizes a kernel can run at, and the largest, which its buffers are made for.
inline constexpr int kFFTSizes[] = {512, 1024, 2048, 4096, 8192};
inline constexpr int kFFTSizeCount = 5;
inline constexpr int kMaxFFTSize = 8192;
inline constexpr int kMaxNumBins = kMaxFFTSize / 2 + 1;
inline constexpr int kMaxCurvePoints = 32;

// The wet path lags the input by one frame less one sample: a frame runs before the output
// slot of the sample that triggered it is read.
inline constexpr int kLatencySamples = kFFTSize - 1;

// 1/2048, exact: bin k lies at k * rate * kInverseFFTSize Hz.
inline constexpr float kInverseFFTSize = 1.0f / kFFTSize;

// The layout of the frames a kernel runs at: Hann windows of `size` samples a quarter apart,
// the bins up to Nyquist, each row of bin values padded to whole 32-byte vectors. The
// constants above are the default layout's, which every earlier session ran at.
struct FrameGeometry {
    std::int32_t index = 2; // in kFFTSizes, as the fftSize parameter names it
    std::int32_t size = kFFTSize;
    std::int32_t hop = kHopSize;
    std::int32_t bins = kNumBins;
    std::int32_t stride = (kNumBins + 7) & ~7;
    float inverseSize = kInverseFFTSize; // exact: every size is a power of two
    // The frames per hop of the default layout: what a count of default hops becomes.
    float hopsPerDefaultHop = 1.0f;

    std::int32_t latency() const noexcept { return size - 1; }
    // Hz of bin k at `rate`, as every stage works it out.
    float binHz(int k, float rate) const noexcept {
        return (static_cast<float>(k) * rate) * inverseSize;
    }
};

// The layout of kFFTSizes[index] (the default's for an index out of range).
constexpr FrameGeometry frameGeometryAt(int index) noexcept {
    FrameGeometry g;
    if (index < 0 || index >= kFFTSizeCount) return g;
    const int s = kFFTSizes[index];
    g.index = index;
    g.size = s;
    g.hop = s / 4;
    g.bins = s / 2 + 1;
    g.stride = (g.bins + 7) & ~7;
    g.inverseSize = 1.0f / static_cast<float>(s);
    g.hopsPerDefaultHop = static_cast<float>(kHopSize) / static_cast<float>(g.hop);
    return g;
}

inline constexpr int kMaxBinStride = (kMaxNumBins + 7) & ~7;
inline constexpr int kMaxHopSize = kMaxFFTSize / 4;

inline constexpr float kPi = 3.1415927f;
inline constexpr float kTwoPi = 6.2831855f;

} // namespace zerin
