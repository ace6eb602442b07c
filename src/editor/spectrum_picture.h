#pragma once

// The analyser's bars as pixels kept from frame to frame. A bar per column, from its top down
// to the plot's bottom, and a cap one point tall at its held peak. New levels move the tops
// of a few bars by a few points; only those pixels are written again, and the picture is
// composited once over what lies under it. Filling the bars as shapes instead costs a
// rectangle per column and row through cairo's clipper at every frame, and every pixel of
// both spectra blended twice.
//
// Owned by one canvas. Main thread.

#include "platform/ui/geometry.h"
#include "platform/ui/graphics.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct _cairo_surface cairo_surface_t; // NOLINT(bugprone-reserved-identifier)

namespace zerin {

// Where the bars stand on a plot, in points: columns 2 points wide from the whole point at or
// left of the plot's left edge, tops on whole points, down to the whole point at or above the
// plot's bottom (a top there is no bar).
struct BarGrid {
    static constexpr double kColumn = 2.0;
    double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;

    BarGrid() = default;
    explicit BarGrid(const Rect& plot);
    std::size_t columns() const;
    double columnX(std::size_t column) const {
        return left + kColumn * static_cast<double>(column);
    }
    double columnWidth(std::size_t column) const;
    friend bool operator==(const BarGrid&, const BarGrid&) = default;
};

// The rows of a bar's tops, in the order they are drawn over each other.
enum SpectrumRow : std::size_t { inputFill, outputFill, inputPeak, outputPeak, kSpectrumRows };

class SpectrumPicture {
public:
    SpectrumPicture() = default;
    ~SpectrumPicture();
    SpectrumPicture(const SpectrumPicture&) = delete;
    SpectrumPicture& operator=(const SpectrumPicture&) = delete;

    // Brings the pixels to `tops` (kSpectrumRows rows of `grid.columns()` tops, row after row)
    // with the input's rows, the output's or both, and composites the picture onto `g`.
    void paint(Graphics& g, const BarGrid& grid, const std::vector<float>& tops, bool input,
               bool output);

private:
    // Whether the picture must be drawn whole: new size, scale, grid or choice of spectra.
    bool prepare(double newScale, const BarGrid& grid, std::size_t count, unsigned rows);
    void paintColumn(const BarGrid& grid, std::size_t column, std::size_t columns,
                     const std::vector<float>& tops, bool whole);
    int deviceRow(double y) const;

    cairo_surface_t* surface = nullptr; // ARGB32 at device resolution over the grid
    double scale = 0.0;
    BarGrid placed;
    unsigned paintedRows = 0; // bit k: row k shown
    std::vector<float> paintedTops;
    // The premultiplied pixel for each set of the four rows covering it (bit k: row k).
    std::array<std::uint32_t, 1u << kSpectrumRows> pixels{};
};

} // namespace zerin
