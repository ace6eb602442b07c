#pragma once

// The editor's look in one place: the palette every view draws with, the particles' colour
// ramp, and the sizes the main view's parts are laid out by.

#include "platform/ui/color.h"

#include <array>

namespace zerin {

// Heights of the bands above and below the canvas.
inline constexpr double kTopBarHeight = 44.0;
inline constexpr double kControlsStripHeight = 120.0;
// Width and height of a knob's face.
inline constexpr double kKnobSize = 52.0;
// Corner radius of the small framed buttons (preset name, save, the panels' buttons).
inline constexpr double kPanelButtonCornerRadius = 6.0;

} // namespace zerin

namespace zerin::theme {

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

// One stop of the particles' colour ramp; colour components in 0-255 units.
struct SpectrumStop {
    double position;
    double red;
    double green;
    double blue;
};

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

} // namespace zerin::theme
