#include "platform/ui/graphics.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace zerin {

namespace {

// Adds the elements to cairo's current path, after whatever is there.
void appendElements(cairo_t* cr, const Path& path) {
    for (const PathElement& e : path.elements) {
        const auto& p = e.points;
        switch (e.verb) {
            case PathVerb::move:
                cairo_move_to(cr, p[0].x, p[0].y);
                break;
            case PathVerb::line:
                cairo_line_to(cr, p[0].x, p[0].y);
                break;
            case PathVerb::cubic:
                cairo_curve_to(cr, p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
                break;
            case PathVerb::close:
                cairo_close_path(cr);
                break;
        }
    }
}

void appendPath(cairo_t* cr, const Path& path) {
    cairo_new_path(cr);
    appendElements(cr, path);
}

void addStops(cairo_pattern_t* pattern, const std::vector<GradientStop>& stops) {
    for (const GradientStop& s : stops) {
        cairo_pattern_add_color_stop_rgba(pattern, std::clamp(s.offset, 0.0, 1.0), s.color.red,
                                          s.color.green, s.color.blue, s.color.alpha);
    }
}

cairo_pattern_t* makePattern(const Paint& paint) {
    if (const auto* color = std::get_if<Color>(&paint))
        return cairo_pattern_create_rgba(color->red, color->green, color->blue, color->alpha);
    cairo_pattern_t* pattern = nullptr;
    if (const auto* linear = std::get_if<LinearGradient>(&paint)) {
        pattern = cairo_pattern_create_linear(linear->start.x, linear->start.y, linear->end.x,
                                              linear->end.y);
        addStops(pattern, linear->stops);
    } else {
        const auto& radial = std::get<RadialGradient>(paint);
        const Point c = radial.center;
        pattern = cairo_pattern_create_radial(c.x, c.y, std::max(0.0, radial.startRadius), c.x, c.y,
                                              std::max(0.0, radial.endRadius));
        addStops(pattern, radial.stops);
    }
    // Past the ends the colour of the end stop continues, as a gradient fill of a larger
    // shape is expected to look.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    return pattern;
}

void setSource(cairo_t* cr, const Paint& paint) {
    cairo_pattern_t* pattern = makePattern(paint);
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
}

cairo_line_cap_t cairoCap(LineCap cap) {
    switch (cap) {
        case LineCap::butt:
            return CAIRO_LINE_CAP_BUTT;
        case LineCap::round:
            return CAIRO_LINE_CAP_ROUND;
        case LineCap::square:
            return CAIRO_LINE_CAP_SQUARE;
    }
    return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t cairoJoin(LineJoin join) {
    switch (join) {
        case LineJoin::miter:
            return CAIRO_LINE_JOIN_MITER;
        case LineJoin::round:
            return CAIRO_LINE_JOIN_ROUND;
        case LineJoin::bevel:
            return CAIRO_LINE_JOIN_BEVEL;
    }
    return CAIRO_LINE_JOIN_MITER;
}

// Bounds of the path's points and handles: the curve lies inside them.
Rect controlBounds(const Path& path) {
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const PathElement& e : path.elements) {
        const int count = e.verb == PathVerb::cubic ? 3 : e.verb == PathVerb::close ? 0 : 1;
        for (int i = 0; i < count; ++i) {
            minX = std::min(minX, e.points[i].x);
            minY = std::min(minY, e.points[i].y);
            maxX = std::max(maxX, e.points[i].x);
            maxY = std::max(maxY, e.points[i].y);
        }
    }
    if (minX > maxX) return {};
    return {minX, minY, maxX - minX, maxY - minY};
}

// Shadows are the shape, offset and blurred, drawn outside the shape only: whatever is drawn
// in the shape covers it there. The blurred shape is kept as a mask in the device's pixels,
// placed on whole pixels (so compositing it is a plain copy-through, not a resampling), and
// reused while the shape stays put; panels keep their shape from frame to frame, so the blur
// is paid for once.
struct ShadowKey {
    std::vector<PathElement> elements;
    double spread = 0.0;
    double dx = 0.0;
    double dy = 0.0;
    double pixelsPerPoint = 1.0;
    Point origin; // the mask's top left corner in user space, on a device pixel

    bool operator==(const ShadowKey&) const = default;
    // The blur reaches about three standard deviations, that is 1.5 radius.
    double margin() const { return 1.5 * spread + std::abs(dx) + std::abs(dy) + 2.0; }
};

struct ShadowMask {
    ShadowKey key;
    cairo_surface_t* surface = nullptr; // A8, in points through its device scale
    Point origin;                       // where its top left corner goes, in user space
};

constexpr std::size_t kMaxShadowMasks = 4;
constexpr int kMaxShadowMaskPixels = 4096;

} // namespace

class ShadowMasks {
public:
    ShadowMasks() = default;
    ~ShadowMasks() {
        for (const ShadowMask& mask : masks)
            cairo_surface_destroy(mask.surface);
    }
    ShadowMasks(const ShadowMasks&) = delete;
    ShadowMasks& operator=(const ShadowMasks&) = delete;

