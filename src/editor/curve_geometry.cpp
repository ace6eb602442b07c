#include "editor/curve_geometry.h"

#include "model/curve_model.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace C = ZerinCurveConstants;

Rect plotRect(Size canvas) {
    return {kPlotInsetLeft, kPlotInsetTop, canvas.width - kPlotInsetLeft - kPlotInsetRight,
            canvas.height - kPlotInsetTop - kPlotInsetBottom};
}

Point screenPoint(float freq, float value, Size canvas, CurveAxis axis, const FrequencyView& view) {
    return {screenX(freq, canvas, view), screenY(value, canvas, axis)};
}

double screenX(float freq, Size canvas, const FrequencyView& view) {
    const Rect plot = plotRect(canvas);
    const float f = clampOrLow(freq, C::minFreq, C::maxFreq);
    const float nx = (std::log10(f) - view.logLow()) / view.logRange();
    return plot.width * nx + plot.x;
}

double screenY(float value, Size canvas, CurveAxis axis) {
    const Rect plot = plotRect(canvas);
    const float ny = axis.kind == CurveKind::delay ? std::fmin(value, axis.top) / axis.top
                                                   : 1.0f - value / axis.top;
    return plot.height * ny + plot.y;
}

float frequencyAt(double x, const Rect& plot, const FrequencyView& view) {
    // Bounding the fraction well outside 0..1 changes no result (the frequency is clamped
    // below) but keeps the infinity or NaN of a zero-sized plot, or a wild x, from reaching
    // the float cast; a NaN takes the low end.
    const double fx = clampOrLow((x - plot.x) / plot.width, -1.0, 2.0);
    const float freq = std::pow(10.0f, view.logLow() + view.logRange() * static_cast<float>(fx));
    return clampOrLow(freq, view.lowHz, view.highHz);
}

CurvePoint curveValueAt(Point location, Size canvas, CurveAxis axis, const FrequencyView& view) {
    const Rect plot = plotRect(canvas);
    // Bounded as the frequency's fraction is.
    const double fy = clampOrLow((location.y - plot.y) / plot.height, -1.0, 2.0);
    const float top = axis.top;
    const float value = axis.kind == CurveKind::delay ? static_cast<float>(fy) * top
                                                      : (1.0f - static_cast<float>(fy)) * top;
    return {frequencyAt(location.x, plot, view), clampOrLow(value, 0.0f, top)};
}

std::vector<Point> curveScreenPositions(const std::vector<CurveControlPoint>& points, Size canvas,
                                        CurveAxis axis, const FrequencyView& view) {
    std::vector<Point> positions;
    positions.reserve(points.size());
    for (const CurveControlPoint& p : sortedByFrequency(points))
        positions.push_back(screenPoint(p, canvas, axis, view));
    return positions;
}

ChainPosition chainPosition(std::size_t pointCount, double s) {
    // Clamped so that no s (a particle pushed past an end, a NaN) can index outside the chain.
    s = clampOrLow(s, 0.0, 1.0);
    const double q = static_cast<double>(pointCount - 1) * s;
    const std::size_t i = std::min(pointCount - 2, static_cast<std::size_t>(q));
    return {i, q - static_cast<double>(i)};
}

} // namespace zerin
