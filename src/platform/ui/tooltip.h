#pragma once

// What a control says about itself when the pointer rests on it: a small panel under the
// control (over it near the window's bottom edge), never covering it, drawn by the host over
// the whole tree. A view that has something to say sets View::tooltip.

#include "platform/ui/geometry.h"

#include <string>
#include <string_view>
#include <vector>

namespace zerin {

class Graphics;

// How long the pointer rests on a control before its tooltip shows, in seconds.
inline constexpr double kTooltipDelay = 0.6;

struct ShownTooltip {
    std::vector<std::string> lines; // the first is the title
    Rect frame;                     // root coordinates
};

// The lines of a tooltip's text (split at newlines, empty lines dropped).
std::vector<std::string> tooltipLines(std::string_view text);

// The panel's size for `lines`.
Size tooltipSize(const std::vector<std::string>& lines);

// Where a panel of `size` goes for a control at `owner` (both in root coordinates) in a window
// of `window`: centred under the control, else over it, kept inside the window.
Rect tooltipFrame(const Rect& owner, Size size, Size window);

// The panel, its soft shadow included, lies within `frame` grown by this on every side.
inline constexpr double kTooltipMargin = 10.0;

void drawTooltip(Graphics& g, const ShownTooltip& tooltip);

} // namespace zerin
