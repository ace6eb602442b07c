#include "editor/curve_geometry.h"

#include "model/curve_model.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

struct SegmentHandles {
    Point p1, c1, c2, p2;
};

SegmentHandles segmentHandles(std::span<const Point> p, std::size_t i) {
    const std::size_t n = p.size();
    const Point& p0 = p[i == 0 ? 0 : i - 1];
    const Point& p1 = p[i];
    const Point& p2 = p[i + 1];
    const Point& p3 = p[std::min(i + 2, n - 1)];
    const Point c1{p1.x + (p2.x - p0.x) * kSplineTension / 3.0,
                   p1.y + (p2.y - p0.y) * kSplineTension / 3.0};
    const Point c2{p2.x - (p3.x - p1.x) * kSplineTension / 3.0,
                   p2.y - (p3.y - p1.y) * kSplineTension / 3.0};
    return {p1, c1, c2, p2};
}

} // namespace

Rect plotRect(Size canvas) {
    return {kPlotInsetLeft, kPlotInsetTop, canvas.width - kPlotInsetLeft - kPlotInsetRight,
            canvas.height - kPlotInsetTop - kPlotInsetBottom};
}

Point screenPoint(float freq, float delay, Size canvas) {
    const Rect plot = plotRect(canvas);
    const float f = clampOrLow(freq, C::minFreq, C::maxFreq);
    const float nx = (std::log10(f) - C::logMinFreq()) / C::logFreqRange();
    return {plot.width * nx + plot.x, screenY(delay, canvas)};
}

double screenY(float delay, Size canvas) {
    const Rect plot = plotRect(canvas);
    const float ny = delay / C::maxDelay;
    return plot.height * ny + plot.y;
}

CurvePoint curveValueAt(Point location, Size canvas) {
    const Rect plot = plotRect(canvas);
    // Bounding the fractions well outside 0..1 changes no result (the values are clamped
    // below) but keeps the infinity or NaN of a zero-sized plot, or a wild location, from
    // reaching the float casts; a NaN takes the low end.
    const double fx = clampOrLow((location.x - plot.x) / plot.width, -1.0, 2.0);
    const double fy = clampOrLow((location.y - plot.y) / plot.height, -1.0, 2.0);
    const float freq =
        std::pow(10.0f, C::logMinFreq() + C::logFreqRange() * static_cast<float>(fx));
    const float delay = static_cast<float>(fy) * C::maxDelay;
    return {clampOrLow(freq, C::minFreq, C::maxFreq), clampOrLow(delay, 0.0f, C::maxDelay)};
}

std::vector<CurveControlPoint> sortedByFrequency(std::vector<CurveControlPoint> points) {
    sortByFrequency(points);
    return points;
}

void sortByFrequency(std::vector<CurveControlPoint>& points) {
    std::stable_sort(
        points.begin(), points.end(),
        [](const CurveControlPoint& a, const CurveControlPoint& b) { return a.freq < b.freq; });
}

std::vector<Point> curveScreenPositions(const std::vector<CurveControlPoint>& points, Size canvas) {
    std::vector<Point> positions;
    positions.reserve(points.size());
    for (const CurveControlPoint& p : sortedByFrequency(points))
        positions.push_back(screenPoint(p, canvas));
    return positions;
}

Path smoothCurvePath(std::span<const Point> positions) {
    Path path;
    if (positions.empty()) return path;
    path.moveTo(positions[0]);
    for (std::size_t i = 0; i + 1 < positions.size(); ++i) {
        const SegmentHandles s = segmentHandles(positions, i);
        path.cubicTo(s.c1, s.c2, s.p2);
    }
    return path;
}

ChainPosition chainPosition(std::size_t pointCount, double s) {
    // Clamped so that no s (a particle pushed past an end, a NaN) can index outside the chain.
    s = clampOrLow(s, 0.0, 1.0);
    const double q = static_cast<double>(pointCount - 1) * s;
    const std::size_t i = std::min(pointCount - 2, static_cast<std::size_t>(q));
    return {i, q - static_cast<double>(i)};
}

CurveSample sampleCurve(std::span<const Point> positions, double s) {
    const std::size_t n = positions.size();
    if (n == 0) return {};
    if (n == 1) return {0, positions[0], 0.0};

    const auto [i, u] = chainPosition(n, s);
    const double v = 1.0 - u;

    const SegmentHandles h = segmentHandles(positions, i);
    const double b0 = v * v * v;
    const double b1 = 3.0 * u * v * v;
    const double b2 = 3.0 * u * u * v;
    const double b3 = u * u * u;
    const Point point{b0 * h.p1.x + b1 * h.c1.x + b2 * h.c2.x + b3 * h.p2.x,
                      b0 * h.p1.y + b1 * h.c1.y + b2 * h.c2.y + b3 * h.p2.y};
    return {static_cast<int>(i), point, u};
}

} // namespace zerin