    std::vector<ShadowMask> masks;
};

namespace {

// One box blur pass of `radius` pixels along each row.
void boxBlurRows(std::vector<float>& values, int width, int height, int radius,
                 std::vector<float>& scratch) {
    scratch.resize(static_cast<std::size_t>(width));
    const float scale = 1.0f / static_cast<float>(2 * radius + 1);
    for (int y = 0; y < height; ++y) {
        float* row = &values[static_cast<std::size_t>(y) * width];
        std::copy(row, row + width, scratch.begin());
        float sum = 0.0f;
        for (int i = 0; i <= radius && i < width; ++i)
            sum += scratch[i];
        for (int i = 0; i < width; ++i) {
            row[i] = sum * scale;
            if (i + radius + 1 < width) sum += scratch[i + radius + 1];
            if (i - radius >= 0) sum -= scratch[i - radius];
        }
    }
}

// The same down the columns of `in` into `out`, a row at a time so that memory is read in
// order.
void boxBlurColumns(const std::vector<float>& in, std::vector<float>& out, int width, int height,
                    int radius, std::vector<float>& sums) {
    const auto w = static_cast<std::size_t>(width);
    sums.assign(w, 0.0f);
    const float scale = 1.0f / static_cast<float>(2 * radius + 1);
    for (int y = 0; y <= radius && y < height; ++y)
        for (std::size_t x = 0; x < w; ++x)
            sums[x] += in[y * w + x];
    for (int y = 0; y < height; ++y) {
        float* row = &out[y * w];
        for (std::size_t x = 0; x < w; ++x)
            row[x] = sums[x] * scale;
        if (y + radius + 1 < height) {
            const float* entering = &in[(y + radius + 1) * w];
            for (std::size_t x = 0; x < w; ++x)
                sums[x] += entering[x];
        }
        if (y - radius >= 0) {
            const float* leaving = &in[(y - radius) * w];
            for (std::size_t x = 0; x < w; ++x)
                sums[x] -= leaving[x];
        }
    }
}

// Three box passes each way come close to a Gaussian of standard deviation `sigma` pixels.
// The buffers stay allocated between shadows: fresh pages cost more than the blur itself.
void blurMask(cairo_surface_t* surface, double sigma) {
    const int radius = static_cast<int>(std::lround(std::sqrt(sigma * sigma + 0.25) - 0.5));
    if (radius < 1) return;
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    static auto* buffers = new std::array<std::vector<float>, 3>();
    auto& [values, other, scratch] = *buffers;
    const std::size_t count = static_cast<std::size_t>(width) * height;
    values.resize(count);
    other.resize(count);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values[static_cast<std::size_t>(y) * width + x] =
                static_cast<float>(data[y * stride + x]) / 255.0f;
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurRows(values, width, height, radius, scratch);
        boxBlurColumns(values, other, width, height, radius, scratch);
        values.swap(other);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float v = std::clamp(values[static_cast<std::size_t>(y) * width + x], 0.0f, 1.0f);
            data[y * stride + x] = static_cast<unsigned char>(std::lround(v * 255.0f));
        }
    }
    cairo_surface_mark_dirty(surface);
}

// The cached mask for `key`, made on a miss; null when it would be too large to keep.
const ShadowMask* shadowMask(ShadowMasks& cache, const ShadowKey& key, const Path& path) {
    std::vector<ShadowMask>& masks = cache.masks;
    for (const ShadowMask& mask : masks)
        if (mask.key == key) return &mask;
    const Rect b = controlBounds(path);
    const double margin = key.margin();
    const Point origin = key.origin;
    const double width = std::ceil((b.maxX() + margin - origin.x) * key.pixelsPerPoint);
    const double height = std::ceil((b.maxY() + margin - origin.y) * key.pixelsPerPoint);
    if (!(width <= kMaxShadowMaskPixels && height <= kMaxShadowMaskPixels)) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, static_cast<int>(width),
                                                          static_cast<int>(height));
    cairo_surface_set_device_scale(surface, key.pixelsPerPoint, key.pixelsPerPoint);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, key.dx - origin.x, key.dy - origin.y);
    appendPath(cr, path);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    // A blur radius is about two standard deviations, as for CSS box shadows.
    blurMask(surface, key.spread / 2.0 * key.pixelsPerPoint);
    if (masks.size() >= kMaxShadowMasks) {
        cairo_surface_destroy(masks.front().surface);
        masks.erase(masks.begin());
    }
    masks.push_back({key, surface, origin});
    return &masks.back();
}

