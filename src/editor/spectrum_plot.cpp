#include "editor/spectrum_plot.h"

#include "model/curve_model.h"
#include "platform/ui/shapes.h"
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
    tops.clear();
}

void SpectrumPlot::prepare(const DisplayFrame& frame, const Rect& plot) {
    clear();
    std::swap(tops, previousTops);
    previousArea = area;
    area = plot;
    tops.clear();
    if (frame.kind != DisplayFrameKind::levels || !isPlaceable(frame) ||
        frame.values.size() < rowsOf(frame.kind) * 2 || !(plot.width > 0.0 && plot.height > 0.0))
        return;
    traceRow(frame, 0, plot, inputFill, false);
    traceRow(frame, 1, plot, outputFill, false);
    traceRow(frame, 2, plot, inputPeak, true);
    traceRow(frame, 3, plot, outputPeak, true);
}

// A bar per column, on whole points: cairo fills rectangles that land on the pixel grid
// without tracing edges, where the same shape as a polygon of 430 corners costs milliseconds.
void SpectrumPlot::traceRow(const DisplayFrame& frame, int row, const Rect& plot, Path& bars,
                            bool caps) {
    const double right = plot.maxX();
    const double bottom = std::floor(plot.maxY());
    for (double x = std::floor(plot.x); x < right; x += kColumn) {
        const double width = std::min(kColumn, right - x);
        const double centre = x + width / 2.0;
        const float level = columnLevel(frame, row, frequencyAt(x, plot), frequencyAt(centre, plot),
                                        frequencyAt(x + width, plot));
        const double share = std::clamp(static_cast<double>(level / kSpectrumFloorDb), 0.0, 1.0);
        const double top = std::min(std::round(plot.y + share * plot.height), bottom);
        tops.push_back(static_cast<float>(top));
        if (top >= bottom) continue;
        addRect(bars, {x, top, width, caps ? 1.0 : bottom - top});
    }
}

void SpectrumPlot::changedAreas(std::vector<Rect>& out) const {
    // Beyond the bars: a cap's row under the top, and a point of slack around.
    constexpr double kSlack = 2.0;
    if (tops.size() != previousTops.size() || area != previousArea || tops.empty()) {
        out.push_back({area.x - kSlack, area.y - kSlack, area.width + 2.0 * kSlack,
                       area.height + 2.0 * kSlack});
        return;
    }
    constexpr std::size_t kGroup = 48; // columns per box
    const std::size_t columns = tops.size() / 4;
    for (std::size_t first = 0; first < columns; first += kGroup) {
        float high = INFINITY, low = -INFINITY;
        for (std::size_t row = 0; row < 4; ++row)
            for (std::size_t c = first; c < std::min(first + kGroup, columns); ++c) {
                const float now = tops[row * columns + c], before = previousTops[row * columns + c];
                if (now == before) continue;
                high = std::min({high, now, before});
                low = std::max({low, now, before});
            }
        if (high > low) continue;
        const double x = std::floor(area.x) + static_cast<double>(first) * kColumn;
        out.push_back({x - kSlack, high - kSlack,
                       static_cast<double>(kGroup) * kColumn + 2.0 * kSlack,
                       low - high + 1.0 + 2.0 * kSlack});
    }
}

void SpectrumPlot::draw(Graphics& g, SpectrumShown shown) const {
    const bool input = shown == SpectrumShown::input || shown == SpectrumShown::both;
    const bool output = shown == SpectrumShown::output || shown == SpectrumShown::both;
    if (input) {
        g.fill(inputFill, kInputFill);
        g.fill(inputPeak, kInputPeak);
    }
    if (output) {
        g.fill(outputFill, kOutputFill);
        g.fill(outputPeak, kOutputPeak);
    }
}

} // namespace zerin
