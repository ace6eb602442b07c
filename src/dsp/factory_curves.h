#pragma once

#include "dsp/curve.h"

#include <span>
#include <string_view>

namespace zerin {

// The name of the preset every new unit, plug-in and editor starts on: the default curve's.
inline constexpr std::string_view kInitPresetName = "Init";

// The named curve sets Zerin ships: the host's factory presets and the editor's factory
// presets are both made from this one table. "Init" is the kernel's default curve. The first
// four are one delay curve each (both slots, flat feedback); later ones give more of the set.
struct FactoryCurve {
    std::string_view name;
    std::span<const CurvePoint> points;         // slot A's delay curve
    std::span<const CurvePoint> feedback = {};  // slot A's feedback curve; none: flat
    std::span<const CurvePoint> pointsB = {};   // slot B's delay curve; none: slot A's
    std::span<const CurvePoint> feedbackB = {}; // slot B's feedback curve; none: flat
};

// The set a factory preset holds.
CurveSet factoryCurveSet(const FactoryCurve& preset) noexcept;

namespace factory_curve_points {
inline constexpr CurvePoint kShimmerWash[] = {
    {20.0f, 50.0f}, {500.0f, 300.0f}, {2000.0f, 900.0f}, {8000.0f, 1400.0f}, {20000.0f, 1800.0f}};
inline constexpr CurvePoint kGranularHaze[] = {{20.0f, 800.0f},    {150.0f, 1200.0f},
                                               {600.0f, 400.0f},   {3000.0f, 1600.0f},
                                               {12000.0f, 200.0f}, {20000.0f, 1000.0f}};
inline constexpr CurvePoint kRhythmicScatter[] = {{20.0f, 500.0f},   {100.0f, 100.0f},
                                                  {400.0f, 500.0f},  {1600.0f, 100.0f},
                                                  {6000.0f, 500.0f}, {20000.0f, 100.0f}};
// Lows late and highs early in A, the other way round in B; each slot lets its late band ring.
inline constexpr CurvePoint kDuskA[] = {
    {40.0f, 1400.0f}, {400.0f, 900.0f}, {3000.0f, 250.0f}, {16000.0f, 60.0f}};
inline constexpr CurvePoint kDuskFeedbackA[] = {{80.0f, 100.0f}, {800.0f, 70.0f}, {6000.0f, 15.0f}};
inline constexpr CurvePoint kDuskB[] = {
    {40.0f, 80.0f}, {400.0f, 300.0f}, {3000.0f, 1100.0f}, {16000.0f, 1700.0f}};
inline constexpr CurvePoint kDuskFeedbackB[] = {
    {150.0f, 10.0f}, {1500.0f, 60.0f}, {8000.0f, 100.0f}};
// The bass passes once and stays clean; everything above 2 kHz keeps ringing.
inline constexpr CurvePoint kBrightTails[] = {
    {30.0f, 120.0f}, {700.0f, 380.0f}, {5000.0f, 620.0f}, {18000.0f, 900.0f}};
inline constexpr CurvePoint kBrightTailsFeedback[] = {
    {120.0f, 0.0f}, {900.0f, 35.0f}, {2500.0f, 100.0f}};
} // namespace factory_curve_points

inline constexpr FactoryCurve kFactoryCurves[] = {
    {kInitPresetName, kDefaultCurve},
    {"Shimmer Wash", factory_curve_points::kShimmerWash},
    {"Granular Haze", factory_curve_points::kGranularHaze},
    {"Rhythmic Scatter", factory_curve_points::kRhythmicScatter},
    {"Dusk Crossfade", factory_curve_points::kDuskA, factory_curve_points::kDuskFeedbackA,
     factory_curve_points::kDuskB, factory_curve_points::kDuskFeedbackB},
    {"Bright Tails",
     factory_curve_points::kBrightTails,
     factory_curve_points::kBrightTailsFeedback,
     {},
     factory_curve_points::kBrightTailsFeedback},
};

} // namespace zerin
