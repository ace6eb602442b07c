#include "editor/disc_stamps.h"

#include "platform/ui/graphics.h"
#include "platform/ui/shapes.h"

#include <cairo.h>

#include <cmath>

namespace zerin {

DiscStamps::~DiscStamps() {
    clear();
}

void DiscStamps::draw(cairo_t* cr, double scale, Point center, double radius, Color color) {
    if (scale != stampScale) {
        clear();
        stampScale = scale;
    }
    // A particle is a few points across; anything else is not one (and would fill the table).
    if (!(radius >= 0.0 && radius * scale <= kMaxRadius)) return;
    double cx = center.x, cy = center.y;
    cairo_user_to_device(cr, &cx, &cy);
    const auto radiusSteps = static_cast<std::uint32_t>(std::lround(radius * scale * kSteps));
    const double px = std::floor(cx * kPhases + 0.5) / kPhases;
    const double py = std::floor(cy * kPhases + 0.5) / kPhases;
    const double wholeX = std::floor(px), wholeY = std::floor(py);
    const auto phaseX = static_cast<std::uint32_t>((px - wholeX) * kPhases);
    const auto phaseY = static_cast<std::uint32_t>((py - wholeY) * kPhases);
    const Stamp& stamp = find(radiusSteps, phaseX, phaseY);
    double ux = wholeX - stamp.reach, uy = wholeY - stamp.reach;
    cairo_device_to_user(cr, &ux, &uy);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_mask_surface(cr, stamp.surface, ux, uy);
}

const DiscStamps::Stamp& DiscStamps::find(std::uint32_t radiusSteps, std::uint32_t phaseX,
                                          std::uint32_t phaseY) {
    const std::size_t key = (static_cast<std::size_t>(radiusSteps) << 4) | (phaseX << 2) | phaseY;
    if (key >= stamps.size()) stamps.resize(key + 1);
    Stamp& stamp = stamps[key];
    if (!stamp.surface) stamp = render(radiusSteps / kSteps, phaseX / kPhases, phaseY / kPhases);
    return stamp;
}

DiscStamps::Stamp DiscStamps::render(double radius, double phaseX, double phaseY) const {
    Stamp stamp;
    stamp.reach = std::ceil(radius) + 1.0;
    const int side = static_cast<int>(2.0 * stamp.reach) + 2;
    stamp.surface = cairo_image_surface_create(CAIRO_FORMAT_A8, side, side);
    cairo_t* cr = cairo_create(stamp.surface);
    {
        Graphics g(cr);
        Path disc;
        addCircle(disc, {stamp.reach + phaseX, stamp.reach + phaseY}, radius);
        g.fill(disc, Color{1.0, 1.0, 1.0, 1.0});
    }
    cairo_destroy(cr);
    cairo_surface_flush(stamp.surface);
    cairo_surface_set_device_scale(stamp.surface, stampScale, stampScale);
    return stamp;
}

void DiscStamps::clear() {
    for (const Stamp& stamp : stamps)
        if (stamp.surface) cairo_surface_destroy(stamp.surface);
    stamps.clear();
}

} // namespace zerin
