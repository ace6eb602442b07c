#include "platform/ui/offscreen.h"
#include "platform/ui/damage_painter.h"

#include "platform/files/atomic_file.h"
#include "platform/ui/graphics.h"
#include "platform/ui/view_host.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zerin {

namespace {

// Cairo refuses image surfaces wider or taller than this.
constexpr int kMaxPixels = 32767;

int pixelsFor(double points, double scale) {
    const double pixels = std::ceil(points * scale);
    if (!std::isfinite(pixels)) return 1;
    return std::clamp(static_cast<int>(std::max(pixels, 1.0)), 1, kMaxPixels);
}

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    auto* file = static_cast<AtomicFile*>(closure);
    return file->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

struct OffscreenImage::Impl {
    cairo_surface_t* surface = nullptr;

    // A context drawing in points on the surface.
    cairo_t* begin(double scale) const {
        cairo_t* cr = cairo_create(surface);
        cairo_scale(cr, scale, scale);
        return cr;
    }
    void end(cairo_t* cr) const {
        cairo_destroy(cr);
        cairo_surface_flush(surface);
    }
};

OffscreenImage::OffscreenImage(Size points, double scale)
    : deviceScale(std::isfinite(scale) && scale > 0.0 ? scale : 1.0), impl(new Impl) {
    width = pixelsFor(points.width, deviceScale);
    height = pixelsFor(points.height, deviceScale);
    // A new image surface is cleared to transparent black.
    impl->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
}

OffscreenImage::~OffscreenImage() {
    cairo_surface_destroy(impl->surface);
    delete impl;
}

void OffscreenImage::draw(const std::function<void(Graphics&)>& paint) {
    cairo_t* cr = impl->begin(deviceScale);
    Graphics g(cr);
    paint(g);
    impl->end(cr);
}

void OffscreenImage::draw(ViewHost& host) {
    cairo_t* cr = impl->begin(deviceScale);
    Graphics g(cr);
    host.layout();
    host.draw(g);
    impl->end(cr);
}

bool OffscreenImage::drawDamage(ViewHost& host) {
    const DamagePaint how{deviceScale, width, height, false, Color{0.0, 0.0, 0.0, 0.0}};
    return !paintDamage(impl->surface, host, how).empty();
}

void OffscreenImage::clear(Color color) {
    cairo_t* cr = impl->begin(deviceScale);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_paint(cr);
    impl->end(cr);
}

Color OffscreenImage::colorAt(Point at) const {
    const auto column = static_cast<int>(
        std::clamp(std::floor(at.x * deviceScale), 0.0, static_cast<double>(width - 1)));
    const auto row = static_cast<int>(
        std::clamp(std::floor(at.y * deviceScale), 0.0, static_cast<double>(height - 1)));
    const unsigned char* data = cairo_image_surface_get_data(impl->surface);
    if (data == nullptr) return {0, 0, 0, 0};
    const int stride = cairo_image_surface_get_stride(impl->surface);
    // ARGB32 pixels are native-endian 32-bit words, alpha in the top byte.
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, data + static_cast<std::ptrdiff_t>(row) * stride + 4 * column, 4);
    const double alpha = ((pixel >> 24) & 0xff) / 255.0;
    if (alpha == 0.0) return {0, 0, 0, 0};
    auto component = [&](int shift) {
        return std::min(1.0, ((pixel >> shift) & 0xff) / 255.0 / alpha);
    };
    return {component(16), component(8), component(0), alpha};
}

bool OffscreenImage::writePng(const std::string& path, std::string* error) const {
    std::string message;
    AtomicFile file;
    bool ok = file.open(path, &message);
    if (ok) {
        const cairo_status_t status =
            cairo_surface_write_to_png_stream(impl->surface, writeToFile, &file);
        if (status != CAIRO_STATUS_SUCCESS && file.error() == 0) {
            message = path + ": cannot encode the image: " + cairo_status_to_string(status);
            file.discard();
            ok = false;
        } else {
            ok = file.commit(&message);
        }
    }
    if (!ok && error != nullptr) *error = message;
    return ok;
}

} // namespace zerin
