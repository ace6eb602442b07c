#include "editor/background_orbs.h"

#include "platform/ui/graphics.h"
#include "platform/ui/path.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/theme.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace zerin {

double OrbClock::advance(double now) {
    if (!shown || now - *shown >= interval) shown = now;
    return *shown;
}

void BackgroundOrbsView::layout(const Rect& frame) {
    View::layout(frame);
    UIContext* current = context();
    if (current == clockContext) return;
    clockContext = current;
    frameSubscription.cancel();
    if (current) {
        frameSubscription = current->onFrame([this] { frameTick(); });
        clock.advance(current->frameTime());
    }
}

void BackgroundOrbsView::frameTick() {
    const double before = clock.time();
    if (clock.advance(clockContext->frameTime()) == before) return;
    const Size size{frame().width, frame().height};
    const std::array<Orb, 2> was = backgroundOrbs(size, before);
    const std::array<Orb, 2> now = backgroundOrbs(size, clock.time());
    std::vector<Rect> changed;
    for (std::size_t i = 0; i < was.size(); ++i)
        orbChanges(was[i], now[i], changed);
    for (const Rect& area : changed) {
        picture.invalidate(area);
        setNeedsDisplay(area);
    }
}

void BackgroundOrbsView::draw(Graphics& g) {
    const Size size{frame().width, frame().height};
    picture.paint(g, size, [&](Graphics& picture) {
        Path backdrop;
        addRect(backdrop, {0.0, 0.0, size.width, size.height});
        picture.fill(backdrop, theme::background);
        drawBackgroundOrbs(picture, size, clock.time());
    });
}

std::array<Orb, 2> backgroundOrbs(Size size, double t) {
    const double w = size.width;
    const double h = size.height;
    const auto alpha = [](double a) { return std::round(a * 255.0) / 255.0; };
    return {{// A: cyan, left of centre, slightly high.
             {{0.2 * w, 0.4 * h + 20.0 * std::sin(0.3 * t)},
              std::fmax(0.4 * w + 30.0 * std::sin(0.2 * t), 0.0),
              theme::accentCyan.withAlpha(alpha(0.1 + 0.03 * std::sin(0.25 * t)))},
             // B: pink, right of centre.
             {{0.8 * w, 0.5 * h + 15.0 * std::cos(0.35 * t)},
              std::fmax(0.35 * w + 25.0 * std::cos(0.18 * t), 0.0),
              theme::accentPink.withAlpha(alpha(0.08 + 0.025 * std::cos(0.3 * t)))}}};
}

void drawBackgroundOrbs(Graphics& g, Size size, double t) {
    Path path;
    for (const Orb& orb : backgroundOrbs(size, t)) {
        path.elements.clear();
        addCircle(path, orb.center, orb.radius);
        g.fill(path, orb.color);
    }
}

namespace {

// The box around a circle.
Rect circleBox(Point center, double radius) {
    return {center.x - radius, center.y - radius, 2.0 * radius, 2.0 * radius};
}

} // namespace

void orbChanges(const Orb& before, const Orb& after, std::vector<Rect>& out) {
    // Antialiasing reaches a pixel past the edge, which is at most a point.
    constexpr double kEdge = 1.5;
    constexpr int kSectors = 12;
    if (before.color != after.color) {
        out.push_back(unionOf(circleBox(before.center, before.radius + kEdge),
                              circleBox(after.center, after.radius + kEdge)));
        return;
    }
    const double shift =
        std::hypot(after.center.x - before.center.x, after.center.y - before.center.y);
    if (shift == 0.0 && after.radius == before.radius) return;
    // Around the old centre, the new edge lies within `shift` of its own radius.
    const double inner = std::fmin(before.radius, after.radius) - shift - kEdge;
    const double outer = std::fmax(before.radius, after.radius) + shift + kEdge;
    if (!(inner > 0.0)) {
        out.push_back(circleBox(before.center, outer));
        return;
    }
    // One box per sector of the ring: its four corners and the outer edge where it crosses an
    // axis are its extremes.
    for (int k = 0; k < kSectors; ++k) {
        const double a0 = 2.0 * std::numbers::pi * k / kSectors;
        const double a1 = 2.0 * std::numbers::pi * (k + 1) / kSectors;
        double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
        const auto take = [&](double angle, double radius) {
            const double x = before.center.x + radius * std::cos(angle);
            const double y = before.center.y + radius * std::sin(angle);
            x0 = std::fmin(x0, x);
            y0 = std::fmin(y0, y);
            x1 = std::fmax(x1, x);
            y1 = std::fmax(y1, y);
        };
        for (const double radius : {inner, outer}) {
            take(a0, radius);
            take(a1, radius);
        }
        for (int axis = 0; axis < 4; ++axis) {
            const double angle = axis * std::numbers::pi / 2.0;
            if (angle > a0 && angle < a1) take(angle, outer);
        }
        out.push_back({x0, y0, x1 - x0, y1 - y0});
    }
}

} // namespace zerin
