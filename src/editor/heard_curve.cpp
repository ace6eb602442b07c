#include "editor/heard_curve.h"

#include "model/curve_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr double kWobbleAmplitude = 40.0; // points at depth 1
constexpr float kStillDepth = 0.001f;     // below this the curve does not move
// Every segment is halved at least this often, so that an S-bend whose middle happens to lie
// on its chord is not taken for straight, and at most this often.
constexpr int kMinSplits = 2;
constexpr int kMaxSplits = 10;
// How far beside the plot a segment may lie and still be flattened: past the widest stroke.
constexpr double kBeside = 8.0;

struct CurveKnot {
    double u;
    Point point;
};

// The curve point on `segment` at u, moved by the wobble of that size.
Point wobbledPoint(const HeardCurve& curve, std::size_t segment, double u, double wobble) {
    const Point p = heardCurvePoint(curve, segment, u);
    if (wobble == 0.0) return p;
    return {p.x, p.y + lfoWobble(static_cast<int>(segment), u, wobble)};
}

// Appends the pieces from `from` (already in the path) to `to` on one segment.
void appendFlattened(Path& path, const HeardCurve& curve, std::size_t segment, double wobble,
                     CurveKnot from, CurveKnot to, int splits) {
    const double u = 0.5 * (from.u + to.u);
    const CurveKnot middle{u, wobbledPoint(curve, segment, u, wobble)};
    const double offChord = std::hypot(middle.point.x - 0.5 * (from.point.x + to.point.x),
                                       middle.point.y - 0.5 * (from.point.y + to.point.y));
    if (splits >= kMaxSplits || (splits >= kMinSplits && offChord <= kFlatness)) {
        path.lineTo(to.point);
        return;
    }
    appendFlattened(path, curve, segment, wobble, from, middle, splits + 1);
    appendFlattened(path, curve, segment, wobble, middle, to, splits + 1);
}

} // namespace

void prepareHeardCurve(HeardCurve& curve, const std::vector<CurveControlPoint>& points, Size canvas,
                       CurveAxis axis, const FrequencyView& view) {
    curve.canvas = canvas;
    curve.axis = axis;
    curve.view = view;
    curve.sorted.assign(points.begin(), points.end());
    sortByFrequency(curve.sorted);
    curve.positions.clear();
    curve.freqs.clear();
    curve.logFreqs.clear();
    curve.pairs.clear();
    for (const CurveControlPoint& p : curve.sorted) {
        const float f = clampOrLow(p.freq, C::minFreq, C::maxFreq);
        curve.positions.push_back(screenPoint(p, canvas, axis, view));
        curve.freqs.push_back(f);
        curve.logFreqs.push_back(std::log10(static_cast<double>(f)));
        curve.pairs.push_back({p.freq, p.value});
    }
    fillCurve(curve.data, curve.pairs.data(), static_cast<int>(curve.pairs.size()));
}

Point heardCurvePoint(const HeardCurve& curve, std::size_t segment, double u) {
    const Point& a = curve.positions[segment];
    const Point& b = curve.positions[segment + 1];
    const double x = a.x + (b.x - a.x) * u;
    // The ends are the points' own frequencies, exactly, so that a point shared by two
    // segments is evaluated once and the same way from both.
    float freq = 0.0f;
    if (u <= 0.0) {
        freq = curve.freqs[segment];
    } else if (u >= 1.0) {
        freq = curve.freqs[segment + 1];
    } else {
        const double low = curve.logFreqs[segment];
        const double high = curve.logFreqs[segment + 1];
        freq = static_cast<float>(std::pow(10.0, low + (high - low) * u));
    }
    return {x, screenY(evaluateCurve(curve.data, freq, curve.axis.top), curve.canvas, curve.axis)};
}

CurveSample heardCurveSample(const HeardCurve& curve, double s) {
    const std::size_t n = curve.size();
    if (n == 0) return {};
    if (n == 1) return {0, curve.positions[0], 0.0};

    const auto [i, u] = chainPosition(n, s);
    return {static_cast<int>(i), heardCurvePoint(curve, i, u), u};
}

CurveSample heardCurveSample(const std::vector<CurveControlPoint>& points, Size canvas, double s) {
    HeardCurve curve;
    prepareHeardCurve(curve, points, canvas);
    return heardCurveSample(curve, s);
}

double lfoWobbleSize(double lfoPhase, float lfoDepth) {
    if (!(lfoDepth > kStillDepth)) return 0.0;
    const double size = std::sin(lfoPhase) * lfoDepth * kWobbleAmplitude;
    return std::round(size / kWobbleStep) * kWobbleStep;
}

double lfoWobble(int segment, double u, double size) {
    const double bump = std::sin(u * std::numbers::pi) * size;
    return segment % 2 == 0 ? bump : -bump;
}

void heardCurvePath(Path& path, const HeardCurve& curve, double wobble) {
    path.elements.clear();
    const std::size_t n = curve.size();
    if (n == 0) return;
    // Below its first point and above its last the kernel holds their values, so the line
    // runs flat from the plot's left edge and on to its right; a lone point is heard
    // everywhere, a flat line.
    const Rect plot = plotRect(curve.canvas);
    const Point first = n == 1 ? curve.positions[0] : heardCurvePoint(curve, 0, 0.0);
    path.moveTo({std::min(plot.x, first.x), first.y});
    if (n == 1) {
        path.lineTo({std::max(plot.maxX(), first.x), first.y});
        return;
    }
    path.lineTo(first);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        // The wobble is zero at the control points.
        const CurveKnot start{0.0, heardCurvePoint(curve, i, 0.0)};
        const CurveKnot end{1.0, heardCurvePoint(curve, i, 1.0)};
        // Points of equal frequency: the segment has no width and one delay. A segment wholly
        // beside a zoomed plot is never seen: its ends are enough.
        const bool beside = std::max(start.point.x, end.point.x) < plot.x - kBeside ||
                            std::min(start.point.x, end.point.x) > plot.maxX() + kBeside;
        if ((curve.freqs[i] == curve.freqs[i + 1] && wobble == 0.0) || beside)
            path.lineTo(end.point);
        else
            appendFlattened(path, curve, i, wobble, start, end, 0);
    }
    const Point last = path.elements.back().points[0];
    path.lineTo({std::max(plot.maxX(), last.x), last.y});
}

} // namespace zerin
