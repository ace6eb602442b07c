#include "widgets/rotary_knob_view.h"

#include "platform/ui/graphics.h"
#include "platform/ui/layout.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/theme.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace zerin {

namespace {

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

std::string format(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

std::string upperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    return text;
}

Point onCircle(Point center, double radius, double angle) {
    return {center.x + radius * std::cos(angle), center.y + radius * std::sin(angle)};
}

Color srgb(double r, double g, double b) {
    return {r, g, b, 1.0};
}

} // namespace

std::string knobValueText(float value, ReadoutUnit unit) {
    switch (unit) {
        case ReadoutUnit::percent:
            return format("%.0f%%", value);
        case ReadoutUnit::hertz:
            return value >= 1000.0f ? format("%.1fk", value / 1000.0f) : format("%.1f", value);
        case ReadoutUnit::decibels:
            // The sign is always shown for gains, so +0.0 reads as "no change".
            return format(value < 0.0f ? "%.1f" : "+%.1f", value);
        default:
            return format("%.1f", value);
    }
}

double knobNormalizedValue(float value, float min, float max) {
    if (!(min < max)) return 0.0;
    return static_cast<double>((value - min) / (max - min));
}

float knobDraggedValue(float value, float min, float max, float dy) {
    const float moved = value + (max - min) * (dy / kKnobDragTravel);
    return std::clamp(moved, min, max);
}

namespace {

// The parts of the face that never change: the body, the inset face and the value track.
void drawKnobBody(Graphics& g, Size size) {
    const Point center{size.width / 2.0, size.height / 2.0};
    const double r = std::min(center.x, center.y) - 1.0;
    const double innerRadius = 0.88 * r;

    Path body;
    addCircle(body, center, r);
    g.fill(body, RadialGradient{{center.x, center.y - 0.3 * r},
                                0.0,
                                2.0 * r,
                                {{0.0, srgb(0.15, 0.17, 0.22)}, {1.0, srgb(0.08, 0.09, 0.13)}}});

    Path face;
    addCircle(face, center, innerRadius);
    g.fill(face, RadialGradient{{center.x, center.y - 0.2 * innerRadius},
                                0.0,
                                2.0 * innerRadius,
                                {{0.0, srgb(0.12, 0.14, 0.20)},
                                 {0.5, srgb(0.06, 0.07, 0.11)},
                                 {1.0, srgb(0.04, 0.05, 0.08)}}});

    Path track;
    addArc(track, center, 0.78 * r, kKnobArcStart, kKnobArcStart + kKnobArcRange);
    g.stroke(track, kWhite.withAlpha(0.08), StrokeStyle{2.5});
}

// The value arc, from `origin` (the range's start, or its zero for a range either side of
// zero) to the value, its pointer and the readout.
void drawKnobIndicator(Graphics& g, Size size, double n, const std::optional<std::string>& readout,
                       double origin = 0.0) {
    const Point center{size.width / 2.0, size.height / 2.0};
    const double arcRadius = 0.78 * (std::min(center.x, center.y) - 1.0);
    const double angle = kKnobArcStart + kKnobArcRange * n;
    // A sliver of arc at the origin would read as a rendering fault.
    if (std::fabs(n - origin) > 0.001) {
        const double from = kKnobArcStart + kKnobArcRange * std::min(n, origin);
        const double to = kKnobArcStart + kKnobArcRange * std::max(n, origin);
        Path value;
        addArc(value, center, arcRadius, from, to);
        g.stroke(value, theme::accentCyan, StrokeStyle{2.5});
    }

    Path pointer;
    addCircle(pointer, onCircle(center, arcRadius, angle), 2.5);
    g.fill(pointer, kWhite);

    if (readout)
        g.drawText(*readout, Font{9.0, FontWeight::medium, FontDesign::monospaced}, kWhite, center);
}

// The body drawn once into an image and copied each frame: its two radial gradients are most
// of a knob's cost. The image is rendered at the face's own sub-pixel phase and copied onto
// whole device pixels, so it covers exactly the pixels a direct drawing would.
class KnobBodyCache {
public:
    KnobBodyCache() = default;
    ~KnobBodyCache() { release(); }
    KnobBodyCache(const KnobBodyCache&) = delete;
    KnobBodyCache& operator=(const KnobBodyCache&) = delete;

    void draw(Graphics& g, Size size) {
        cairo_t* cr = g.context();
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        double sx = 1.0, sy = 0.0;
        cairo_user_to_device_distance(cr, &sx, &sy);
        double tx = 0.0, ty = 1.0;
        cairo_user_to_device_distance(cr, &tx, &ty);
        // Rotated or unevenly scaled contexts (none in the editor) draw directly.
        if (sy != 0.0 || tx != 0.0 || sx != ty || !(sx > 0.0)) {
            drawKnobBody(g, size);
            return;
        }
        double ox = 0.0, oy = 0.0;
        cairo_user_to_device(cr, &ox, &oy);
        const double px = std::floor(ox), py = std::floor(oy);
        const Key key{size, sx, ox - px, oy - py};
        if (surface == nullptr || !(key == current)) render(key);
        double ux = px, uy = py;
        cairo_device_to_user(cr, &ux, &uy);
        cairo_save(cr);
        cairo_set_source_surface(cr, surface, ux, uy);
        cairo_paint(cr);
        cairo_restore(cr);
    }

private:
    struct Key {
        Size size;
        double scale = 0.0;
        double phaseX = 0.0;
        double phaseY = 0.0;
        bool operator==(const Key& o) const {
            return size.width == o.size.width && size.height == o.size.height && scale == o.scale &&
                   phaseX == o.phaseX && phaseY == o.phaseY;
        }
    };

