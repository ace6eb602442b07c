#pragma once

// The analyser under the curve: the input's and the output's spectrum as filled shapes, with
// their held peaks as thin lines, on the canvas's log-frequency grid and a decibel scale of
// their own (-90 to 0 dBFS over the plot's height).

#include "dsp/display_frame.h"
#include "platform/ui/graphics.h"
#include "platform/ui/path.h"

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
    // Shapes `frame` (a placeable levels frame) for a plot of `plot` (canvas points).
    void prepare(const DisplayFrame& frame, const Rect& plot);
    // Nothing shaped; the next shapes are new everywhere.
    void clear();
    void draw(Graphics& g, SpectrumShown shown) const;
    // Where the last prepare changed what draw draws, as a box per few columns of the plot
    // (all of it after a clear or on another plot). Bars rise and fall a little from frame to
    // frame, so this is much less than the plot.
    void changedAreas(std::vector<Rect>& out) const;

private:
    // A row as a bar per column of the plot up from its bottom, or (caps) as the bars' tops.
    void traceRow(const DisplayFrame& frame, int row, const Rect& plot, Path& bars, bool caps);
    Path inputFill, outputFill, inputPeak, outputPeak;
    // Each row's bar tops, column by column (the plot's bottom for none), now and before.
    std::vector<float> tops, previousTops;
    Rect area, previousArea;
};

} // namespace zerin
