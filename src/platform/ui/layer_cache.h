#pragma once

// A view's opaque picture kept at device resolution, drawn again only when it goes stale.
// Painting it back gives the very pixels that drawing would have: it is drawn with the same
// operations at the same scale, covers everything under it, and lands on whole pixels. A view
// that changes far less often than what is drawn over it (the background behind a moving
// curve) pays for its drawing once per change instead of once per frame.

#include "platform/ui/geometry.h"
#include "platform/ui/graphics.h"

#include <cairo.h>

#include <functional>

namespace zerin {

class OpaqueLayerCache {
public:
    OpaqueLayerCache() = default;
    ~OpaqueLayerCache();
    OpaqueLayerCache(const OpaqueLayerCache&) = delete;
    OpaqueLayerCache& operator=(const OpaqueLayerCache&) = delete;

    // The next paint draws the picture again.
    void invalidate() { stale = true; }

    // Paints the picture of `size` points at the user-space origin, drawing it first with
    // `draw` (which must cover all of it with opaque paint) when stale or when the scale or
    // size changed. Where the picture cannot land on whole pixels (a rotated or fractional
    // placement), `draw` draws straight onto `g` instead.
    void paint(Graphics& g, Size size, const std::function<void(Graphics&)>& draw);

private:
    void release();

    cairo_surface_t* surface = nullptr;
    double scale = 0.0;
    Size size;
    bool stale = true;
};

} // namespace zerin
