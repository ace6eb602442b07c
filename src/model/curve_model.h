#pragma once

#include "dsp/curve.h"
#include "model/curve_point.h"
#include "platform/ui/color.h"

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

// One stop of the particles' colour ramp; colour components in 0-255 units.
struct SpectrumStop {
    double position;
    double red;
    double green;
    double blue;
};

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

// The palette every editor view draws with (sRGB).
inline constexpr Color background = Color::rgb255(16, 22, 38);
inline constexpr Color backgroundSecondary = Color::rgb255(24, 32, 56);
inline constexpr Color accentCyan = Color::rgb255(0, 220, 255);
inline constexpr Color accentPink = Color::rgb255(255, 55, 135);
inline constexpr Color accentAmber = Color::rgb255(255, 180, 20);
inline constexpr Color panelBackground = Color::rgb255(26, 34, 58, 0.7);
inline constexpr Color borderSubtle = Color::rgb255(255, 255, 255, 0.12);
inline constexpr Color textPrimary = Color::rgb255(255, 255, 255, 0.95);
inline constexpr Color textSecondary = Color::rgb255(255, 255, 255, 0.65);
inline constexpr Color textTertiary = Color::rgb255(255, 255, 255, 0.45);

// Deep blue, cyan, violet, pink: low to high frequency for the particles.
inline constexpr std::array<SpectrumStop, 4> spectrumStops{{
    {0.0, 0, 100, 255},
    {0.3, 0, 212, 255},
    {0.6, 180, 60, 255},
    {1.0, 255, 45, 123},
}};

// The ramp colour at `v`, opaque. Not clamped: outside [0, 1] the last segment is
// extrapolated, so callers clamp `v` first.
Color spectrumColor(double v);

} // namespace zerin::ZerinCurveConstants
