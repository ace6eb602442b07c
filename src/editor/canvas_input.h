#pragma once

#include "editor/curve_geometry.h"
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
// The value's part of a tooltip on `axis`: "350 ms", "1/8 dotted | 562 ms" for a delay heard
// snapped to notes at `syncTempo` BPM (0: not synced; no note longer than the axis), "80 %"
// for feedback.
std::string formatCurveValue(float value, CurveAxis axis, double syncTempo = 0.0);
std::string formatTooltip(float freq, float value, CurveAxis axis, double syncTempo = 0.0);

// Index of the first point, in list order, whose screen position lies within kHitRadius.
std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveAxis axis = {});

bool isInDeleteBand(Point location, Size canvas);

// What plays at a frequency: the delay heard there and its share of the feedback.
struct HeardAt {
    float delayMs = 0.0f;
    float feedbackPercent = 100.0f;
};
// The analyser's input and output levels there, dBFS.
struct HeardLevels {
    float inputDb;
    float outputDb;
};
// "1.00 kHz · B5 +21 ct", "440 Hz · A4 +0 ct": the frequency and the nearest note (A4 =
// 440 Hz, middle C is C4) with the cents from it.
std::string formatFrequencyNote(float hz);
// The hover readout: the frequency and note, then what is known of the rest, as
// "1.00 kHz · B5 +21 ct | 562 ms | fb 80 % | in −32 · out −40 dB"; a synced delay is named
// by the note values `delayAxis` holds.
std::string formatReadout(float hz, const std::optional<HeardAt>& heard, CurveAxis delayAxis,
                          double syncTempo, const std::optional<HeardLevels>& levels);

} // namespace zerin
