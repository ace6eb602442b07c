#pragma once

// One display frame of a view host onto a cairo surface of device pixels: only what changed
// since the host's damage was last taken (or everything), cleared first, then drawn with the
// clip set to it. What a window sends, and what an offscreen image checks it against.

#include "platform/ui/color.h"
#include "platform/ui/damage.h"
#include "platform/ui/graphics.h"

#include <cairo.h>

#include <vector>

namespace zerin {

class ViewHost;

struct DamagePaint {
    double scale = 1.0; // pixels per point
    int width = 0;      // the surface, in pixels
    int height = 0;
    bool everything = false; // draw all of it whatever the damage
    Color clearColor{0.0, 0.0, 0.0, 1.0};
};

// Takes the host's damage and draws it; returns the pixels drawn (none: nothing changed).
std::vector<PixelRect> paintDamage(cairo_surface_t* surface, ViewHost& host, const DamagePaint& how,
                                   DrawingCaches& caches = sharedDrawingCaches());

} // namespace zerin
