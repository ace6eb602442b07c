#pragma once

#include "model/curve_point.h"
#include "platform/ui/geometry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The canvas's pointer geometry, apart from the view so that it can be used and tested
// without a drawing library.
namespace zerin {

// A press this close to a point's centre (points, strictly less) picks the point up.
inline constexpr double kHitRadius = 14.0;
// Dragging a point into the bottom strip of this height marks it for deletion on release.
inline constexpr double kDeleteBandHeight = 20.0;

// "440 Hz | 350 ms", "12.3k Hz | 0 ms": kilohertz from 1000 Hz on (by f, not by the text).
std::string formatTooltip(float freq, float delay);
// The value's part of a tooltip on a curve of `kind`: "350 ms", "1/8 dotted | 562 ms" for a
// delay heard snapped to notes at `syncTempo` BPM (0: not synced), "80 %" for feedback.
std::string formatCurveValue(float value, CurveKind kind, double syncTempo = 0.0);
std::string formatTooltip(float freq, float value, CurveKind kind, double syncTempo = 0.0);

// Index of the first point, in list order, whose screen position lies within kHitRadius.
std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveKind kind = CurveKind::delay);

bool isInDeleteBand(Point location, Size canvas);

} // namespace zerin
