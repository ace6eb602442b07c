#pragma once

// The look the editor's panels and small buttons share, so the top bar, the controls strip
// and the preset panels cannot drift apart.

#include "platform/ui/graphics.h"
#include "platform/ui/layout.h"
#include "widgets/theme.h"

namespace zerin {

// The panel background: `panelBackground` with a top-to-bottom sheen from white at 0.04 to
// clear, filling `rect`. Main thread.
void drawPanelBackground(Graphics& g, const Rect& rect);
// The same as a flexible view, for background(...).
ViewPtr panelBackgroundView();

// A small button's background: a rounded rectangle (continuous corners) filled with white at
// 0.05 and the same outline stroked 1 point wide in `borderSubtle` (centred on the edge, as
// a border drawn over a button). Main thread.
void drawButtonBackground(Graphics& g, const Rect& rect,
                          double cornerRadius = kPanelButtonCornerRadius);
// The same as a flexible view, for background(...).
ViewPtr buttonBackgroundView(double cornerRadius = kPanelButtonCornerRadius);
// `label` on the button background: the usual label of a panel button.
ViewPtr withButtonBackground(ViewPtr label, double cornerRadius = kPanelButtonCornerRadius);

// A 1-point line in `borderSubtle` along the top or bottom edge of whatever it overlays.
enum class PanelEdge { top, bottom };
ViewPtr panelEdgeLine(PanelEdge edge);

} // namespace zerin
