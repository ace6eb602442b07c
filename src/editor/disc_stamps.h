#pragma once

// Particle discs as coverage stamps: rasterizing a small antialiased circle costs several
// times more than compositing a ready coverage mask, and 240 discs a frame add up. A stamp is
// kept per radius and sub-pixel position, both in steps of a fraction of a device pixel too
// fine to see on a moving dot; the disc's colour and opacity come with the composite.
//
// Owned by one canvas, never shared: cairo keeps, beside each mask, a copy on the display it
// was drawn to, and those copies must go before that display closes. Main thread.

#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

#include <cstdint>
#include <vector>

typedef struct _cairo cairo_t;                 // NOLINT(bugprone-reserved-identifier)
typedef struct _cairo_surface cairo_surface_t; // NOLINT(bugprone-reserved-identifier)

namespace zerin {

class DiscStamps {
public:
    DiscStamps() = default;
    ~DiscStamps();
    DiscStamps(const DiscStamps&) = delete;
    DiscStamps& operator=(const DiscStamps&) = delete;

    // A disc of `radius` points at `center` in `color` on `cr`, `scale` device pixels a point.
    void draw(cairo_t* cr, double scale, Point center, double radius, Color color);

private:
    static constexpr double kSteps = 8.0;      // radius steps per device pixel
    static constexpr double kPhases = 4.0;     // positions per device pixel, each way
    static constexpr double kMaxRadius = 64.0; // device pixels

    struct Stamp {
        cairo_surface_t* surface = nullptr; // A8, one pixel per device pixel
        double reach = 0.0;                 // whole pixels from the stamp's edge to the centre
    };

    const Stamp& find(std::uint32_t radiusSteps, std::uint32_t phaseX, std::uint32_t phaseY);
    Stamp render(double radius, double phaseX, double phaseY) const;
    void clear();

    double stampScale = 0.0;
    // By radius step and phase: a particle's radius is a few points, so the table holds a few
    // thousand entries at most, and finding one is an index, not a hash.
    std::vector<Stamp> stamps;
};

} // namespace zerin
