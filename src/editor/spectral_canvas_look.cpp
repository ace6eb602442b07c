// What the canvas's inputs set besides the edited points: the value axis of the kind edited
// (milliseconds, note values at the host's tempo, or percent), the other kind's curve drawn
// faintly, and the curve as heard after morph and the macros.

#include "dsp/note_values.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"

#include <array>
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

} // namespace

bool SpectralCanvasView::takeNewLook() {
    CanvasLook look{inputs.kind,
                    inputs.delayRange,
                    inputs.kind == CurveKind::delay ? inputs.syncTempo : 0.0,
                    inputs.otherCurve,
                    inputs.heardLine,
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

    // The heard line's values lie evenly across the whole axis (heardLineFrequencies).
    heardPath.elements.clear();
    const Rect plot = plotRect(size);
    const std::size_t n = lookShown.heardLine.size();
    const FrequencyView whole;
    for (std::size_t i = 0; i < n && n >= 2; ++i) {
        const double across = static_cast<double>(i) / static_cast<double>(n - 1);
        const auto hz = frequencyAt(plot.x + plot.width * across, plot, whole);
        const Point at{lookShown.view.isFull() ? plot.x + plot.width * across
                                               : screenX(hz, size, lookShown.view),
                       screenY(lookShown.heardLine[i], size, lookShown.axis())};
        if (i == 0)
            heardPath.moveTo(at);
        else
            heardPath.lineTo(at);
    }
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