    void render(const Key& key) {
        release();
        const int w = static_cast<int>(std::ceil(key.size.width * key.scale + key.phaseX)) + 1;
        const int h = static_cast<int>(std::ceil(key.size.height * key.scale + key.phaseY)) + 1;
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(surface);
        cairo_translate(cr, key.phaseX, key.phaseY);
        cairo_scale(cr, key.scale, key.scale);
        {
            Graphics g(cr);
            drawKnobBody(g, key.size);
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        // One image pixel per device pixel wherever it is painted.
        cairo_surface_set_device_scale(surface, key.scale, key.scale);
        current = key;
    }

    void release() {
        if (surface != nullptr) cairo_surface_destroy(surface);
        surface = nullptr;
    }

    cairo_surface_t* surface = nullptr;
    Key current;
};

} // namespace

// The face: draws the knob and turns vertical drags, double clicks and hover into edits of
// the parameter.
class RotaryKnobFace : public View {
public:
    explicit RotaryKnobFace(ControlParameter& param) : param(param) {}
    ~RotaryKnobFace() override {
        // A face torn down under the pointer must not leave its cursor behind.
        if (cursorPushed && context() != nullptr) context()->popCursor();
    }

    Size sizeThatFits(Size) override { return {kKnobSize, kKnobSize}; }
    Flexibility flexibility() const override { return {}; }

    void draw(Graphics& g) override {
        const double n = knobNormalizedValue(param.value(), param.min, param.max);
        // A range even about zero (SHIFT) is drawn from its zero, either way.
        const double origin = param.min < 0.0f && param.min == -param.max
                                  ? knobNormalizedValue(0.0f, param.min, param.max)
                                  : 0.0;
        std::optional<std::string> readout;
        if (dragging) readout = knobValueText(param.value(), param.unit);
        const Size size{frame().width, frame().height};
        bodyCache.draw(g, size);
        drawKnobIndicator(g, size, n, readout, origin);
    }

    bool acceptsPointer() const override { return true; }

    void pointerDown(const PointerEvent& event) override {
        if (event.clickCount >= 2) {
            resetToDefault();
            return;
        }
        dragChanged(event.location.y);
    }

    void pointerDragged(const PointerEvent& event) override {
        if (resetting) return;
        dragChanged(event.location.y);
    }

    void pointerUp(const PointerEvent&) override {
        if (resetting) {
            resetting = false;
            return;
        }
        if (!dragging) return;
        dragging = false;
        param.setEditing(false);
    }

    bool tracksHover() const override { return true; }
    void pointerEntered() override {
        if (cursorPushed || context() == nullptr) return;
        context()->pushCursor(Cursor::resizeUpDown);
        cursorPushed = true;
    }
    void pointerExited() override {
        if (!cursorPushed || context() == nullptr) return;
        context()->popCursor();
        cursorPushed = false;
    }

    bool isDragging() const { return dragging; }

private:
    // The press itself is the drag's first update, so a click alone sends touch and release
    // of the unchanged value.
    void dragChanged(double y) {
        if (!dragging) {
            dragging = true;
            lastDragY = y;
            if (param.editingState() != EditingState::began) param.setEditing(true);
        }
        const auto dy = static_cast<float>(lastDragY - y);
        lastDragY = y;
        param.setValue(knobDraggedValue(param.value(), param.min, param.max, dy));
    }

    // The second press of a double click: the whole press is the reset, so its release does
    // not end a drag that never began.
    void resetToDefault() {
        if (dragging) {
            dragging = false;
            param.setEditing(false);
        }
        resetting = true;
        if (param.editingState() != EditingState::began) param.setEditing(true);
        param.setValue(param.defaultValue);
        param.setEditing(false);
    }

    ControlParameter& param;
    bool dragging = false;
    bool resetting = false;
    double lastDragY = 0.0;
    bool cursorPushed = false;
    KnobBodyCache bodyCache;
};

RotaryKnobView::RotaryKnobView(ControlParameter& param, const std::string& caption)
    : param(param.shared_from_this()),
      captionText(upperCased(caption.empty() ? param.displayName : caption)) {
    auto face = std::make_unique<RotaryKnobFace>(param);
    faceView = face.get();
    const Font captionFont{9.0, FontWeight::semibold, FontDesign::standard, 1.0};
    addChild(vstack(4.0, HAlign::center,
                    views(std::move(face), text(captionText, captionFont, theme::textSecondary,
                                                TextAlignment::center))));
}

Size RotaryKnobView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

View& RotaryKnobView::face() const {
    return *faceView;
}

bool RotaryKnobView::isDragging() const {
    return faceView->isDragging();
}

} // namespace zerin
