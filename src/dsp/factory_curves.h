#pragma once

#include "dsp/curve.h"

#include <span>
#include <string_view>

namespace zerin {

// The name of the preset every new unit, plug-in and editor starts on: the default curve's.
inline constexpr std::string_view kInitPresetName = "Init";

// The four named curves Zerin ships: the host's factory presets and the editor's factory
// presets are both made from this one table. "Init" is the kernel's default curve.
struct FactoryCurve {
    std::string_view name;
    std::span<const CurvePoint> points;
};

namespace factory_curve_points {
inline constexpr CurvePoint kShimmerWash[] = {
    {20.0f, 50.0f}, {500.0f, 300.0f}, {2000.0f, 900.0f}, {8000.0f, 1400.0f}, {20000.0f, 1800.0f}};
inline constexpr CurvePoint kGranularHaze[] = {{20.0f, 800.0f},    {150.0f, 1200.0f},
                                               {600.0f, 400.0f},   {3000.0f, 1600.0f},
                                               {12000.0f, 200.0f}, {20000.0f, 1000.0f}};
inline constexpr CurvePoint kRhythmicScatter[] = {{20.0f, 500.0f},   {100.0f, 100.0f},
                                                  {400.0f, 500.0f},  {1600.0f, 100.0f},
                                                  {6000.0f, 500.0f}, {20000.0f, 100.0f}};
} // namespace factory_curve_points

inline constexpr FactoryCurve kFactoryCurves[] = {
    {kInitPresetName, kDefaultCurve},
    {"Shimmer Wash", factory_curve_points::kShimmerWash},
    {"Granular Haze", factory_curve_points::kGranularHaze},
    {"Rhythmic Scatter", factory_curve_points::kRhythmicScatter},
};

} // namespace zerin
