#pragma once

#include "dsp/curve.h"
#include "dsp/modes.h"
#include "model/curve_point.h"

#include <vector>

namespace zerin::ZerinCurveConstants {

inline constexpr float minFreq = 20.0f;    // Hz, left end of the frequency axis
inline constexpr float maxFreq = 20000.0f; // Hz, right end

// log10(minFreq) and log10(maxFreq) - log10(minFreq) (= 3), both in 32-bit float.
float logMinFreq();
float logFreqRange();

// The five default points, built once per process: every use gets the same point ids.
const std::vector<CurveControlPoint>& defaultCurve();

} // namespace zerin::ZerinCurveConstants
