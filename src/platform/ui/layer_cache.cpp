#include "platform/ui/layer_cache.h"

#include <cmath>

namespace zerin {

LayerCache::~LayerCache() {
    release();
}

void LayerCache::release() {
    if (surface) cairo_surface_destroy(surface);
    surface = nullptr;
}

void LayerCache::redraw(Graphics& g, const std::function<void(Graphics&)>& draw) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const std::vector<PixelRect> areas = stale ? std::vector<PixelRect>{{0, 0, width, height}}
                                               : changed.pixelRects(scale, width, height);
    stale = false;
    changed.clear();
    if (areas.empty()) return;
    cairo_t* own = cairo_create(surface);
    for (const PixelRect& r : areas)
        cairo_rectangle(own, r.x, r.y, r.width, r.height);
    cairo_clip(own);
    if (kind == LayerKind::translucent) {
        cairo_set_operator(own, CAIRO_OPERATOR_CLEAR);
        cairo_paint(own);
        cairo_set_operator(own, CAIRO_OPERATOR_OVER);
    }
    cairo_scale(own, scale, scale);
    {
        Graphics picture(own, g.drawingCaches());
        picture.drawOnlyIn(areas);
        draw(picture);
    }
    cairo_destroy(own);
    cairo_surface_flush(surface);
}

void LayerCache::paint(Graphics& g, Size pictureSize, const std::function<void(Graphics&)>& draw) {
    cairo_t* cr = g.context();
    const double deviceScale = g.uniformDeviceScale();
    double x = 0.0, y = 0.0;
    cairo_user_to_device(cr, &x, &y);
    const int width = static_cast<int>(std::ceil(pictureSize.width * deviceScale));
    const int height = static_cast<int>(std::ceil(pictureSize.height * deviceScale));
    if (deviceScale <= 0.0 || x != std::round(x) || y != std::round(y) || width <= 0 ||
        height <= 0) {
        draw(g);
        return;
    }
    if (!surface || deviceScale != scale || pictureSize != size) {
        release();
        surface = cairo_image_surface_create(
            kind == LayerKind::opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, width, height);
        scale = deviceScale;
        size = pictureSize;
        stale = true;
    }
    if (stale || !changed.empty()) redraw(g, draw);
    cairo_save(cr);
    cairo_scale(cr, 1.0 / scale, 1.0 / scale);
    cairo_set_source_surface(cr, surface, 0.0, 0.0);
    cairo_rectangle(cr, 0.0, 0.0, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}

} // namespace zerin
