#include "editor/canvas_input.h"

#include "dsp/note_values.h"
#include "editor/curve_geometry.h"

#include <cmath>
#include <cstdio>

namespace zerin {

std::string formatTooltip(float freq, float delay) {
    return formatTooltip(freq, delay, CurveKind::delay);
}

std::string formatCurveValue(float value, CurveAxis axis, double syncTempo) {
    char text[64];
    if (axis.kind == CurveKind::feedback) {
        std::snprintf(text, sizeof text, "%.0f %%", static_cast<double>(value));
        return text;
    }
    if (!(syncTempo > 0.0)) {
        std::snprintf(text, sizeof text, "%.0f ms", static_cast<double>(value));
        return text;
    }
    const NoteValue& note = noteValues()[nearestNoteValue(value, syncTempo, axis.top)];
    // Whole milliseconds, rounded down as a musician reads 562.5 off a delay chart.
    std::snprintf(text, sizeof text, " | %.0f ms", std::floor(note.ms(syncTempo)));
    return noteValueName(note) + text;
}

std::string formatTooltip(float freq, float value, CurveAxis axis, double syncTempo) {
    char text[32];
    const double f = freq;
    if (freq >= 1000.0f)
        std::snprintf(text, sizeof text, "%.1fk Hz | ", f / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.0f Hz | ", f);
    return text + formatCurveValue(value, axis, syncTempo);
}

std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas, CurveAxis axis) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point p = screenPoint(points[i], canvas, axis);
        if (std::hypot(p.x - location.x, p.y - location.y) < kHitRadius) return i;
    }
    return std::nullopt;
}

std::string formatFrequencyNote(float hz) {
    char text[96];
    const double f = hz;
    if (!(f > 0.0) || !std::isfinite(f)) return "-";
    const double midi = 69.0 + 12.0 * std::log2(f / 440.0);
    const auto note = static_cast<long>(std::lround(midi));
    const auto cents = static_cast<long>(std::lround((midi - static_cast<double>(note)) * 100.0));
    const std::string name = midiNoteName(note);
    // A real minus sign, as the musical readouts print it.
    const char* sign = cents < 0 ? "\u2212" : "+";
    if (f >= 1000.0)
        std::snprintf(text, sizeof text, "%.2f kHz \u00b7 %s %s%ld ct", f / 1000.0, name.c_str(),
                      sign, std::labs(cents));
    else
        std::snprintf(text, sizeof text, "%.0f Hz \u00b7 %s %s%ld ct", f, name.c_str(), sign,
                      std::labs(cents));
    return text;
}

namespace {

std::string decibels(float db) {
    if (!(db > -120.0f)) return "\u2212\u221e";
    char text[32];
    const long whole = std::lround(db);
    std::snprintf(text, sizeof text, "%s%ld", whole < 0 ? "\u2212" : "", std::labs(whole));
    return text;
}

} // namespace

std::string formatReadout(float hz, const std::optional<HeardAt>& heard, CurveAxis delayAxis,
                          double syncTempo, const std::optional<HeardLevels>& levels) {
    std::string text = formatFrequencyNote(hz);
    if (heard) {
        char feedback[32];
        std::snprintf(feedback, sizeof feedback, " | fb %.0f %%",
                      static_cast<double>(heard->feedbackPercent));
        text += " | " + formatCurveValue(heard->delayMs, delayAxis, syncTempo) + feedback;
    }
    if (levels)
        text += " | in " + decibels(levels->inputDb) + " \u00b7 out " + decibels(levels->outputDb) +
                " dB";
    return text;
}

bool isInDeleteBand(Point location, Size canvas) {
    return location.y > canvas.height - kDeleteBandHeight;
}

} // namespace zerin
