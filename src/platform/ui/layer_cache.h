#pragma once

// A view's picture kept at device resolution, drawn again only when it goes stale. A view that
// changes far less often than what is drawn over it (the background behind a moving curve, the
// curve under its particles) pays for its drawing once per change instead of once per frame.
//
// An opaque picture painted back gives the very pixels that drawing would have: it is drawn
// with the same operations at the same scale, covers everything under it, and lands on whole
// pixels. A translucent picture is drawn onto transparency and composited over what is under
// it, which rounds differently from drawing straight onto it: its pixels may differ from
// direct drawing by a level or two of 255, never by more than the 8-bit rounding of one
// extra composite.

#include "platform/ui/damage.h"
#include "platform/ui/geometry.h"
#include "platform/ui/graphics.h"

#include <cairo.h>

#include <functional>

namespace zerin {

enum class LayerKind {
    opaque,     // `draw` covers all of the picture with opaque paint
    translucent // `draw` may leave any of it clear; the picture is composited over
};

class LayerCache {
public:
    explicit LayerCache(LayerKind kind = LayerKind::opaque) : kind(kind) {}
    ~LayerCache();
    LayerCache(const LayerCache&) = delete;
    LayerCache& operator=(const LayerCache&) = delete;

    // The next paint draws the picture again.
    void invalidate() { stale = true; }
    // The next paint draws again only `area` (points, the picture's own coordinates) of the
    // picture, cut to whole pixels: what drawing everything would give there, and the same
    // pixels as before everywhere else.
    void invalidate(const Rect& area) {
        if (!stale) changed.add(area);
    }

    // Paints the picture of `size` points at the user-space origin, drawing it first with
    // `draw` when stale or when the scale or size changed. Where the picture cannot land on
    // whole pixels (a rotated or fractional placement), `draw` draws straight onto `g`
    // instead.
    void paint(Graphics& g, Size size, const std::function<void(Graphics&)>& draw);

private:
    void release();
    void redraw(Graphics& g, const std::function<void(Graphics&)>& draw);

    LayerKind kind;
    cairo_surface_t* surface = nullptr;
    double scale = 0.0;
    Size size;
    bool stale = true;
    Damage changed; // while not stale
};

} // namespace zerin
