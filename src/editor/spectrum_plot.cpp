#include "editor/spectrum_plot.h"

#include "editor/curve_geometry.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

struct Names {
    SpectrumShown shown;
    std::string_view label;
    std::string_view key;
};
constexpr Names kNames[] = {{SpectrumShown::off, "OFF", "off"},
                            {SpectrumShown::input, "IN", "in"},
                            {SpectrumShown::output, "OUT", "out"},
                            {SpectrumShown::both, "BOTH", "both"}};

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
    tops.clear();
}

// The bins of every column, worked out again only for a new plot or analysis.
void SpectrumPlot::placeColumns(const DisplayFrame& frame, const Rect& plot,
                                const FrequencyView& view, std::size_t perRow) {
    const double perHz =
        static_cast<double>(frame.fftSize) / static_cast<double>(frame.stamp.sampleRate);
    if (!columnBins.empty() && plot == columnsPlot && view == columnsView && perHz == binsPerHz &&
        perRow == binsPerRow)
        return;
    columnsPlot = plot;
    columnsView = view;
    binsPerHz = perHz;
    binsPerRow = perRow;
    columnBins.clear();
    const auto last = static_cast<float>(perRow - 1);
    const auto bin = [&](double x) {
        return std::clamp(frequencyAt(x, plot, view) * static_cast<float>(perHz), 0.0f, last);
    };
    for (std::size_t c = 0; c < grid.columns(); ++c) {
        const double x = grid.columnX(c), width = grid.columnWidth(c);
        columnBins.push_back({bin(x), bin(x + width), bin(x + width / 2.0)});
    }
}

// The loudest bin a column spans; where columns are narrower than a bin (the low end), the
// level between the two bins around its centre.
float SpectrumPlot::columnLevel(const float* values, std::size_t perRow,
                                const ColumnBins& bins) const {
    if (bins.to - bins.from < 1.0f) {
        const auto below = static_cast<std::size_t>(bins.centre);
        const std::size_t above = std::min(below + 1, perRow - 1);
        const float u = bins.centre - static_cast<float>(below);
        const float a = std::max(values[below], kSpectrumFloorDb);
        const float b = std::max(values[above], kSpectrumFloorDb);
        return a + (b - a) * u;
    }
    float loudest = kSpectrumFloorDb;
    const auto to = static_cast<std::size_t>(bins.to);
    for (auto k = static_cast<std::size_t>(std::ceil(bins.from)); k <= to; ++k)
        loudest = std::max(loudest, values[k]);
    return loudest;
}

// A top per column and row, on whole points: a bar there reaches down to the grid's bottom.
void SpectrumPlot::prepare(const DisplayFrame& frame, const Rect& plot, const FrequencyView& view) {
    std::swap(tops, previousTops);
    tops.clear();
    previousGrid = grid;
    grid = BarGrid(plot);
    if (frame.kind != DisplayFrameKind::levels || !isPlaceable(frame) ||
        frame.values.size() < rowsOf(frame.kind) * 2 || !(plot.width > 0.0 && plot.height > 0.0))
        return;
    const std::size_t perRow = frame.values.size() / rowsOf(frame.kind);
    placeColumns(frame, plot, view, perRow);
    for (std::size_t row = 0; row < kSpectrumRows; ++row) {
        const float* values = frame.values.data() + row * perRow;
        for (const ColumnBins& bins : columnBins) {
            const double share = std::clamp(
                static_cast<double>(columnLevel(values, perRow, bins) / kSpectrumFloorDb), 0.0,
                1.0);
            tops.push_back(static_cast<float>(
                std::min(std::round(plot.y + share * plot.height), grid.bottom)));
        }
    }
}

void SpectrumPlot::changedAreas(std::vector<Rect>& out) const {
    // Beyond the bars: a cap's row under the top, and a point of slack around.
    constexpr double kSlack = 2.0;
    if (tops.size() != previousTops.size() || grid != previousGrid || tops.empty()) {
        out.push_back({grid.left - kSlack, grid.top - kSlack, grid.right - grid.left + 2.0 * kSlack,
                       grid.bottom - grid.top + 2.0 * kSlack});
        return;
    }
    constexpr std::size_t kGroup = 16; // columns per box
    const std::size_t columns = tops.size() / kSpectrumRows;
    for (std::size_t first = 0; first < columns; first += kGroup) {
        float high = INFINITY, low = -INFINITY;
        for (std::size_t row = 0; row < kSpectrumRows; ++row)
            for (std::size_t c = first; c < std::min(first + kGroup, columns); ++c) {
                const float now = tops[row * columns + c], before = previousTops[row * columns + c];
                if (now == before) continue;
                high = std::min({high, now, before});
                low = std::max({low, now, before});
            }
        if (high > low) continue;
        const double x = grid.columnX(first);
        out.push_back({x - kSlack, high - kSlack,
                       static_cast<double>(kGroup) * BarGrid::kColumn + 2.0 * kSlack,
                       low - high + 1.0 + 2.0 * kSlack});
    }
}

void SpectrumPlot::draw(Graphics& g, SpectrumShown shown) {
    picture.paint(g, grid, tops, shown == SpectrumShown::input || shown == SpectrumShown::both,
                  shown == SpectrumShown::output || shown == SpectrumShown::both);
}

} // namespace zerin
