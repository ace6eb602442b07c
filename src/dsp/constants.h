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

inline constexpr float kPi = 3.1415927f;
inline constexpr float kTwoPi = 6.2831855f;

} // namespace zerin
