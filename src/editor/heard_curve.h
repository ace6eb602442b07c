#pragma once

#include "dsp/curve.h"
#include "editor/curve_geometry.h"
#include "model/curve_point.h"
#include "platform/ui/geometry.h"
#include "platform/ui/path.h"

#include <cstddef>
#include <vector>

// The curve as the audio hears it, laid out on the canvas. The kernel evaluates the points as
// a cubic in log-frequency (evaluateCurve), not as the 2-D spline through their screen
// positions, and the two part by hundreds of milliseconds when the points are unevenly spaced.
// So the canvas draws the kernel's own evaluation: between neighbouring points x moves
// linearly (x is linear in log-frequency) and y is the delay evaluateCurve gives there.
namespace zerin {

// A curve prepared once per frame and shared by the fill, the stroke and the particles. The
// vectors keep their storage from frame to frame.
struct HeardCurve {
    Size canvas;
    CurveAxis axis;
    FrequencyView view;                    // the stretch of the frequency axis the plot shows
    std::vector<CurveControlPoint> sorted; // by ascending frequency, equal ones in list order
    std::vector<Point> positions;          // screenPoint of every sorted point
    std::vector<float> freqs;              // every sorted frequency clamped to the axis
    std::vector<double> logFreqs;          // and its log10
    std::vector<CurvePoint> pairs;         // the sorted curve as the editor hands it over
    CurveData data{};                      // what the kernel keeps of it: the lowest 32

    std::size_t size() const { return positions.size(); }
    // Fill, stroke and particles need a segment.
    bool drawable() const { return positions.size() >= 2; }
};

// Rebuilds `curve` for `points` (in any order) of a curve on `axis` on a canvas that shows
// `view` of the frequency axis.
void prepareHeardCurve(HeardCurve& curve, const std::vector<CurveControlPoint>& points, Size canvas,
                       CurveAxis axis = {}, const FrequencyView& view = {});

// The canvas point of `segment` (between sorted points segment and segment + 1) at parameter
// u in [0, 1]. Needs a drawable curve and a segment below size() - 1.
Point heardCurvePoint(const HeardCurve& curve, std::size_t segment, double u);

// The point at s in [0, 1] along the whole curve, spread over the segments as chainPosition
// spreads it (equal shares of s per segment), with its segment and local parameter, which
// drive the LFO wobble and place the particles. s is clamped; a curve of one point gives that
// point, an empty one the origin.
CurveSample heardCurveSample(const HeardCurve& curve, double s);
CurveSample heardCurveSample(const std::vector<CurveControlPoint>& points, Size canvas, double s);

// How far (points, down positive) the LFO at `lfoPhase` and `lfoDepth` moves the middle of
// the first segment; every segment's bump is this size, alternating in sign. It moves in steps
// of kWobbleStep: at the default rate and depth the curve then takes a new shape about 12
// times a second instead of at every frame, and between shapes the editor paints the curve
// it keeps instead of stroking it again. Zero below a depth of 0.001.
double lfoWobbleSize(double lfoPhase, float lfoDepth);
inline constexpr double kWobbleStep = 0.5;

// The displacement of a curve point on `segment` at u for a wobble of `size`: zero at the
// control points, largest mid-segment, alternating in sign from segment to segment.
double lfoWobble(int segment, double u, double size);

// Each segment is halved until every piece lies within this distance (points) of the curve:
// smooth to the eye with far fewer pieces than a fixed count where the curve is gentle, which
// matters because stroking costs in proportion to the pieces.
inline constexpr double kFlatness = 0.1;

// The curve as heard, moved by a wobble of `size` (lfoWobbleSize), as a polyline into `path`
// (cleared first; its storage is kept), flattened per segment to kFlatness, from the plot's
// left edge to its right: flat beyond the end points, and a flat line for one point, as the
// kernel plays them. Empty for no point.
void heardCurvePath(Path& path, const HeardCurve& curve, double wobble);

} // namespace zerin
