#include "editor/spectrum_plot.h"

#include "model/curve_model.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr double kColumn = 2.0; // points between the shapes' corners
// Dim for the input, brighter for what comes out, as the curve's cyan; the peaks thinner still.
constexpr Color kInputFill = Color::rgb255(255, 255, 255, 0.05);
constexpr Color kOutputFill = Color::rgb255(0, 220, 255, 0.11);
constexpr Color kInputPeak = Color::rgb255(255, 255, 255, 0.16);
constexpr Color kOutputPeak = Color::rgb255(0, 220, 255, 0.32);

struct Names {
    SpectrumShown shown;
    std::string_view label;
    std::string_view key;
};
constexpr Names kNames[] = {{SpectrumShown::off, "OFF", "off"},
                            {SpectrumShown::input, "IN", "in"},
                            {SpectrumShown::output, "OUT", "out"},
                            {SpectrumShown::both, "BOTH", "both"}};

float frequencyAt(double x, const Rect& plot) {
    const auto fraction = static_cast<float>((x - plot.x) / plot.width);
    return std::pow(10.0f, C::logMinFreq() + C::logFreqRange() * std::clamp(fraction, 0.0f, 1.0f));
}

// The loudest bin a column spans; where columns are narrower than a bin (the low end), the
// level between the two bins around its frequency.
float columnLevel(const DisplayFrame& frame, int row, float low, float centre, float high) {
    const std::size_t perRow = frame.values.size() / rowsOf(frame.kind);
    const float* values = frame.values.data() + static_cast<std::size_t>(row) * perRow;
    const float binsPerHz =
        static_cast<float>(frame.fftSize) / static_cast<float>(frame.stamp.sampleRate);
    const float last = static_cast<float>(perRow - 1);
    const float from = std::clamp(low * binsPerHz, 0.0f, last);
    const float to = std::clamp(high * binsPerHz, 0.0f, last);
    if (to - from < 1.0f) {
        const float at = std::clamp(centre * binsPerHz, 0.0f, last);
        const auto below = static_cast<std::size_t>(at);
        const std::size_t above = std::min(below + 1, perRow - 1);
        const float u = at - static_cast<float>(below);
        const float a = std::max(values[below], kSpectrumFloorDb);
        const float b = std::max(values[above], kSpectrumFloorDb);
        return a + (b - a) * u;
    }
    float loudest = kSpectrumFloorDb;
    for (auto k = static_cast<std::size_t>(std::ceil(from)); k <= static_cast<std::size_t>(to); ++k)
        loudest = std::max(loudest, values[k]);
    return loudest;
}

} // namespace

std::string_view spectrumShownLabel(SpectrumShown shown) {
    for (const Names& n : kNames)
        if (n.shown == shown) return n.label;
    return "BOTH";
}

std::string_view spectrumShownKey(SpectrumShown shown) {
    for (const Names& n : kNames)
        if (n.shown == shown) return n.key;
    return "both";
}

std::optional<SpectrumShown> spectrumShownFromKey(std::string_view key) {
    for (const Names& n : kNames)
        if (n.key == key) return n.shown;
    return std::nullopt;
}

float levelAt(const DisplayFrame& frame, int row, float hz) {
    if (frame.kind != DisplayFrameKind::levels || !isPlaceable(frame) || row < 0 || row > 3)
        return -INFINITY;
    const std::size_t perRow = frame.values.size() / rowsOf(frame.kind);
    return frame.values[static_cast<std::size_t>(row) * perRow + binAt(frame, hz)];
}

void SpectrumPlot::clear() {
    for (Path* p : {&inputFill, &outputFill, &inputPeak, &outputPeak})
        p->elements.clear();
}

void SpectrumPlot::prepare(const DisplayFrame& frame, const Rect& plot) {
    clear();
    if (frame.kind != DisplayFrameKind::levels || !isPlaceable(frame) ||
        frame.values.size() < rowsOf(frame.kind) * 2 || !(plot.width > 0.0 && plot.height > 0.0))
        return;
    traceRow(frame, 0, plot, inputFill, &inputFill);
    traceRow(frame, 1, plot, outputFill, &outputFill);
    traceRow(frame, 2, plot, inputPeak, nullptr);
    traceRow(frame, 3, plot, outputPeak, nullptr);
}

void SpectrumPlot::traceRow(const DisplayFrame& frame, int row, const Rect& plot, Path& line,
                            Path* fill) {
    const double right = plot.maxX();
    for (double x = plot.x; x <= right + kColumn / 2.0; x += kColumn) {
        const double at = std::min(x, right);
        const float level =
            columnLevel(frame, row, frequencyAt(at - kColumn / 2.0, plot), frequencyAt(at, plot),
                        frequencyAt(at + kColumn / 2.0, plot));
        const double share = std::clamp(static_cast<double>(level / kSpectrumFloorDb), 0.0, 1.0);
        const Point p{at, plot.y + share * plot.height};
        if (line.empty())
            line.moveTo(p);
        else
            line.lineTo(p);
    }
    if (fill == nullptr) return;
    fill->lineTo({right, plot.maxY()});
    fill->lineTo({plot.x, plot.maxY()});
    fill->close();
}

void SpectrumPlot::draw(Graphics& g, SpectrumShown shown) const {
    const bool input = shown == SpectrumShown::input || shown == SpectrumShown::both;
    const bool output = shown == SpectrumShown::output || shown == SpectrumShown::both;
    const StrokeStyle hairline{1.0, LineCap::butt, LineJoin::round};
    if (input && !inputFill.empty()) {
        g.fill(inputFill, kInputFill);
        g.stroke(inputPeak, kInputPeak, hairline);
    }
    if (output && !outputFill.empty()) {
        g.fill(outputFill, kOutputFill);
        g.stroke(outputPeak, kOutputPeak, hairline);
    }
}

} // namespace zerin
