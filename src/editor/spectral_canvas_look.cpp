// What the canvas's inputs set besides the edited points: the value axis of the kind edited
// (milliseconds, note values at the host's tempo, or percent), the other kind's curve drawn
// faintly, and the curve as heard after morph and the macros.

#include "dsp/note_values.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace zerin {

namespace {

struct ValueMark {
    float value;
    bool strong;
    std::string_view text;
};
constexpr std::array<ValueMark, 7> kDelayMarks{{{0, true, "0"},
                                                {250, false, "250"},
                                                {500, false, "500"},
                                                {750, false, "750"},
                                                {1000, true, "1s"},
                                                {1500, false, "1.5s"},
                                                {2000, true, "2s"}}};
// The 10 s range's axis: every second, the half and the whole strong.
constexpr std::array<ValueMark, 11> kLongDelayMarks{{{0, true, "0"},
                                                     {1000, false, "1s"},
                                                     {2000, false, "2s"},
                                                     {3000, false, "3s"},
                                                     {4000, false, "4s"},
                                                     {5000, true, "5s"},
                                                     {6000, false, "6s"},
                                                     {7000, false, "7s"},
                                                     {8000, false, "8s"},
                                                     {9000, false, "9s"},
                                                     {10000, true, "10s"}}};
constexpr std::array<ValueMark, 5> kFeedbackMarks{{{0, true, "0%"},
                                                   {25, false, "25%"},
                                                   {50, true, "50%"},
                                                   {75, false, "75%"},
                                                   {100, true, "100%"}}};
// Note labels closer than this (points) to a longer one are left out.
constexpr double kNoteLabelGap = 13.0;
// The sides' dashes, on and off (points): the left's long, the right's short, so that the two
// stay apart where they cross the drawn curve or each other.
constexpr std::array<double, 2> kLeftDash{7.0, 4.0};
constexpr std::array<double, 2> kRightDash{2.5, 3.0};

// A heard line's values as a polyline into `path`, cleared first; they lie evenly across the
// whole axis (heardLineFrequencies).
void heardLinePath(Path& path, const std::vector<float>& values, Size size, CurveAxis axis,
                   const FrequencyView& view) {
    path.elements.clear();
    const Rect plot = plotRect(size);
    const std::size_t n = values.size();
    const FrequencyView whole;
    for (std::size_t i = 0; i < n && n >= 2; ++i) {
        const double across = static_cast<double>(i) / static_cast<double>(n - 1);
        const auto hz = frequencyAt(plot.x + plot.width * across, plot, whole);
        const Point at{view.isFull() ? plot.x + plot.width * across : screenX(hz, size, view),
                       screenY(values[i], size, axis)};
        if (i == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
}

// The y of a polyline running left to right at `x`: its first point's left of it, its last
// point's right of it.
double polylineY(const Path& line, double x) {
    if (line.elements.empty()) return 0.0;
    Point from = line.elements.front().points[0];
    if (x <= from.x) return from.y;
    for (const PathElement& element : line.elements) {
        const Point to = element.points[0];
        if (x <= to.x)
            return to.x > from.x ? from.y + (to.y - from.y) * (x - from.x) / (to.x - from.x) : to.y;
        from = to;
    }
    return from.y;
}

// The polyline `line` cut into dashes of `pattern` into `out` (cleared first); the pattern runs
// on across the line's corners.
void dashPath(Path& out, const Path& line, std::array<double, 2> pattern) {
    out.elements.clear();
    if (line.elements.size() < 2) return;
    bool on = true;
    double left = pattern[0]; // of the current dash or gap
    Point from = line.elements.front().points[0];
    out.moveTo(from);
    for (std::size_t i = 1; i < line.elements.size(); ++i) {
        const Point to = line.elements[i].points[0];
        double length = std::hypot(to.x - from.x, to.y - from.y);
        while (length > 0.0) {
            const double step = std::min(left, length);
            const double t = step / length;
            from = {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
            length -= step;
            left -= step;
            if (on)
                out.lineTo(from);
            else if (left <= 0.0)
                out.moveTo(from);
            if (left <= 0.0) {
                on = !on;
                left = pattern[on ? 0 : 1];
            }
        }
    }
}

} // namespace

bool SpectralCanvasView::takeNewLook() {
    CanvasLook look{inputs.kind,
                    inputs.delayRange,
                    inputs.kind == CurveKind::delay ? inputs.syncTempo : 0.0,
                    inputs.otherCurve,
                    inputs.heardLine,
                    inputs.heardLeft,
                    inputs.heardRight,
                    limitedFrequencyView(inputs.frequencyView),
                    inputs.spectrumShown != SpectrumShown::off};
    if (look == lookShown && prepared) return false;
    lookShown = std::move(look);
    prepareLook();
    // The points' colour and place follow the kind.
    pointsShown = {};
    setNeedsDisplay();
    return true;
}

// The value axis, the frequency axis, the faint curve and the heard line for the look and the
// size.
void SpectralCanvasView::prepareLook() {
    markFrequencies();
    axisMarks.clear();
    const auto take = [this](const auto& marks) {
        for (const ValueMark& mark : marks)
            axisMarks.push_back({mark.value, mark.strong, std::string(mark.text)});
    };
    if (lookShown.kind == CurveKind::feedback)
        take(kFeedbackMarks);
    else if (lookShown.syncTempo > 0.0)
        markNoteValues();
    else if (lookShown.axis().top > kMaxCurveDelayMs)
        take(kLongDelayMarks);
    else
        take(kDelayMarks);

    const CurveKind otherKind =
        lookShown.kind == CurveKind::delay ? CurveKind::feedback : CurveKind::delay;
    prepareHeardCurve(other, lookShown.otherCurve, size, {otherKind, lookShown.delayRange},
                      lookShown.view);
    heardCurvePath(otherPath, other, 0.0);

    heardLinePath(heardPath, lookShown.heardLine, size, lookShown.axis(), lookShown.view);
    // The sides are labelled near the plot's left edge, where no readout is drawn.
    const double labelX = plotRect(size).x + kSideLabelInset;
    heardLinePath(scratchPath, lookShown.heardLeft, size, lookShown.axis(), lookShown.view);
    heardLeftLabelY = polylineY(scratchPath, labelX);
    dashPath(heardLeftPath, scratchPath, kLeftDash);
    heardLinePath(scratchPath, lookShown.heardRight, size, lookShown.axis(), lookShown.view);
    heardRightLabelY = polylineY(scratchPath, labelX);
    dashPath(heardRightPath, scratchPath, kRightDash);
    underLayer.invalidate();
    curveLayer.invalidate();
    pointsLayer.invalidate();
}

// Straight note values at the tempo, the beat and the bar strong, from the longest down while
// their labels keep apart; 0 at the top.
void SpectralCanvasView::markNoteValues() {
    double lastY = std::numeric_limits<double>::infinity();
    for (int i = kNoteValueCount - 1; i >= 0; --i) {
        const NoteValue& note = noteValues()[i];
        const auto ms = static_cast<float>(note.ms(lookShown.syncTempo));
        if (note.feel != NoteFeel::straight || ms > lookShown.axis().top) continue;
        const double y = screenY(ms, size, lookShown.axis());
        if (lastY - y < kNoteLabelGap) continue;
        lastY = y;
        const bool strong = note.numerator == 1 && (note.denominator == 1 || note.denominator == 4);
        axisMarks.push_back({ms, strong, noteValueName(note)});
    }
    if (lastY - screenY(0.0f, size, lookShown.axis()) >= kNoteLabelGap)
        axisMarks.push_back({0.0f, true, "0"});
}

} // namespace zerin
