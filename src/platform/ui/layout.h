#pragma once

// Layout and decoration views: stacks, spacers, frames, padding, backgrounds, overlays,
// shapes, clipping, text, symbol images, dividers, custom drawing and views that rebuild
// from observed models. Built with the free functions below, which return owned views:
//
//     vstack(6, HAlign::center, views(hstack(16, VAlign::center, std::move(knobs)),
//                                     text("I/O", titleFont, textTertiary)))
//
// Stack layout: children that are not flexible along the stack's axis get their size first
// (in order, each offered what is left); the flexible ones share the rest equally.

#include "platform/ui/binding.h"
#include "platform/ui/graphics.h"
#include "platform/ui/view.h"
#include "signals/observation.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin {

using ViewPtr = std::unique_ptr<View>;
using ViewList = std::vector<ViewPtr>;

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class HAlign { leading, center, trailing };
enum class VAlign { top, center, bottom };
struct Alignment {
    HAlign horizontal = HAlign::center;
    VAlign vertical = VAlign::center;
};

struct EdgeInsets {
    double top = 0.0;
    double leading = 0.0;
    double bottom = 0.0;
    double trailing = 0.0;

    static constexpr EdgeInsets all(double v) { return {v, v, v, v}; }
    static constexpr EdgeInsets symmetric(double horizontal, double vertical) {
        return {vertical, horizontal, vertical, horizontal};
    }
};

// A list of views from movable arguments (an initializer list cannot hold unique_ptr).
template <typename... Views> ViewList views(Views&&... items) {
    ViewList list;
    list.reserve(sizeof...(items));
    (list.push_back(std::forward<Views>(items)), ...);
    return list;
}

// "Default spacing" of a stack whose spacing is not stated.
inline constexpr double kDefaultSpacing = 8.0;

ViewPtr hstack(double spacing, VAlign alignment, ViewList children);
ViewPtr vstack(double spacing, HAlign alignment, ViewList children);
// Layers back to front, each sized to fit the proposal and aligned within the stack.
ViewPtr zstack(Alignment alignment, ViewList children);
// Flexible along the axis of the stack it is in; `minLength` along it at least.
ViewPtr spacer(double minLength = 0.0);

// Every field has an initializer so designated initializers may name only a few.
struct FrameSpec {
    std::optional<double> width{}; // fixed
    std::optional<double> height{};
    std::optional<double> minWidth{};
    std::optional<double> maxWidth{}; // kInfinity: grow to whatever is offered (flexible)
    std::optional<double> minHeight{};
    std::optional<double> maxHeight{};
    Alignment alignment{};
};
ViewPtr frame(ViewPtr child, FrameSpec spec);
ViewPtr padding(ViewPtr child, EdgeInsets insets);
// `back` gets the content's frame and is drawn under it.
ViewPtr background(ViewPtr content, ViewPtr back);
// `front` gets the content's frame and is drawn over it.
ViewPtr overlay(ViewPtr content, ViewPtr front);
ViewPtr opacity(ViewPtr child, double value);
ViewPtr hitTestingOff(ViewPtr child);

// A shape that fills whatever frame it is given.
struct Shape {
    enum class Kind { rectangle, roundedRectangle, capsule, circle };
    Kind kind = Kind::rectangle;
    double cornerRadius = 0.0;
    bool continuousCorners = true;

    Path pathIn(const Rect& rect) const;

    static Shape rectangle() { return {}; }
    static Shape roundedRectangle(double radius) { return {Kind::roundedRectangle, radius, true}; }
    static Shape capsule() { return {Kind::capsule, 0.0, true}; }
    static Shape circle() { return {Kind::circle, 0.0, true}; }
};

// A fill worked out for the frame it lands in (a gradient from the top edge to the bottom).
using PaintFunction = std::function<Paint(const Rect& bounds)>;
PaintFunction solid(Color color);

// A flexible shape view: fills, then strokes (centred on the outline), either optional.
ViewPtr shape(Shape shape, PaintFunction fill, PaintFunction stroke = {},
              StrokeStyle strokeStyle = {});
// The content clipped to the shape fitted to its frame.
ViewPtr clipped(ViewPtr child, Shape shape);
// The content over a soft shadow of `shape` in its frame.
ViewPtr shadowed(ViewPtr child, Shape shape, Color color, double radius);

// One line of text: its measured size, cut with an ellipsis when offered less width.
// The colour and the text may change from frame to frame.
ViewPtr text(std::string content, Font font, Color color,
             TextAlignment alignment = TextAlignment::leading);
ViewPtr text(std::function<std::string()> content, Font font, std::function<Color()> color,
             TextAlignment alignment = TextAlignment::leading);
ViewPtr symbol(std::string name, Font font, Color color);

// A line 1 point thick, flexible along its length: horizontal across a column, vertical
// down a row.
ViewPtr horizontalDivider(Color color);
ViewPtr verticalDivider(Color color);

// Custom drawing over the whole frame, flexible both ways. Takes no pointer input.
ViewPtr canvas(std::function<void(Graphics&, Size)> draw);

// A view whose children come from `body`. Every model read through Observable::get (or any
// Signal::noteRead) while `body` runs is watched; the first change marks the view stale, and
// it rebuilds at its next layout, never in the middle of an event.
class ComposedView : public View {
public:
    explicit ComposedView(std::function<ViewPtr()> body);
    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override;
    void layout(const Rect& frame) override;
    // Rebuild now (tests, or an owner that knows its inputs changed).
    void rebuild();

private:
    void rebuildIfStale();
    std::function<ViewPtr()> body;
    std::vector<Subscription> watches;
    bool stale = true;
};

ViewPtr composed(std::function<ViewPtr()> body);

} // namespace zerin
