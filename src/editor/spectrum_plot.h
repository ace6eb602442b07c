#pragma once

// The analyser under the curve: the input's and the output's spectrum as bars, with their held
// peaks as thin caps, on the canvas's log-frequency grid and a decibel scale of
// their own (-90 to 0 dBFS over the plot's height).

#include "dsp/display_frame.h"
#include "editor/frequency_view.h"
#include "editor/spectrum_picture.h"
#include "platform/ui/graphics.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zerin {

// Which spectra the canvas shows.
enum class SpectrumShown : std::uint8_t { off, input, output, both };
inline constexpr std::array<SpectrumShown, 4> kAllSpectrumShown = {
    SpectrumShown::off, SpectrumShown::input, SpectrumShown::output, SpectrumShown::both};
// The switch's labels, "OFF", "IN", "OUT", "BOTH", and the words the editor keeps them by.
std::string_view spectrumShownLabel(SpectrumShown shown);
std::string_view spectrumShownKey(SpectrumShown shown);
std::optional<SpectrumShown> spectrumShownFromKey(std::string_view key);

inline constexpr float kSpectrumFloorDb = -90.0f;

// A levels frame's row of a bin, or -infinity when the frame has no such value.
float levelAt(const DisplayFrame& frame, int row, float hz);

class SpectrumPlot {
public:
    // Places the bars of `frame` (a placeable levels frame) on a plot of `plot` (canvas points)
    // that shows `view` of the frequency axis.
    void prepare(const DisplayFrame& frame, const Rect& plot, const FrequencyView& view = {});
    // No bars; the next ones are new everywhere.
    void clear();
    void draw(Graphics& g, SpectrumShown shown);
    // Where the last prepare moved a bar's top, as a box per few columns of the plot (all of
    // it after a clear or on another plot). Bars rise and fall a little from frame to frame,
    // so this is much less than the plot.
    void changedAreas(std::vector<Rect>& out) const;

private:
    // The bins a column of the plot spans, [from, to], and the fraction of a bin its centre
    // lies at: they change only with the plot and the analysis.
    struct ColumnBins {
        float from, to, centre;
    };
    void placeColumns(const DisplayFrame& frame, const Rect& plot, const FrequencyView& view,
                      std::size_t perRow);
    float columnLevel(const float* values, std::size_t perRow, const ColumnBins& bins) const;

    BarGrid grid, previousGrid;
    std::vector<ColumnBins> columnBins; // for this plot and analysis:
    Rect columnsPlot;
    FrequencyView columnsView;
    double binsPerHz = 0.0;
    std::size_t binsPerRow = 0;
    // Each row's bar tops, column by column (the grid's bottom for none), now and before.
    std::vector<float> tops, previousTops;
    SpectrumPicture picture;
};

} // namespace zerin
