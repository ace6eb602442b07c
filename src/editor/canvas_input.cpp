#include "editor/canvas_input.h"

#include "dsp/note_values.h"
#include "editor/curve_geometry.h"

#include <cmath>
#include <cstdio>

namespace zerin {

std::string formatTooltip(float freq, float delay) {
    return formatTooltip(freq, delay, CurveKind::delay);
}

std::string formatCurveValue(float value, CurveKind kind, double syncTempo) {
    char text[64];
    if (kind == CurveKind::feedback) {
        std::snprintf(text, sizeof text, "%.0f %%", static_cast<double>(value));
        return text;
    }
    if (!(syncTempo > 0.0)) {
        std::snprintf(text, sizeof text, "%.0f ms", static_cast<double>(value));
        return text;
    }
    const NoteValue& note = noteValues()[nearestNoteValue(value, syncTempo, kMaxCurveDelayMs)];
    // Whole milliseconds, rounded down as a musician reads 562.5 off a delay chart.
    std::snprintf(text, sizeof text, " | %.0f ms", std::floor(note.ms(syncTempo)));
    return noteValueName(note) + text;
}

std::string formatTooltip(float freq, float value, CurveKind kind, double syncTempo) {
    char text[32];
    const double f = freq;
    if (freq >= 1000.0f)
        std::snprintf(text, sizeof text, "%.1fk Hz | ", f / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.0f Hz | ", f);
    return text + formatCurveValue(value, kind, syncTempo);
}

std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveKind kind) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point p = screenPoint(points[i], canvas, kind);
        if (std::hypot(p.x - location.x, p.y - location.y) < kHitRadius) return i;
    }
    return std::nullopt;
}

bool isInDeleteBand(Point location, Size canvas) {
    return location.y > canvas.height - kDeleteBandHeight;
}

} // namespace zerin
