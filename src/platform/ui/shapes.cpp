#include "platform/ui/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zerin {

namespace {

// Handle length, as a fraction of the radius, of a cubic standing in for a quarter circle.
constexpr double kQuarterHandle = 0.5522847498;

Point offset(Point p, double dx, double dy) {
    return {p.x + dx, p.y + dy};
}

// A corner in its own frame: `corner` is the rectangle's corner, `along` points from the corner
// back along the side the outline arrives on, `away` along the side it leaves on. Local (u, v)
// in units of the radius maps to corner + r·(u·along + v·away).
struct CornerFrame {
    Point corner;
    Point along;
    Point away;
    double radius;

    Point at(double u, double v) const {
        return {corner.x + radius * (u * along.x + v * away.x),
                corner.y + radius * (u * along.y + v * away.y)};
    }
};

// The continuous corner, in units of the radius: a circular arc in the middle (centre (c, c),
// radius rho, covering 50° around the diagonal) and on each side a transition cubic that leaves
// the straight side with zero curvature and meets the arc with the arc's own tangent and
// curvature. It reaches kContinuousReach along each side, against 1 for a quarter circle, which
// is what makes it read as the same size as a circular corner of that radius.
constexpr double kContinuousReach = 1.528;
constexpr double kArcCentre = 0.95;
constexpr double kArcRadius = 0.931;
constexpr double kArcInset = 20.0 * std::numbers::pi / 180.0; // angle left to each transition

struct ContinuousCorner {
    Point transitionHandle1; // both handles on the side: zero curvature where the side ends
    Point transitionHandle2;
    Point arcStart;
    Point arcHandle1;
    Point arcHandle2;
    Point arcEnd;
};

ContinuousCorner makeContinuousCorner() {
    const double s = std::sin(kArcInset);
    const double c = std::cos(kArcInset);
    const Point arcStart{kArcCentre - kArcRadius * s, kArcCentre - kArcRadius * c};
    const Point arcEnd{arcStart.y, arcStart.x};
    // The second handle sits where the arc's tangent at its start crosses the side.
    const double tangentReach = arcStart.y / s;
    const double handle2 = arcStart.x + tangentReach * c;
    // Spacing of the two handles that gives the cubic the arc's curvature where they meet:
    // curvature at the end of a cubic is 2/3 · |d × e| / |e|³ with d, e its last two legs.
    const double spacing = 3.0 * tangentReach * tangentReach / (2.0 * kArcRadius * s);
    const double arcSpan = std::numbers::pi / 2.0 - 2.0 * kArcInset;
    const double arcHandle = 4.0 / 3.0 * std::tan(arcSpan / 4.0) * kArcRadius;
    return {{handle2 + spacing, 0.0},
            {handle2, 0.0},
            arcStart,
            {arcStart.x - arcHandle * c, arcStart.y + arcHandle * s},
            {arcEnd.x + arcHandle * s, arcEnd.y - arcHandle * c},
            arcEnd};
}

const ContinuousCorner& continuousCorner() {
    static const ContinuousCorner corner = makeContinuousCorner();
    return corner;
}

// Draws a corner from (reach, 0) to (0, reach); the path already stands at its start.
void addCorner(Path& path, const CornerFrame& f, bool continuous) {
    if (!continuous) {
        const double k = 1.0 - kQuarterHandle;
        path.cubicTo(f.at(k, 0.0), f.at(0.0, k), f.at(0.0, 1.0));
        return;
    }
    const ContinuousCorner& c = continuousCorner();
    auto at = [&](Point p) { return f.at(p.x, p.y); };
    auto mirrored = [&](Point p) { return f.at(p.y, p.x); };
    path.cubicTo(at(c.transitionHandle1), at(c.transitionHandle2), at(c.arcStart));
    path.cubicTo(at(c.arcHandle1), at(c.arcHandle2), at(c.arcEnd));
    path.cubicTo(mirrored(c.transitionHandle2), mirrored(c.transitionHandle1),
                 f.at(0.0, kContinuousReach));
}

} // namespace

