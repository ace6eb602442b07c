#pragma once

// Shapes as paths, built without a drawing library so that geometry can be tested on its own.
// Arcs and ellipses are cubic Béziers (one per quarter turn at most; the radial error is
// below 0.03 % of the radius).

#include "platform/ui/geometry.h"
#include "platform/ui/path.h"

namespace zerin {

void addRect(Path& path, const Rect& rect);
void addLine(Path& path, Point from, Point to);

// The ellipse inscribed in `rect`, clockwise on screen from its rightmost point, closed.
void addEllipse(Path& path, const Rect& rect);
inline void addCircle(Path& path, Point center, double radius) {
    addEllipse(path, {center.x - radius, center.y - radius, 2.0 * radius, 2.0 * radius});
}

// The arc of `radius` around `center` from `startAngle` to `endAngle` (radians, from the
// positive x axis towards the positive y axis, which points down), in the direction of
// increasing angle. Starts with a move to the arc's first point; not closed.
void addArc(Path& path, Point center, double radius, double startAngle, double endAngle);

// A rounded rectangle, clockwise on screen from the top edge. With `continuous` the corners
// blend into the sides with no jump in curvature (a superellipse-like corner reaching 1.528
// radius along each side), as on the panels and buttons; the radius is then limited so that
// reach fits in half the shorter side. Otherwise each corner is a quarter circle and the
// radius is limited to half the shorter side. Closed.
void addRoundedRect(Path& path, const Rect& rect, double radius, bool continuous = true);

// A rectangle whose shorter sides are half circles, closed.
void addCapsule(Path& path, const Rect& rect);

} // namespace zerin
