#include "platform/ui/damage_painter.h"

#include "platform/ui/view_host.h"

namespace zerin {

std::vector<PixelRect> paintDamage(cairo_surface_t* surface, ViewHost& host, const DamagePaint& how,
                                   DrawingCaches& caches) {
    Damage damage = host.takeDamage();
    if (how.everything) damage.addAll();
    std::vector<PixelRect> rects = damage.pixelRects(how.scale, how.width, how.height);
    if (!surface || rects.empty()) return {};
    cairo_t* cr = cairo_create(surface);
    for (const PixelRect& r : rects)
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, how.clearColor.red, how.clearColor.green, how.clearColor.blue,
                          how.clearColor.alpha);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_scale(cr, how.scale, how.scale);
    {
        Graphics g(cr, caches);
        g.drawOnlyIn(rects);
        host.draw(g);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return rects;
}

} // namespace zerin
