// Symbol images drawn as stroked paths. Each is designed in a box measured in ems of the font
// it stands next to, about as tall as a capital letter, and stroked with a width that follows
// the font's weight, so a symbol in a bold label looks bold too.

#include "platform/ui/graphics.h"
#include "platform/ui/shapes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zerin {

namespace {

enum class SymbolShape { chevronDown, trayWithArrow, xmark };

struct SymbolInfo {
    std::string_view name;
    SymbolShape shape;
    Size box; // in ems, stroke included
};

constexpr std::array<SymbolInfo, 3> kSymbols{{
    {"chevron.down", SymbolShape::chevronDown, {0.62, 0.38}},
    {"square.and.arrow.down", SymbolShape::trayWithArrow, {0.66, 0.80}},
    {"xmark", SymbolShape::xmark, {0.56, 0.56}},
}};

const SymbolInfo* findSymbol(std::string_view name) {
    for (const SymbolInfo& info : kSymbols)
        if (info.name == name) return &info;
    return nullptr;
}

double symbolSize(const Font& font) {
    return std::isfinite(font.size) ? std::clamp(font.size, 0.0, 1000.0) : 0.0;
}

// Stroke width in ems: close to the stem of the font's glyphs at each weight.
double lineWidthEms(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return 0.075;
        case FontWeight::medium:
            return 0.09;
        case FontWeight::semibold:
            return 0.105;
        case FontWeight::bold:
            return 0.125;
    }
    return 0.075;
}

// The symbol's centre line in `r`, the box less half a stroke on every side, so that the ink
// stays inside the measured box.
Path symbolPath(SymbolShape shape, const Rect& r) {
    Path path;
    auto at = [&](double u, double v) { return Point{r.x + u * r.width, r.y + v * r.height}; };
    switch (shape) {
        case SymbolShape::chevronDown:
            path.moveTo(at(0, 0));
            path.lineTo(at(0.5, 1));
            path.lineTo(at(1, 0));
            break;
        case SymbolShape::trayWithArrow:
            // The tray: open at the top where the arrow goes in.
            path.moveTo(at(0.3, 0.36));
            path.lineTo(at(0, 0.36));
            path.lineTo(at(0, 1));
            path.lineTo(at(1, 1));
            path.lineTo(at(1, 0.36));
            path.lineTo(at(0.7, 0.36));
            // The arrow, its point well inside the tray.
            addLine(path, at(0.5, 0), at(0.5, 0.68));
            path.moveTo(at(0.27, 0.47));
            path.lineTo(at(0.5, 0.68));
            path.lineTo(at(0.73, 0.47));
            break;
        case SymbolShape::xmark:
            addLine(path, at(0, 0), at(1, 1));
            addLine(path, at(1, 0), at(0, 1));
            break;
    }
    return path;
}

} // namespace

bool isKnownSymbol(std::string_view name) {
    return findSymbol(name) != nullptr;
}

Size measureSymbol(std::string_view name, const Font& font) {
    const SymbolInfo* info = findSymbol(name);
    if (info == nullptr) return {};
    const double size = symbolSize(font);
    return {info->box.width * size, info->box.height * size};
}

void Graphics::drawSymbol(std::string_view name, const Font& font, const Color& color,
                          Point center) {
    const SymbolInfo* info = findSymbol(name);
    const double size = symbolSize(font);
    if (info == nullptr || !(size > 0.0)) return;
    const double width = lineWidthEms(font.weight) * size;
    const Size box = measureSymbol(name, font);
    const Rect inner{center.x - box.width / 2 + width / 2, center.y - box.height / 2 + width / 2,
                     std::max(0.0, box.width - width), std::max(0.0, box.height - width)};
    stroke(symbolPath(info->shape, inner), color, {width, LineCap::round, LineJoin::round, 10.0});
}

} // namespace zerin
