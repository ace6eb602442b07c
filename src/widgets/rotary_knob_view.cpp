#include "widgets/rotary_knob_view.h"

#include "platform/ui/graphics.h"
#include "platform/ui/layout.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/controls.h"
#include "widgets/theme.h"

#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
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
            if (value >= 1000.0f) return format("%.1fk", value / 1000.0f);
            return format(value < 10.0f ? "%.2fHz" : "%.1fHz", value);
        case ReadoutUnit::decibels:
            // The sign is always shown for gains, so +0.0 reads as "no change".
            return format(value < 0.0f ? "%.1fdB" : "+%.1fdB", value);
        case ReadoutUnit::semitones:
            return format(value < 0.0f ? "%.1fst" : "+%.1fst", value);
        case ReadoutUnit::milliseconds:
            return format("%.0fms", value);
        default:
            return format("%.1f", value);
    }
}

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The factor a unit's suffix puts on the number before it; null for a suffix the unit does not
// take. `suffix` is lower case.
std::optional<double> suffixScale(ReadoutUnit unit, std::string_view suffix) {
    if (suffix.empty()) return 1.0;
    switch (unit) {
        case ReadoutUnit::percent:
            if (suffix == "%") return 1.0;
            break;
        case ReadoutUnit::hertz:
            if (suffix == "hz") return 1.0;
            if (suffix == "k" || suffix == "khz") return 1000.0;
            break;
        case ReadoutUnit::decibels:
            if (suffix == "db") return 1.0;
            break;
        case ReadoutUnit::semitones:
            if (suffix == "st" || suffix == "semi" || suffix == "semitone" || suffix == "semitones")
                return 1.0;
            break;
        case ReadoutUnit::milliseconds:
            if (suffix == "ms") return 1.0;
            if (suffix == "s") return 1000.0;
            break;
        default:
            break;
    }
    return std::nullopt;
}

} // namespace