double deviceScale(cairo_t* cr) {
    double x = 1.0;
    double y = 0.0;
    cairo_user_to_device_distance(cr, &x, &y);
    const double scale = std::hypot(x, y);
    return std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

} // namespace

void DrawingCaches::Deleter::operator()(ShadowMasks* masks) const {
    delete masks;
}

ShadowMasks& DrawingCaches::shadows() {
    if (!mShadows) mShadows.reset(new ShadowMasks());
    return *mShadows;
}

DrawingCaches::DrawingCaches() = default;
DrawingCaches::~DrawingCaches() = default;

DrawingCaches& sharedDrawingCaches() {
    // Never destroyed: images may still be drawn during static teardown.
    static auto* caches = new DrawingCaches();
    return *caches;
}

Graphics::Graphics(cairo_t* context, DrawingCaches& drawingCaches)
    : cr(context), caches(&drawingCaches) {}

void Graphics::save() {
    cairo_save(cr);
}

void Graphics::restore() {
    cairo_restore(cr);
}

void Graphics::translate(double dx, double dy) {
    cairo_translate(cr, dx, dy);
}

void Graphics::clip(const Path& path) {
    appendPath(cr, path);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr);
}

void Graphics::clipRect(const Rect& rect) {
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    cairo_clip(cr);
}

double Graphics::uniformDeviceScale() const {
    double sx = 1.0, sy = 0.0, tx = 0.0, ty = 1.0;
    cairo_user_to_device_distance(cr, &sx, &sy);
    cairo_user_to_device_distance(cr, &tx, &ty);
    return sy == 0.0 && tx == 0.0 && sx == ty && sx > 0.0 ? sx : 0.0;
}

bool Graphics::mayShow(const Rect& rect) const {
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    if (!(rect.x < x2 && rect.maxX() > x1 && rect.y < y2 && rect.maxY() > y1)) return false;
    if (drawnAreas.empty()) return true;
    // The device box around the rectangle's corners.
    double left = std::numeric_limits<double>::infinity(), top = left, right = -left,
           bottom = -left;
    for (const Point corner : {Point{rect.x, rect.y}, Point{rect.maxX(), rect.y},
                               Point{rect.x, rect.maxY()}, Point{rect.maxX(), rect.maxY()}}) {
        double x = corner.x, y = corner.y;
        cairo_user_to_device(cr, &x, &y);
        left = std::fmin(left, x);
        top = std::fmin(top, y);
        right = std::fmax(right, x);
        bottom = std::fmax(bottom, y);
    }
    return std::any_of(drawnAreas.begin(), drawnAreas.end(), [&](const PixelRect& a) {
        return left < a.x + a.width && right > a.x && top < a.y + a.height && bottom > a.y;
    });
}

void Graphics::beginGroup() {
    cairo_push_group(cr);
}

void Graphics::endGroup(double opacity) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, std::clamp(opacity, 0.0, 1.0));
    // Leave no reference to the group's surface behind as the source.
    cairo_set_source_rgb(cr, 0, 0, 0);
}

void Graphics::fill(const Path& path, const Paint& paint) {
    appendPath(cr, path);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    setSource(cr, paint);
    cairo_fill(cr);
}

void Graphics::stroke(const Path& path, const Paint& paint, const StrokeStyle& style) {
    appendPath(cr, path);
    cairo_set_line_width(cr, std::max(0.0, style.width));
    cairo_set_line_cap(cr, cairoCap(style.cap));
    cairo_set_line_join(cr, cairoJoin(style.join));
    cairo_set_miter_limit(cr, std::max(1.0, style.miterLimit));
    setSource(cr, paint);
    cairo_stroke(cr);
}

void Graphics::shadow(const Path& path, Color color, double radius, double dx, double dy) {
    if (path.empty() || !(color.alpha > 0.0)) return;
    const double spread = std::isfinite(radius) ? std::clamp(radius, 0.0, 500.0) : 0.0;
    ShadowKey key{path.elements,
                  spread,
                  std::isfinite(dx) ? dx : 0.0,
                  std::isfinite(dy) ? dy : 0.0,
                  std::min(deviceScale(cr), 4.0),
                  {}};
    const Rect b = controlBounds(path);
    const double margin = key.margin();
    double originX = b.x - margin;
    double originY = b.y - margin;
    cairo_user_to_device(cr, &originX, &originY);
    originX = std::floor(originX);
    originY = std::floor(originY);
    cairo_device_to_user(cr, &originX, &originY);
    key.origin = {originX, originY};
    const ShadowMask* mask = shadowMask(caches->shadows(), key, path);
    if (mask == nullptr) return;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, b.x - margin, b.y - margin, b.width + 2 * margin, b.height + 2 * margin);
    appendElements(cr, path);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cr);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_mask_surface(cr, mask->surface, mask->origin.x, mask->origin.y);
    cairo_restore(cr);
}

} // namespace zerin
