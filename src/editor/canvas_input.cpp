#include "editor/canvas_input.h"

#include "editor/curve_geometry.h"

#include <cmath>
#include <cstdio>

namespace zerin {

std::string formatTooltip(float freq, float delay) {
    char text[128];
    const double f = freq;
    const double d = delay;
    if (freq >= 1000.0f)
        std::snprintf(text, sizeof text, "%.1fk Hz | %.0f ms", f / 1000.0, d);
    else
        std::snprintf(text, sizeof text, "%.0f Hz | %.0f ms", f, d);
    return text;
}

std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point p = screenPoint(points[i], canvas);
        if (std::hypot(p.x - location.x, p.y - location.y) < kHitRadius) return i;
    }
    return std::nullopt;
}

bool isInDeleteBand(Point location, Size canvas) {
    return location.y > canvas.height - kDeleteBandHeight;
}

} // namespace zerin
