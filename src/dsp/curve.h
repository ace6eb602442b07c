#pragma once

#include "dsp/constants.h"

#include <cstdint>
#include <vector>

namespace zerin {

struct CurvePoint {
    float freq;  // Hz
    float value; // ms on a delay curve, % on a feedback curve

    friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};

// A curve as every part of Zerin above the kernel's render path hands it on: the unit's
// entry points, the links to it, the command line and the editor's conversions.
using CurvePoints = std::vector<CurvePoint>;

struct CurveData {
    CurvePoint points[kMaxCurvePoints];
    std::int32_t count;
};

// What a curve's values mean. A slot holds one curve of each kind; Zerin has two slots, A and
// B, that `morph` blends. The numbers are those saved states and messages use.
enum class CurveKind : std::uint8_t { delay = 0, feedback = 1 };
enum class CurveSlot : std::uint8_t { a = 0, b = 1 };
inline constexpr int kCurveKindCount = 2;
inline constexpr int kCurveSlotCount = 2;

// The names saved files and messages give them: keys, never to be renamed.
inline constexpr const char* kCurveKindKeys[kCurveKindCount] = {"delay", "feedback"};
inline constexpr const char* kCurveSlotKeys[kCurveSlotCount] = {"a", "b"};

// The longest delay a curve is heard at, by the `delayRange` choice: 2 s, as every session
// saved before there was a choice hears it, or 10 s. Points may hold longer delays; what
// lies beyond the range is heard (and drawn) at its end.
inline constexpr float kDelayRangesMs[] = {2000.0f, 10000.0f};
inline constexpr int kDelayRangeCount = 2;
inline constexpr float kMaxCurveDelayMs = kDelayRangesMs[0];
inline constexpr float kLongestDelayMs = kDelayRangesMs[kDelayRangeCount - 1];
inline constexpr float kMaxCurveFeedbackPercent = 100.0f;

// The longest delay heard under range choice `range` (clamped to the choices).
constexpr float delayRangeMs(int range) {
    return kDelayRangesMs[range <= 0 ? 0
                                     : (range < kDelayRangeCount ? range : kDelayRangeCount - 1)];
}

// The range choice a parameter value names, as the kernel reads it: the nearest, halves up;
// NaN the first.
constexpr int delayRangeOfValue(float value) {
    int nearest = 0;
    while (nearest + 1 < kDelayRangeCount && value >= static_cast<float>(nearest) + 0.5f)
        ++nearest;
    return nearest;
}

// The largest value a curve of `kind` takes (its smallest is 0), a delay under `range`.
constexpr float curveMaxValue(CurveKind kind, int range = 0) {
    return kind == CurveKind::delay ? delayRangeMs(range) : kMaxCurveFeedbackPercent;
}

// The curve every new kernel and editor starts from, and the "Init" preset.
inline constexpr CurvePoint kDefaultCurve[] = {
    {20.0f, 200.0f}, {200.0f, 600.0f}, {1000.0f, 400.0f}, {5000.0f, 800.0f}, {20000.0f, 100.0f}};
inline constexpr int kDefaultCurveCount = 5;
// The feedback curve every new kernel, old state and old preset has: each bin keeps all of the
// Feedback knob, as before there were feedback curves.
inline constexpr CurvePoint kFlatFeedbackCurve[] = {{1000.0f, 100.0f}};

// Both slots' curves of both kinds: what the kernel is handed over whole, so that it never
// plays a mix of two edits.
struct CurveSet {
    CurveData curves[kCurveSlotCount][kCurveKindCount];

    CurveData& at(CurveSlot slot, CurveKind kind) noexcept {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
    const CurveData& at(CurveSlot slot, CurveKind kind) const noexcept {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
};

// The set of an earlier Zerin's one delay curve: both slots that curve, with flat feedback.
void fillSetFromDelayCurve(CurveSet& set, const CurvePoint* points, int count) noexcept;
// Whether two curves hold the same points.
bool sameCurve(const CurveData& a, const CurveData& b) noexcept;

// Fills `data` with `points` in ascending frequency, points of equal frequency in the order
// given: the kernel evaluates a curve in that order, whatever order a preset or a state keeps
// them in. Of more than kMaxCurvePoints points it keeps the lowest kMaxCurvePoints, as a stable
// sort of them all and then the first kMaxCurvePoints would, so that the editor, which sorts
// what it draws, draws what is heard. Points with a NaN frequency are dropped. No allocation:
// safe on the render thread.
void fillCurve(CurveData& data, const CurvePoint* points, int count) noexcept;

// The value of the curve at `freq` Hz: a cubic in log-frequency through every point, limited
// to 0..`ceiling` (curveMaxValue of the curve's kind), and flat beyond the ends at the end
// points' values, no higher than `ceiling`. A single point is flat at its value everywhere;
// no point gives 0.
float evaluateCurve(const CurveData& curve, float freq, float ceiling = kMaxCurveDelayMs) noexcept;

} // namespace zerin
