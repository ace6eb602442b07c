#pragma once

#include "dsp/curve.h"
#include "model/curve_point.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace zerin {

// The processing modes; the raw values are those of the `mode` parameter and the order is
// that of its value strings.
enum class SpectralMode : int { delay = 0, freeze = 1, scatter = 2 };

inline constexpr std::array<SpectralMode, 3> allSpectralModes{
    SpectralMode::delay, SpectralMode::freeze, SpectralMode::scatter};

constexpr int rawValue(SpectralMode mode) {
    return static_cast<int>(mode);
}

// "Delay", "Freeze", "Scatter".
std::string_view displayName(SpectralMode mode);

// The mode for 0, 1 or 2; none for anything else.
std::optional<SpectralMode> spectralModeFromRawValue(int raw);

} // namespace zerin

namespace zerin::ZerinCurveConstants {

inline constexpr float minFreq = 20.0f;             // Hz, left end of the frequency axis
inline constexpr float maxFreq = 20000.0f;          // Hz, right end
inline constexpr float maxDelay = kMaxCurveDelayMs; // ms, bottom of the delay axis (0 ms: top)

// log10(minFreq) and log10(maxFreq) - log10(minFreq) (= 3), both in 32-bit float.
float logMinFreq();
float logFreqRange();

// The five default points, built once per process: every use gets the same point ids.
const std::vector<CurveControlPoint>& defaultCurve();

} // namespace zerin::ZerinCurveConstants
