#include "platform/ui/tooltip.h"

#include "platform/ui/graphics.h"
#include "platform/ui/shapes.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

constexpr double kGap = 6.0;   // between the control and the panel
constexpr double kInset = 2.0; // between the panel and the window's edge
constexpr double kPaddingX = 8.0;
constexpr double kPaddingY = 5.0;
constexpr double kLineHeight = 14.0;
const Font kTitleFont{10.0, FontWeight::semibold};
const Font kBodyFont{10.0, FontWeight::regular};
constexpr Color kFill{0.07, 0.08, 0.12, 0.97};
constexpr Color kBorder{1.0, 1.0, 1.0, 0.12};
constexpr Color kTitle{0.94, 0.95, 0.98, 1.0};
constexpr Color kBody{0.70, 0.74, 0.82, 1.0};

const Font& fontOfLine(std::size_t index) {
    return index == 0 ? kTitleFont : kBodyFont;
}

} // namespace

std::vector<std::string> tooltipLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > 0) lines.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

Size tooltipSize(const std::vector<std::string>& lines) {
    double width = 0.0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        width = std::max(width, measureText(lines[i], fontOfLine(i)).width);
    return {std::ceil(width) + 2.0 * kPaddingX,
            static_cast<double>(lines.size()) * kLineHeight + 2.0 * kPaddingY};
}

Rect tooltipFrame(const Rect& owner, Size size, Size window) {
    double y = owner.maxY() + kGap;
    if (y + size.height > window.height - kInset) y = owner.y - kGap - size.height;
    y = std::max(y, kInset);
    const double x = owner.x + owner.width / 2.0 - size.width / 2.0;
    return {std::clamp(x, kInset, std::max(kInset, window.width - kInset - size.width)), y,
            size.width, size.height};
}

void drawTooltip(Graphics& g, const ShownTooltip& tooltip) {
    Path panel;
    addRoundedRect(panel, tooltip.frame, 5.0);
    g.shadow(panel, Color{0.0, 0.0, 0.0, 0.45}, 6.0, 0.0, 2.0);
    g.fill(panel, kFill);
    g.stroke(panel, kBorder, StrokeStyle{1.0});
    for (std::size_t i = 0; i < tooltip.lines.size(); ++i) {
        const Rect line{tooltip.frame.x + kPaddingX,
                        tooltip.frame.y + kPaddingY + static_cast<double>(i) * kLineHeight,
                        tooltip.frame.width - 2.0 * kPaddingX, kLineHeight};
        g.drawTextInBox(tooltip.lines[i], fontOfLine(i), i == 0 ? kTitle : kBody, line,
                        TextAlignment::leading);
    }
}

} // namespace zerin
