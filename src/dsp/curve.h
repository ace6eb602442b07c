#pragma once

#include "dsp/constants.h"

#include <cstdint>

namespace zerin {

struct CurvePoint {
    float freq;  // Hz
    float delay; // ms
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

// Fills `data` with the first kMaxCurvePoints of `points`; the rest are dropped.
void fillCurve(CurveData& data, const CurvePoint* points, int count) noexcept;

// Delay in ms of the curve at `freq` Hz: a cubic in log-frequency through every point,
// flat beyond the ends, limited to 0..2000 ms. Needs at least two points.
float evaluateCurve(const CurveData& curve, float freq) noexcept;

} // namespace zerin
