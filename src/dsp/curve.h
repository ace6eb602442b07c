#pragma once

#include "dsp/constants.h"

#include <cstdint>

namespace zerin {

struct CurvePoint {
    float freq;  // Hz
    float value; // ms on a delay curve, % on a feedback curve
};

struct CurveData {
    CurvePoint points[kMaxCurvePoints];
    std::int32_t count;
};

inline constexpr float kMaxCurveDelayMs = 2000.0f;

// The curve every new kernel and editor starts from, and the "Init" preset.
inline constexpr CurvePoint kDefaultCurve[] = {
    {20.0f, 200.0f}, {200.0f, 600.0f}, {1000.0f, 400.0f}, {5000.0f, 800.0f}, {20000.0f, 100.0f}};
inline constexpr int kDefaultCurveCount = 5;

// Fills `data` with `points` in ascending frequency, points of equal frequency in the order
// given: the kernel evaluates a curve in that order, whatever order a preset or a state keeps
// them in. Of more than kMaxCurvePoints points it keeps the lowest kMaxCurvePoints, as a stable
// sort of them all and then the first kMaxCurvePoints would, so that the editor, which sorts
// what it draws, draws what is heard. Points with a NaN frequency are dropped. No allocation:
// safe on the render thread.
void fillCurve(CurveData& data, const CurvePoint* points, int count) noexcept;

// Delay in ms of the curve at `freq` Hz: a cubic in log-frequency through every point,
// flat beyond the ends, limited to 0..2000 ms. A single point is a flat delay at its value
// everywhere; no point gives 0.
float evaluateCurve(const CurveData& curve, float freq) noexcept;

} // namespace zerin