std::optional<float> parseKnobValue(std::string_view text, ReadoutUnit unit) {
    std::string_view rest = trimmed(text);
    // from_chars takes a minus but no plus; a plus before a minus is not a number.
    if (rest.starts_with('+')) {
        rest.remove_prefix(1);
        if (rest.starts_with('-')) return std::nullopt;
    }
    double number = 0.0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    if (error != std::errc{}) return std::nullopt;
    std::string suffix(trimmed(rest.substr(static_cast<std::size_t>(end - rest.data()))));
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::optional<double> scale = suffixScale(unit, suffix);
    if (!scale) return std::nullopt;
    const double value = number * *scale;
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

float knobStep(ReadoutUnit unit, float min, float max) {
    switch (unit) {
        case ReadoutUnit::percent:
            return 1.0f;
        case ReadoutUnit::decibels:
            return 0.5f;
        case ReadoutUnit::semitones:
            return 1.0f;
        case ReadoutUnit::milliseconds:
            return 10.0f;
        case ReadoutUnit::hertz:
            return 0.1f;
        default:
            return max > min ? (max - min) / 100.0f : 0.0f;
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

// The face: draws the knob and turns drags, the wheel, keys and clicks into edits of the
// parameter.
class RotaryKnobFace : public View {
public:
    RotaryKnobFace(ControlParameter& param, std::function<void()> openEntry)
        : param(param), openEntry(std::move(openEntry)) {
        valueChanges = param.observableValue().observe([this] { valueChanged(); });
    }
    ~RotaryKnobFace() override {
        // A face torn down under the pointer must not leave its cursor behind.
        if (cursorPushed && context() != nullptr) context()->popCursor();
    }

    Size sizeThatFits(Size) override { return {kKnobSize, kKnobSize}; }
    Flexibility flexibility() const override { return {}; }

    void draw(Graphics& g) override {
        if (context() != nullptr && firstDrawn == 0.0) firstDrawn = context()->frameTime();
        const double n = knobNormalizedValue(param.value(), param.min, param.max);
        // A range even about zero (SHIFT) is drawn from its zero, either way.
        const double origin = param.min < 0.0f && param.min == -param.max
                                  ? knobNormalizedValue(0.0f, param.min, param.max)
                                  : 0.0;
        std::optional<std::string> readout;
        if (showsReadout()) readout = knobValueText(param.value(), param.unit);
        const Size size{frame().width, frame().height};
        bodyCache.draw(g, size);
        if (focused) {
            Path ring;
            addCircle(ring, {size.width / 2.0, size.height / 2.0}, size.width / 2.0 - 0.5);
            g.stroke(ring, theme::accentCyan.withAlpha(0.45), StrokeStyle{1.0});
        }
        drawKnobIndicator(g, size, n, readout, origin);
    }

    bool acceptsPointer() const override { return true; }
    // The right button opens the field, as the double click does.
    bool acceptsButton(PointerButton button) const override {
        return button == PointerButton::left || button == PointerButton::right;
    }
    bool acceptsFocus() const override { return true; }
    void focusChanged(bool isFocused) override {
        focused = isFocused;
        setNeedsDisplay();
    }

    void pointerDown(const PointerEvent& event) override {
        if (event.button == PointerButton::right) {
            ignoringPress = true;
            openEntry();
            return;
        }
        if (event.modifiers.control && event.clickCount == 1) {
            resetToDefault();
            return;
        }
        if (event.clickCount >= 2) {
            // The first press of the pair was a drag that moved nothing; this one only opens
            // the field, so its release has nothing to end.
            ignoringPress = true;
            openEntry();
            return;
        }
        dragChanged(event.location.y, false);
    }

    void pointerDragged(const PointerEvent& event) override {
        if (ignoringPress) return;
        dragChanged(event.location.y, event.modifiers.shift || event.modifiers.control);
    }

    void pointerUp(const PointerEvent&) override {
        if (ignoringPress) {
            ignoringPress = false;
            return;
        }
        if (!dragging) return;
        dragging = false;
        param.setEditing(false);
    }

    bool scrollWheel(double lines, Point) override {
        if (dragging || lines == 0.0) return true;
        // Turning the wheel away from you turns the knob up.
        step(-lines);
        return true;
    }

    bool keyDown(const KeyEvent& event) override {
        switch (event.key) {
            case Key::up:
            case Key::right:
                step(1.0, event.modifiers);
                return true;
            case Key::down:
            case Key::left:
                step(-1.0, event.modifiers);
                return true;
            case Key::enter:
                openEntry();
                return true;
            default:
                return false;
        }
    }

    bool tracksHover() const override { return true; }
    void pointerEntered() override {
        hovered = true;
        setNeedsDisplay();
        if (cursorPushed || context() == nullptr) return;
        context()->pushCursor(Cursor::resizeUpDown);
        cursorPushed = true;
    }
    void pointerExited() override {
        hovered = false;
        setNeedsDisplay();
        if (!cursorPushed || context() == nullptr) return;
        context()->popCursor();
        cursorPushed = false;
    }

    bool isDragging() const { return dragging; }
    bool showsReadout() const { return dragging || hovered || lingering.isActive(); }

private:
    // The press itself is the drag's first update, so a click alone sends touch and release
    // of the unchanged value.
    void dragChanged(double y, bool fine) {
        if (!dragging) {
            dragging = true;
            lastDragY = y;
            if (param.editingState() != EditingState::began) param.setEditing(true);
        }
        auto dy = static_cast<float>(lastDragY - y);
        if (fine) dy *= kKnobFineFactor;
        lastDragY = y;
        param.setValue(knobDraggedValue(param.value(), param.min, param.max, dy));
    }

    // One wheel notch or key press (`steps` of them, either way), as a gesture of its own;
    // Shift or Ctrl make it fine.
    void step(double steps) {
        step(steps, context() ? context()->modifiers().current() : ModifierKeys{});
    }
    void step(double steps, ModifierKeys modifiers) {
        if (dragging) return;
        float size = knobStep(param.unit, param.min, param.max);
        if (modifiers.shift || modifiers.control) size *= kKnobFineFactor;
        const auto moved = static_cast<double>(param.value()) + steps * static_cast<double>(size);
        const float next = std::clamp(static_cast<float>(moved), param.min, param.max);
        if (param.editingState() != EditingState::began) param.setEditing(true);
        param.setValue(next);
        param.setEditing(false);
    }

    // Ctrl+click: the whole press is the reset, so its release does not end a drag that never
    // began.
    void resetToDefault() {
        if (dragging) {
            dragging = false;
            param.setEditing(false);
        }
        ignoringPress = true;
        if (param.editingState() != EditingState::began) param.setEditing(true);
        param.setValue(param.defaultValue);
        param.setEditing(false);
    }

    // Any change of the value, the editor's or the host's, leaves the readout up for a moment.
    // What arrives while the editor opens (a host sends every port's value) does not.
    void valueChanged() {
        if (context() == nullptr || firstDrawn == 0.0) return;
        if (context()->frameTime() - firstDrawn < kKnobReadoutLinger) return;
        lastChange = context()->frameTime();
        if (!lingering.isActive())
            lingering = context()->onFrame([this] {
                if (context()->frameTime() - lastChange < kKnobReadoutLinger) return;
                setNeedsDisplay();
                lingering.cancel();
            });
    }

    ControlParameter& param;
    std::function<void()> openEntry;
    bool dragging = false;
    bool ignoringPress = false;
    bool hovered = false;
    bool focused = false;
    double lastDragY = 0.0;
    double firstDrawn = 0.0;
    double lastChange = 0.0;
    bool cursorPushed = false;
    KnobBodyCache bodyCache;
    Subscription valueChanges;
    Subscription lingering;
};

// The field a value is typed into, over the face: closed until the knob opens it; Return sets
// the value it reads (clamped to the range) as one gesture, Escape or a click elsewhere
// closes it, and text that is no value of the knob keeps it open, outlined in red.
class KnobEntry : public View {
public:
    static constexpr double kHeight = 18.0;

    explicit KnobEntry(ControlParameter& param) : param(param) {
        TextField::Style style{Font{10.0, FontWeight::medium, FontDesign::monospaced}, kWhite,
                               theme::textTertiary, theme::accentCyan};
        auto field = std::make_unique<Field>(Binding<std::string>::of(typed), "", style,
                                             [this] { commit(); });
        field->onFocusLost = [this] { close(); };
        fieldView = add(std::move(field));
        hitTestingEnabled = false;
    }

    Flexibility flexibility() const override { return {}; }

    void open() {
        typed.clear();
        rejected = false;
        fieldView->setPlaceholder(knobValueText(param.value(), param.unit));
        isOpen = true;
        hitTestingEnabled = true;
        setNeedsDisplay();
        if (context() != nullptr) context()->setFocus(fieldView);
    }
    bool opened() const { return isOpen; }
    TextField* field() const { return isOpen ? fieldView : nullptr; }

    void layout(const Rect& frame) override {
        setFrame(frame);
        fieldView->layout({5.0, 0.0, std::max(0.0, frame.width - 10.0), frame.height});
    }
    void draw(Graphics& g) override {
        if (!isOpen) return;
        Path box;
        addRoundedRect(box, bounds(), 4.0);
        g.fill(box, Color{0.04, 0.05, 0.08, 0.96});
        g.stroke(box, rejected ? theme::accentPink : theme::accentCyan, StrokeStyle{1.0});
        drawChildren(g);
    }

private:
    class Field : public TextField {
    public:
        using TextField::TextField;
        std::function<void()> onFocusLost;
        void focusChanged(bool focused) override {
            TextField::focusChanged(focused);
            if (!focused && onFocusLost) onFocusLost();
        }
    };

    void commit() {
        const std::optional<float> value = parseKnobValue(typed, param.unit);
        if (typed.empty()) return; // nothing typed: as Escape
        if (!value) {
            // The field closed as it gave up the focus; it opens again with the text, for a
            // correction.
            rejected = true;
            isOpen = true;
            hitTestingEnabled = true;
            setNeedsDisplay();
            if (context() != nullptr) context()->setFocus(fieldView);
            return;
        }
        if (param.editingState() != EditingState::began) param.setEditing(true);
        param.setValue(std::clamp(*value, param.min, param.max));
        param.setEditing(false);
    }

    void close() {
        isOpen = false;
        hitTestingEnabled = false;
        setNeedsDisplay();
    }

    ControlParameter& param;
    Field* fieldView = nullptr;
    std::string typed;
    bool isOpen = false;
    bool rejected = false;
};

RotaryKnobView::RotaryKnobView(ControlParameter& param, const std::string& caption)
    : param(param.shared_from_this()),
      captionText(upperCased(caption.empty() ? param.displayName : caption)) {
    auto face = std::make_unique<RotaryKnobFace>(param, [this] { openEntry(); });
    faceView = face.get();
    const Font captionFont{9.0, FontWeight::semibold, FontDesign::standard, 1.0};
    addChild(vstack(4.0, HAlign::center,
                    views(std::move(face), text(captionText, captionFont, theme::textSecondary,
                                                TextAlignment::center))));
    entryView = add(std::make_unique<KnobEntry>(param));
}

Size RotaryKnobView::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

void RotaryKnobView::layout(const Rect& frame) {
    setFrame(frame);
    children().front()->layout(bounds());
    // The field lies across the face's middle, as wide as the knob.
    const Point face = faceView->originInRoot();
    const Point mine = originInRoot();
    const double middle = face.y - mine.y + faceView->frame().height / 2.0;
    entryView->layout({0.0, middle - KnobEntry::kHeight / 2.0, frame.width, KnobEntry::kHeight});
}

View& RotaryKnobView::face() const {
    return *faceView;
}

bool RotaryKnobView::isDragging() const {
    return faceView->isDragging();
}

bool RotaryKnobView::showsReadout() const {
    return faceView->showsReadout();
}

TextField* RotaryKnobView::entryField() const {
    return entryView->field();
}

void RotaryKnobView::openEntry() {
    entryView->open();
}

} // namespace zerin