void addRect(Path& path, const Rect& rect) {
    path.moveTo({rect.x, rect.y});
    path.lineTo({rect.maxX(), rect.y});
    path.lineTo({rect.maxX(), rect.maxY()});
    path.lineTo({rect.x, rect.maxY()});
    path.close();
}

void addLine(Path& path, Point from, Point to) {
    path.moveTo(from);
    path.lineTo(to);
}

void addEllipse(Path& path, const Rect& rect) {
    const double rx = rect.width / 2.0;
    const double ry = rect.height / 2.0;
    const Point c{rect.x + rx, rect.y + ry};
    const double kx = kQuarterHandle * rx;
    const double ky = kQuarterHandle * ry;
    path.moveTo(offset(c, rx, 0.0));
    path.cubicTo(offset(c, rx, ky), offset(c, kx, ry), offset(c, 0.0, ry));
    path.cubicTo(offset(c, -kx, ry), offset(c, -rx, ky), offset(c, -rx, 0.0));
    path.cubicTo(offset(c, -rx, -ky), offset(c, -kx, -ry), offset(c, 0.0, -ry));
    path.cubicTo(offset(c, kx, -ry), offset(c, rx, -ky), offset(c, rx, 0.0));
    path.close();
}

void addArc(Path& path, Point center, double radius, double startAngle, double endAngle) {
    auto pointAt = [&](double angle) {
        return Point{center.x + radius * std::cos(angle), center.y + radius * std::sin(angle)};
    };
    path.moveTo(pointAt(startAngle));
    const double sweep = endAngle - startAngle;
    if (!std::isfinite(sweep) || sweep == 0.0) return;
    // A full turn or more only retraces the circle; a few turns keep the path bounded.
    const double limited = std::clamp(sweep, -8.0 * std::numbers::pi, 8.0 * std::numbers::pi);
    const int segments = static_cast<int>(std::ceil(std::abs(limited) / (std::numbers::pi / 2)));
    const double step = limited / segments;
    // Signed, so a sweep towards decreasing angles bends the handles the other way.
    const double handle = 4.0 / 3.0 * std::tan(step / 4.0) * radius;
    double angle = startAngle;
    for (int i = 0; i < segments; ++i) {
        const double next = angle + step;
        const Point from = pointAt(angle);
        const Point to = pointAt(next);
        path.cubicTo(offset(from, -handle * std::sin(angle), handle * std::cos(angle)),
                     offset(to, handle * std::sin(next), -handle * std::cos(next)), to);
        angle = next;
    }
}

void addRoundedRect(Path& path, const Rect& rect, double radius, bool continuous) {
    const double halfShorter = std::max(0.0, std::min(rect.width, rect.height) / 2.0);
    // A continuous corner reaches further than its radius; past the point where it meets the
    // middle of the shorter side it keeps that shape rather than turning back into a circle.
    const double reachFactor = continuous ? kContinuousReach : 1.0;
    const double r = std::clamp(radius, 0.0, halfShorter / reachFactor);
    if (!(r > 0.0)) {
        addRect(path, rect);
        return;
    }
    const double reach = r * reachFactor;
    const double x0 = rect.x;
    const double y0 = rect.y;
    const double x1 = rect.maxX();
    const double y1 = rect.maxY();
    path.moveTo({x0 + reach, y0});
    path.lineTo({x1 - reach, y0});
    addCorner(path, {{x1, y0}, {-1, 0}, {0, 1}, r}, continuous);
    path.lineTo({x1, y1 - reach});
    addCorner(path, {{x1, y1}, {0, -1}, {-1, 0}, r}, continuous);
    path.lineTo({x0 + reach, y1});
    addCorner(path, {{x0, y1}, {1, 0}, {0, -1}, r}, continuous);
    path.lineTo({x0, y0 + reach});
    addCorner(path, {{x0, y0}, {0, 1}, {1, 0}, r}, continuous);
    path.close();
}

void addCapsule(Path& path, const Rect& rect) {
    addRoundedRect(path, rect, std::min(rect.width, rect.height) / 2.0, false);
}

} // namespace zerin
