#pragma once

#include "editor/curve_geometry.h"
#include "model/curve_point.h"
#include "platform/ui/geometry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

// Index of the first point, in list order, whose screen position lies within kHitRadius, of
// the points that `view` shows (a point beyond the edges of a zoomed plot is not drawn, and not
// hit).
std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveAxis axis = {},
                                   const FrequencyView& view = {});

bool isInDeleteBand(Point location, Size canvas);

// What plays at a frequency: the delay heard there and its share of the feedback.
struct HeardAt {
    float delayMs = 0.0f;
    float feedbackPercent = 100.0f;
    // Under a stereo spread: the delays the left and the right side hear instead.
    std::optional<std::pair<float, float>> sidesMs;
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
// by the note values `delayAxis` holds; under a spread the sides, "L 200 ms · R 600 ms", in
// milliseconds (a side is off the notes).
std::string formatReadout(float hz, const std::optional<HeardAt>& heard, CurveAxis delayAxis,
                          double syncTempo, const std::optional<HeardLevels>& levels);

// --- typed values (the point menu's fields) ---

// A frequency as the field shows it: "440 Hz", "1.25 kHz".
std::string formatFrequencyField(float hz);
// A value of `axis` as the field shows it: "250 ms"; a delay heard snapped to notes at
// `syncTempo` BPM as the note it is heard as, "1/8 dotted"; "80 %" for feedback.
std::string formatCurveValueField(float value, CurveAxis axis, double syncTempo = 0.0);

// A typed frequency in Hz, clamped to the axis (20..20000 Hz): "440", "440 Hz", "1.5k",
// "1.5 kHz", "12.3k Hz" (as the tooltip shows it), or a note, "A4", "C#3", "Eb2" (A4 =
// 440 Hz). A comma may stand for the decimal point; case and spaces do not matter. None when
// the text is no such thing.
std::optional<float> parseFrequency(std::string_view text);
// A typed value of `axis`, clamped to it. A delay: "250", "250 ms", "1.5 s", "1.5s"; while it
// is synced (`syncTempo` BPM > 0) also a note value, "1/8", "1/8 dotted" ("1/8d", "1/8."),
// "1/4 triplet" ("1/4t"), and what the tooltip shows, "1/8 dotted | 562 ms" (the part before
// the bar counts). Feedback: "80", "80 %". None when the text is no such thing.
std::optional<float> parseCurveValue(std::string_view text, CurveAxis axis, double syncTempo = 0.0);

} // namespace zerin
