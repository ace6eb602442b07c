#include "editor/spectrum_picture.h"

#include "platform/ui/color.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zerin {

namespace {

// Dim for the input, brighter for what comes out, as the curve's cyan; the peaks thinner still.
constexpr std::array<Color, kSpectrumRows> kRowColors = {
    Color::rgb255(255, 255, 255, 0.05), // input
    Color::rgb255(0, 220, 255, 0.11),   // output
    Color::rgb255(255, 255, 255, 0.16), // input's peak
    Color::rgb255(0, 220, 255, 0.32)};  // output's peak
// Each spectrum's peak over its own fill, the output over the input.
constexpr std::array<SpectrumRow, kSpectrumRows> kStacking = {inputFill, inputPeak, outputFill,
                                                              outputPeak};

// What the rows in `set` give, blended over each other onto nothing: a premultiplied ARGB32
// pixel, as cairo would have left it after filling each in turn.
std::uint32_t pixelOf(unsigned set) {
    double a = 0.0, r = 0.0, g = 0.0, b = 0.0;
    for (const SpectrumRow row : kStacking) {
        if ((set & (1u << row)) == 0) continue;
        const Color& c = kRowColors[row];
        r = c.red * c.alpha + r * (1.0 - c.alpha);
        g = c.green * c.alpha + g * (1.0 - c.alpha);
        b = c.blue * c.alpha + b * (1.0 - c.alpha);
        a = c.alpha + a * (1.0 - c.alpha);
    }
    const auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255.0)); };
    return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

} // namespace

BarGrid::BarGrid(const Rect& plot)
    : left(std::floor(plot.x)), top(std::floor(plot.y)), right(plot.maxX()),
      bottom(std::floor(plot.maxY())) {}

std::size_t BarGrid::columns() const {
    return right > left ? static_cast<std::size_t>(std::ceil((right - left) / kColumn)) : 0;
}

double BarGrid::columnWidth(std::size_t column) const {
    return std::min(kColumn, right - columnX(column));
}

SpectrumPicture::~SpectrumPicture() {
    if (surface) cairo_surface_destroy(surface);
}

bool SpectrumPicture::prepare(double newScale, const BarGrid& grid, std::size_t count,
                              unsigned rows) {
    const int width = static_cast<int>(std::ceil((grid.right - grid.left) * newScale));
    const int height = static_cast<int>(std::ceil((grid.bottom - grid.top) * newScale));
    if (surface && newScale == scale && grid == placed && rows == paintedRows &&
        count == paintedTops.size())
        return false;
    if (!surface || cairo_image_surface_get_width(surface) != width ||
        cairo_image_surface_get_height(surface) != height) {
        if (surface) cairo_surface_destroy(surface);
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(width, 1),
                                             std::max(height, 1));
        cairo_surface_set_device_scale(surface, newScale, newScale);
    }
    scale = newScale;
    placed = grid;
    paintedRows = rows;
    for (unsigned set = 0; set < pixels.size(); ++set)
        pixels[set] = pixelOf(set & rows);
    return true;
}

int SpectrumPicture::deviceRow(double y) const {
    const double row = std::round((y - placed.top) * scale);
    return static_cast<int>(
        std::clamp(row, 0.0, static_cast<double>(cairo_image_surface_get_height(surface))));
}

void SpectrumPicture::paint(Graphics& g, const BarGrid& grid, const std::vector<float>& tops,
                            bool input, bool output) {
    const std::size_t columns = grid.columns();
    if (columns == 0 || tops.size() != kSpectrumRows * columns) return;
    const double deviceScale = g.uniformDeviceScale();
    // Turned or skewed, the picture at one pixel a point is scaled onto the context.
    const unsigned rows = (input ? (1u << inputFill | 1u << inputPeak) : 0u) |
                          (output ? (1u << outputFill | 1u << outputPeak) : 0u);
    const bool whole = prepare(deviceScale > 0.0 ? deviceScale : 1.0, grid, tops.size(), rows);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return;
    cairo_surface_flush(surface);
    for (std::size_t c = 0; c < columns; ++c)
        paintColumn(grid, c, columns, tops, whole);
    cairo_surface_mark_dirty(surface);
    paintedTops = tops;

    cairo_t* cr = g.context();
    cairo_save(cr);
    cairo_set_source_surface(cr, surface, grid.left, grid.top);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, grid.left, grid.top, grid.right - grid.left, grid.bottom - grid.top);
    cairo_fill(cr);
    cairo_restore(cr);
}

// Writes the rows of a column's pixels that its new tops change (all of them when `whole`).
void SpectrumPicture::paintColumn(const BarGrid& grid, std::size_t column, std::size_t columns,
                                  const std::vector<float>& tops, bool whole) {
    const int height = cairo_image_surface_get_height(surface);
    std::array<int, kSpectrumRows> from{}, to{};
    int first = whole ? 0 : height, last = whole ? height : 0;
    for (std::size_t row = 0; row < kSpectrumRows; ++row) {
        const float top = tops[row * columns + column];
        const bool bar = top < grid.bottom && (paintedRows & (1u << row)) != 0;
        from[row] = bar ? deviceRow(top) : height;
        to[row] =
            row == inputPeak || row == outputPeak ? (bar ? deviceRow(top + 1.0) : height) : height;
        if (whole) continue;
        const float before = paintedTops[row * columns + column];
        if (before == top) continue;
        first = std::min(first, deviceRow(std::min(before, top)));
        last = std::max(last, deviceRow(std::max(before, top) + 1.0));
    }
    if (first >= last) return;
    const int x0 = static_cast<int>(std::lround((grid.columnX(column) - grid.left) * scale));
    const int x1 =
        std::min(static_cast<int>(std::lround(
                     (grid.columnX(column) + grid.columnWidth(column) - grid.left) * scale)),
                 cairo_image_surface_get_width(surface));
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = first; y < last; ++y) {
        unsigned set = 0;
        for (std::size_t row = 0; row < kSpectrumRows; ++row)
            set |= static_cast<unsigned>(y >= from[row] && y < to[row]) << row;
        const std::uint32_t pixel = pixels[set];
        unsigned char* line = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = x0; x < x1; ++x)
            std::memcpy(line + 4 * x, &pixel, 4);
    }
}

} // namespace zerin
