#pragma once

// The processing modes, as the `mode` parameter numbers them (its value is the mode's raw
// value) and as every part of Zerin names them: the kernel runs them, the host table lists
// their names as the parameter's values, the editor shows them.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zerin {

enum class SpectralMode : std::int32_t { delay = 0, freeze = 1, scatter = 2 };

inline constexpr std::array<SpectralMode, 3> allSpectralModes{
    SpectralMode::delay, SpectralMode::freeze, SpectralMode::scatter};

// In the order of the modes' raw values.
inline constexpr std::array<std::string_view, 3> kSpectralModeNames{"Delay", "Freeze", "Scatter"};

constexpr int rawValue(SpectralMode mode) {
    return static_cast<int>(mode);
}

// "Delay", "Freeze", "Scatter".
constexpr std::string_view displayName(SpectralMode mode) {
    return kSpectralModeNames[static_cast<std::size_t>(rawValue(mode))];
}

// The mode for 0, 1 or 2; none for anything else.
constexpr std::optional<SpectralMode> spectralModeFromRawValue(int raw) {
    for (const SpectralMode mode : allSpectralModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

// The mode a value of the `mode` parameter means, as the kernel plays it: the nearest mode,
// halves up, values beyond the modes taken at the nearest one, and delay for no number.
constexpr SpectralMode spectralModeOfValue(float value) {
    int nearest = 0; // NaN compares false: delay
    while (nearest + 1 < static_cast<int>(allSpectralModes.size()) &&
           value >= static_cast<float>(nearest) + 0.5f)
        ++nearest;
    return allSpectralModes[static_cast<std::size_t>(nearest)];
}

// What the unit lets through to its outputs, as the `listen` parameter numbers it: the mix
// of dry and processed, the processed path alone, or what Source keeps out of the modes.
enum class ListenMode : std::int32_t { mix = 0, wet = 1, spared = 2 };

} // namespace zerin
