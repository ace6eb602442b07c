#pragma once

// The drawing surface every view paints on: paths, solid and gradient fills, strokes, text and
// symbol images, in points. A thin layer over cairo and pango; cairo composites in the
// gamma-encoded space, which is what the palette was chosen for.

#include "platform/ui/color.h"
#include "platform/ui/damage.h"
#include "platform/ui/geometry.h"
#include "platform/ui/path.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// cairo's own declaration, so that users of this header need not include cairo.
typedef struct _cairo cairo_t; // NOLINT(bugprone-reserved-identifier)

namespace zerin {

enum class FontWeight { regular, medium, semibold, bold };
// The system font (Inter where installed, DejaVu Sans otherwise) or its monospaced sibling
// (DejaVu Sans Mono).
enum class FontDesign { standard, monospaced };

struct Font {
    double size = 12.0; // points
    FontWeight weight = FontWeight::regular;
    FontDesign design = FontDesign::standard;
    double tracking = 0.0; // extra points after every character

    friend bool operator==(const Font&, const Font&) = default;
};

enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };

struct StrokeStyle {
    double width = 1.0;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
    double miterLimit = 10.0;
};

struct GradientStop {
    double offset = 0.0; // 0..1 along the gradient
    Color color;
};

struct LinearGradient {
    Point start;
    Point end;
    std::vector<GradientStop> stops;
};

// Both circles share one centre: colour runs from startRadius to endRadius.
struct RadialGradient {
    Point center;
    double startRadius = 0.0;
    double endRadius = 0.0;
    std::vector<GradientStop> stops;
};

using Paint = std::variant<Color, LinearGradient, RadialGradient>;

enum class TextAlignment { leading, center, trailing };

class TextSystem;
class ShadowMasks;

// What drawing keeps from frame to frame: laid-out texts with their fonts, and blurred shadow
// masks. cairo keeps server-side copies of these (glyphs, pictures) on every X display they
// are drawn to, and when one display closes it drops the glyphs of the fonts drawn there on
// every display those fonts ever reached, including ones still in use. So each window draws
// through caches of its own, fonts included, and releases them before its display closes.
// Image targets may share the process-wide caches: nothing of theirs lives on a server.
// Main thread.
class DrawingCaches {
public:
    DrawingCaches();
    ~DrawingCaches();
    DrawingCaches(const DrawingCaches&) = delete;
    DrawingCaches& operator=(const DrawingCaches&) = delete;

    TextSystem& text(); // made on first use, as are the masks
    ShadowMasks& shadows();

private:
    struct Deleter {
        void operator()(TextSystem* system) const;
        void operator()(ShadowMasks* masks) const;
    };
    std::unique_ptr<TextSystem, Deleter> mText;
    std::unique_ptr<ShadowMasks, Deleter> mShadows;
};

// The caches for drawing into images; they live as long as the process.
DrawingCaches& sharedDrawingCaches();

// One drawing pass over a cairo context. Main thread. Coordinates are points; the context's
// matrix carries the device scale, so nothing here knows about pixels. A pass onto an X
// window's surface uses that window's caches.
class Graphics {
public:
    explicit Graphics(cairo_t* context, DrawingCaches& caches = sharedDrawingCaches());
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    cairo_t* context() const { return cr; }
    DrawingCaches& drawingCaches() const { return *caches; }
    // Pixels per point when the current matrix is a plain, equal scale in both directions
    // (what a window and an image set); 0 for anything rotated, skewed or stretched.
    double uniformDeviceScale() const;

    // Matrix, clip and group stack; every save needs its restore.
    void save();
    void restore();
    void translate(double dx, double dy);
    void clip(const Path& path);
    void clipRect(const Rect& rect);
    // Whether anything drawn inside `rect` could show through the clip: a view outside the
    // area being drawn again need not be drawn at all.
    bool mayShow(const Rect& rect) const;
    // The pass draws only these areas (device pixels), which the clip holds: mayShow then
    // answers for each of them rather than for the box around them all, which for a few
    // small areas far apart would take in most of the window.
    void drawOnlyIn(std::vector<PixelRect> areas) { drawnAreas = std::move(areas); }

    // Everything drawn between the two is composited at once with `opacity`.
    void beginGroup();
    void endGroup(double opacity);

    // Non-zero rule, antialiased.
    void fill(const Path& path, const Paint& paint);
    void stroke(const Path& path, const Paint& paint, const StrokeStyle& style);

    // A soft shadow of `path`'s shape: the shape offset by (dx, dy) and blurred over about
    // `radius` points (a Gaussian of deviation radius / 2), in `color`. Drawn outside the shape
    // only, since the shape's own fill covers the rest. The blurred shape is kept between
    // frames, so a panel that keeps its shape pays for the blur once.
    void shadow(const Path& path, Color color, double radius, double dx = 0.0, double dy = 0.0);

    // One line of text whose line box (advance width by line height) is centred on `center`.
    void drawText(std::string_view text, const Font& font, const Color& color, Point center);
    // One line of text set in `box`: vertically centred, aligned as asked, cut with an
    // ellipsis when wider than the box.
    void drawTextInBox(std::string_view text, const Font& font, const Color& color, const Rect& box,
                       TextAlignment alignment);

    // A named symbol image ("chevron.down", "square.and.arrow.down", "xmark") at the size a
    // glyph of `font` would have, centred on `center`. Unknown names draw nothing.
    void drawSymbol(std::string_view name, const Font& font, const Color& color, Point center);

private:
    cairo_t* cr;
    DrawingCaches* caches;
    std::vector<PixelRect> drawnAreas; // empty: all of the clip
};

// The size one line of `text` takes in `font` (advance width including tracking, line
// height). Main thread; cached, so asking every frame is cheap.
Size measureText(std::string_view text, const Font& font);

// The size a symbol image takes in `font`.
Size measureSymbol(std::string_view name, const Font& font);

// Whether the named symbol exists.
bool isKnownSymbol(std::string_view name);

// The family pango resolved for the design, for tests and the closing report ("Inter",
// "DejaVu Sans", "DejaVu Sans Mono").
std::string resolvedFontFamily(FontDesign design);

} // namespace zerin
