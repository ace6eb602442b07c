#pragma once

namespace zerin {

// View coordinates in points, origin top left, y growing downwards.
struct Point {
    double x = 0.0;
    double y = 0.0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0.0;
    double height = 0.0;

    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    // Edges on the top and left are inside, those on the bottom and right outside, so
    // rectangles side by side never both hold a point.
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < maxX() && p.y < maxY(); }
    bool contains(const Rect& r) const {
        return r.x >= x && r.y >= y && r.maxX() <= maxX() && r.maxY() <= maxY();
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// The smallest rectangle holding both; an empty one (no width or no height) adds nothing.
inline Rect unionOf(const Rect& a, const Rect& b) {
    if (!(a.width > 0.0 && a.height > 0.0)) return b;
    if (!(b.width > 0.0 && b.height > 0.0)) return a;
    const double x = a.x < b.x ? a.x : b.x;
    const double y = a.y < b.y ? a.y : b.y;
    const double maxX = a.maxX() > b.maxX() ? a.maxX() : b.maxX();
    const double maxY = a.maxY() > b.maxY() ? a.maxY() : b.maxY();
    return {x, y, maxX - x, maxY - y};
}

} // namespace zerin
