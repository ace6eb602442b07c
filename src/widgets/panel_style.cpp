#include "widgets/panel_style.h"

#include "platform/ui/shapes.h"
#include "widgets/theme.h"

#include <utility>

namespace zerin {

namespace {

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

} // namespace

void drawPanelBackground(Graphics& g, const Rect& rect) {
    Path area;
    addRect(area, rect);
    g.fill(area, theme::panelBackground);
    // Clear is white at no opacity, so the sheen fades without greying on the way.
    g.fill(area, LinearGradient{{rect.x, rect.y},
                                {rect.x, rect.maxY()},
                                {{0.0, kWhite.withAlpha(0.04)}, {1.0, kWhite.withAlpha(0.0)}}});
}

ViewPtr panelBackgroundView() {
    return canvas([](Graphics& g, Size size) {
        drawPanelBackground(g, {0.0, 0.0, size.width, size.height});
    });
}

void drawButtonBackground(Graphics& g, const Rect& rect, double cornerRadius) {
    Path outline;
    addRoundedRect(outline, rect, cornerRadius, true);
    g.fill(outline, kWhite.withAlpha(0.05));
    g.stroke(outline, theme::borderSubtle, StrokeStyle{1.0});
}

ViewPtr buttonBackgroundView(double cornerRadius) {
    return canvas([cornerRadius](Graphics& g, Size size) {
        drawButtonBackground(g, {0.0, 0.0, size.width, size.height}, cornerRadius);
    });
}

ViewPtr withButtonBackground(ViewPtr label, double cornerRadius) {
    return background(std::move(label), buttonBackgroundView(cornerRadius));
}

ViewPtr panelEdgeLine(PanelEdge edge) {
    return hitTestingOff(canvas([edge](Graphics& g, Size size) {
        Path line;
        const double y = edge == PanelEdge::top ? 0.0 : size.height - 1.0;
        addRect(line, {0.0, y, size.width, 1.0});
        g.fill(line, theme::borderSubtle);
    }));
}

} // namespace zerin
