// The canvas's tips: the dragged point's value, and the readout of what lies under the
// pointer while it hovers (frequency and note, the delay and feedback heard there, the levels).

#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/shapes.h"
#include "widgets/theme.h"

#include <algorithm>

namespace zerin {

namespace {

constexpr double kTooltipPaddingX = 8.0;
constexpr double kTooltipPaddingY = 4.0;
constexpr double kTooltipCornerRadius = 4.0;
constexpr double kTooltipRise = 24.0; // the box's centre above the pointer
const Font kTooltipFont{10.0, FontWeight::medium, FontDesign::monospaced};

// Above the pointer, or below it where the canvas's top leaves no room; inside the canvas.
Rect tipBox(const std::string& text, Point pointer, Size canvas) {
    const Size textSize = measureText(text, kTooltipFont);
    const double width = textSize.width + 2.0 * kTooltipPaddingX;
    const double height = textSize.height + 2.0 * kTooltipPaddingY;
    const double edge = 1.0; // room for the border's stroke
    double top = pointer.y - kTooltipRise - height / 2.0;
    if (top < edge) top = pointer.y + kTooltipRise - height / 2.0;
    top = std::clamp(top, edge, std::max(edge, canvas.height - height - edge));
    const double left =
        std::clamp(pointer.x - width / 2.0, edge, std::max(edge, canvas.width - width - edge));
    return Rect{left, top, width, height};
}

void drawTip(Graphics& g, Path& scratch, const std::string& text, const Rect& box) {
    scratch.elements.clear();
    addRoundedRect(scratch, box, kTooltipCornerRadius, true);
    g.fill(scratch, theme::panelBackground);
    g.stroke(scratch, theme::borderSubtle, StrokeStyle{1.0});
    g.drawText(text, kTooltipFont, Color{1.0, 1.0, 1.0, 1.0},
               {box.x + box.width / 2.0, box.y + box.height / 2.0});
}

} // namespace

std::optional<Rect> SpectralCanvasView::tooltipBox() const {
    if (!viewState.tooltipText) return std::nullopt;
    return tipBox(*viewState.tooltipText, viewState.tooltipPosition, size);
}

// Only while no point is dragged: then the drag's own tip shows, and nothing covers the point.
std::optional<std::string> SpectralCanvasView::hoverText() const {
    if (!viewState.hoverPosition || viewState.activePointID) return std::nullopt;
    const Point at = *viewState.hoverPosition;
    if (!plotRect(size).contains(at)) return std::nullopt;
    const float hz = curveValueAt(at, size, inputs.axis(), lookShown.view).freq;
    std::optional<HeardAt> heard;
    if (inputs.heardAt) heard = inputs.heardAt(hz);
    std::optional<HeardLevels> levels;
    if (levelsShown && spectrumShownNow != SpectrumShown::off)
        levels = HeardLevels{levelAt(*levelsShown, 0, hz), levelAt(*levelsShown, 1, hz)};
    return formatReadout(hz, heard, {CurveKind::delay, inputs.delayRange}, inputs.syncTempo,
                         levels);
}

std::optional<Rect> SpectralCanvasView::hoverBox() const {
    const std::optional<std::string> text = hoverText();
    if (!text) return std::nullopt;
    return tipBox(*text, *viewState.hoverPosition, size);
}

void SpectralCanvasView::drawTooltip(Graphics& g) {
    if (const std::optional<Rect> box = tooltipBox())
        drawTip(g, scratchPath, *viewState.tooltipText, *box);
    if (const std::optional<std::string> text = hoverText())
        drawTip(g, scratchPath, *text, tipBox(*text, *viewState.hoverPosition, size));
}

void SpectralCanvasView::pointerHovered(Point location) {
    viewState.hoverPosition = location;
}

void SpectralCanvasView::pointerExited() {
    viewState.hoverPosition.reset();
}

} // namespace zerin
