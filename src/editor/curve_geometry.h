#pragma once

#include "dsp/curve.h"
#include "editor/frequency_view.h"
#include "model/curve_point.h"
#include "platform/ui/geometry.h"

#include <cmath>
#include <vector>

// Where the curve sits on the canvas, shared by the canvas's input handling, its drawing and
// the particles. Canvas coordinates are points, origin top left, y downwards.
namespace zerin {

// The plot is the canvas less these margins; the left one holds the value labels, the bottom
// one the frequency labels, the top one the editor's choice of curve.
inline constexpr double kPlotInsetLeft = 44.0;
inline constexpr double kPlotInsetRight = 10.0;
inline constexpr double kPlotInsetTop = 34.0;
inline constexpr double kPlotInsetBottom = 28.0;
// How far into the plot the labels of a stereo spread's lines stand: clear of a point at the
// lowest frequency.
inline constexpr double kSideLabelInset = 16.0;

// Clamps `v` into [low, high]; a NaN becomes `low`.
template <typename T> T clampOrLow(T v, T low, T high) {
    return std::fmin(std::fmax(v, low), high);
}

Rect plotRect(Size canvas);

// A curve's value axis: its kind, and the value at its far end (0 is at the other), the
// delay range's longest delay for a delay curve.
struct CurveAxis {
    CurveKind kind = CurveKind::delay;
    float top = kMaxCurveDelayMs;

    constexpr CurveAxis() = default;
    // A curve of `kind` under delay range choice `range`.
    constexpr CurveAxis(CurveKind kind, int range = 0) // NOLINT(google-explicit-constructor)
        : kind(kind), top(curveMaxValue(kind, range)) {}
    friend bool operator==(const CurveAxis&, const CurveAxis&) = default;
};

// Canvas position of (freq Hz, value) on `axis`: log frequency across the plot, from the
// view's low end at its left edge to its high end at its right; a delay runs down it from
// 0 ms at the top, a feedback share up it to 100 % at the top, so that a short delay and a long
// ring both sit high. The frequency is clamped to the axis (20..20000 Hz), not to the view: a
// frequency outside a zoomed view lands outside the plot. A delay longer than the axis's sits
// on its bottom edge, where it is heard; another value outside the axis lands outside the
// plot.
Point screenPoint(float freq, float value, Size canvas, CurveAxis axis = {},
                  const FrequencyView& view = {});
inline Point screenPoint(const CurveControlPoint& point, Size canvas, CurveAxis axis = {},
                         const FrequencyView& view = {}) {
    return screenPoint(point.freq, point.value, canvas, axis, view);
}
// The x of screenPoint alone, and its y alone.
double screenX(float freq, Size canvas, const FrequencyView& view = {});
double screenY(float value, Size canvas, CurveAxis axis = {});

// The frequency at `x` across `plot` on the log axis of `view`, clamped to the view (the low
// end for an x that maps to no number).
float frequencyAt(double x, const Rect& plot, const FrequencyView& view = {});
// The (freq, value) under a canvas position, clamped to the view and the axis. A position
// that maps to no number (a canvas without a plot area) gives the low ends.
CurvePoint curveValueAt(Point location, Size canvas, CurveAxis axis = {},
                        const FrequencyView& view = {});

// The screen positions of the curve sorted by frequency: the ends of its drawn segments.
std::vector<Point> curveScreenPositions(const std::vector<CurveControlPoint>& points, Size canvas,
                                        CurveAxis axis = {}, const FrequencyView& view = {});

struct CurveSample {
    int segment = 0; // index of the segment the sample lies on
    Point point;     // position on the curve
    double u = 0.0;  // parameter within that segment, 0..1
};

// Where s along a chain of `pointCount` points falls: every segment takes an equal share of
// s in [0, 1] (clamped; a NaN counts as 0). Needs at least two points.
struct ChainPosition {
    std::size_t segment = 0;
    double u = 0.0; // within the segment, 0..1
};
ChainPosition chainPosition(std::size_t pointCount, double s);

} // namespace zerin
