#include "platform/ui/animation.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

constexpr double kHandle1 = 0.42;
constexpr double kHandle2 = 0.58;

// One coordinate of the cubic Bézier from 0 to 1 with handles a and b.
double bezier(double s, double a, double b) {
    const double r = 1.0 - s;
    return 3.0 * r * r * s * a + 3.0 * r * s * s * b + s * s * s;
}

double bezierSlope(double s, double a, double b) {
    const double r = 1.0 - s;
    return 3.0 * r * r * a + 6.0 * r * s * (b - a) + 3.0 * s * s * (1.0 - b);
}

// The curve parameter where x reaches `x`: Newton from a good start, bisection when the slope
// is too flat to trust (near the ends).
double parameterForX(double x) {
    double s = x;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(s, kHandle1, kHandle2) - x;
        if (std::abs(error) < 1e-12) return s;
        const double slope = bezierSlope(s, kHandle1, kHandle2);
        if (std::abs(slope) < 1e-6) break;
        s = std::clamp(s - error / slope, 0.0, 1.0);
    }
    double lo = 0.0;
    double hi = 1.0;
    for (int i = 0; i < 60; ++i) {
        s = 0.5 * (lo + hi);
        (bezier(s, kHandle1, kHandle2) < x ? lo : hi) = s;
    }
    return 0.5 * (lo + hi);
}

Rect lerp(const Rect& a, const Rect& b, double p) {
    auto mix = [p](double u, double v) { return u + (v - u) * p; };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.width, b.width), mix(a.height, b.height)};
}

} // namespace

double easeInOut(double t) {
    if (!(t > 0.0)) return 0.0; // NaN too
    if (t >= 1.0) return 1.0;
    // The curve is point-symmetric about (0.5, 0.5); solving one half keeps it exactly so.
    if (t > 0.5) return 1.0 - easeInOut(1.0 - t);
    return bezier(parameterForX(t), 0.0, 1.0);
}

void AnimatedRect::animateTo(const Rect& target, double now, double seconds) {
    if (!hasValue) {
        from = target;
        to = target;
        start = now;
        duration = 0.0;
        hasValue = true;
        return;
    }
    from = valueAt(now);
    to = target;
    start = now;
    duration = std::max(seconds, 0.0);
}

Rect AnimatedRect::valueAt(double now) const {
    if (!isAnimating(now)) return to;
    if (now <= start) return from;
    return lerp(from, to, easeInOut((now - start) / duration));
}

bool AnimatedRect::isAnimating(double now) const {
    return hasValue && duration > 0.0 && now < start + duration;
}

} // namespace zerin
