#include "editor/background_orbs.h"

#include "platform/ui/graphics.h"
#include "platform/ui/path.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/theme.h"

#include <cmath>

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
    const double shown = clock.time();
    if (clock.advance(clockContext->frameTime()) == shown) return;
    picture.invalidate();
    setNeedsDisplay();
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

void drawBackgroundOrbs(Graphics& g, Size size, double t) {
    const double w = size.width;
    const double h = size.height;
    Path orb;
    // A: cyan, left of centre, slightly high.
    addCircle(orb, {0.2 * w, 0.4 * h + 20.0 * std::sin(0.3 * t)},
              std::fmax(0.4 * w + 30.0 * std::sin(0.2 * t), 0.0));
    g.fill(orb, theme::accentCyan.withAlpha(0.1 + 0.03 * std::sin(0.25 * t)));
    // B: pink, right of centre.
    orb.elements.clear();
    addCircle(orb, {0.8 * w, 0.5 * h + 15.0 * std::cos(0.35 * t)},
              std::fmax(0.35 * w + 25.0 * std::cos(0.18 * t), 0.0));
    g.fill(orb, theme::accentPink.withAlpha(0.08 + 0.025 * std::cos(0.3 * t)));
}

} // namespace zerin
