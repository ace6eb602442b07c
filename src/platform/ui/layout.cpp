#include "platform/ui/layout.h"

#include "platform/ui/shapes.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

enum class Axis { horizontal, vertical };

double along(Size s, Axis axis) {
    return axis == Axis::horizontal ? s.width : s.height;
}
double across(Size s, Axis axis) {
    return axis == Axis::horizontal ? s.height : s.width;
}
Size makeSize(Axis axis, double alongLength, double acrossLength) {
    return axis == Axis::horizontal ? Size{alongLength, acrossLength}
                                    : Size{acrossLength, alongLength};
}
bool isFlexibleAlong(const View& view, Axis axis) {
    const Flexibility f = view.flexibility();
    return axis == Axis::horizontal ? f.horizontal : f.vertical;
}
double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}
double fraction(HAlign a) {
    return a == HAlign::leading ? 0.0 : a == HAlign::center ? 0.5 : 1.0;
}
double fraction(VAlign a) {
    return a == VAlign::top ? 0.0 : a == VAlign::center ? 0.5 : 1.0;
}
Size sizeOf(const Rect& r) {
    return {r.width, r.height};
}
// `size` placed in `space` (local coordinates) as `alignment` says.
Rect aligned(Size size, Size space, Alignment alignment) {
    return {(space.width - size.width) * fraction(alignment.horizontal),
            (space.height - size.height) * fraction(alignment.vertical), size.width, size.height};
}

// Flexible along the axis of the stack it is in, and nothing across it, so a spacer in a row
// never makes the row tall. Outside a stack it is flexible both ways.
class SpacerView : public View {
public:
    explicit SpacerView(double minLength) : minLength(minLength) {}
    void placeInStack(Axis stackAxis) {
        axis = stackAxis;
        placed = true;
    }
    Size sizeThatFits(Size proposal) override {
        auto length = [this](double offered) {
            return std::isfinite(offered) ? std::max(offered, 0.0) : minLength;
        };
        if (!placed) return {length(proposal.width), length(proposal.height)};
        return makeSize(axis, length(along(proposal, axis)), 0.0);
    }
    Flexibility flexibility() const override {
        if (!placed) return {true, true};
        return {axis == Axis::horizontal, axis == Axis::vertical};
    }

private:
    double minLength;
    Axis axis = Axis::horizontal;
    bool placed = false;
};

class StackView : public View {
public:
    StackView(Axis axis, double spacing, double crossFraction, ViewList children)
        : axis(axis), spacing(spacing), crossFraction(crossFraction) {
        for (auto& child : children) {
            if (auto* spacerView = dynamic_cast<SpacerView*>(child.get()))
                spacerView->placeInStack(axis);
            addChild(std::move(child));
        }
    }

    Size sizeThatFits(Size proposal) override { return total(measure(proposal)); }

    void layout(const Rect& frame) override {
        setFrame(frame);
        const Size space = sizeOf(frame);
        const std::vector<Size> sizes = measure(space);
        // Given more room than it needs (as a root, say), the stack keeps its content centred.
        double position = std::max(0.0, along(space, axis) - along(total(sizes), axis)) / 2.0;
        const double crossSpace = across(space, axis);
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const Size s = sizes[i];
            const double crossPosition = (crossSpace - across(s, axis)) * crossFraction;
            const Rect childFrame = axis == Axis::horizontal
                                        ? Rect{position, crossPosition, s.width, s.height}
                                        : Rect{crossPosition, position, s.width, s.height};
            children()[i]->layout(childFrame);
            position += along(s, axis) + spacing;
        }
    }

private:
    std::vector<Size> measure(Size proposal) {
        const auto& list = children();
        std::vector<Size> sizes(list.size());
        const double crossOffer = across(proposal, axis);
        double remaining = along(proposal, axis) - totalSpacing();
        std::vector<std::size_t> flexible;
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (isFlexibleAlong(*list[i], axis)) {
                flexible.push_back(i);
                continue;
            }
            sizes[i] = list[i]->sizeThatFits(makeSize(axis, std::max(remaining, 0.0), crossOffer));
            remaining -= along(sizes[i], axis);
        }
        shareAmong(flexible, remaining, crossOffer, sizes);
        return sizes;
    }

    // Equal shares; a child that takes less than its share (a frame with a maximum) leaves the
    // rest to the others, so the shares are worked out again without it.
    void shareAmong(std::vector<std::size_t> flexible, double remaining, double crossOffer,
                    std::vector<Size>& sizes) {
        const auto& list = children();
        while (!flexible.empty()) {
            const double share = std::max(remaining, 0.0) / static_cast<double>(flexible.size());
            std::vector<std::size_t> unsettled;
            for (const std::size_t i : flexible) {
                sizes[i] = list[i]->sizeThatFits(makeSize(axis, share, crossOffer));
                if (along(sizes[i], axis) < share - 1e-9)
                    remaining -= along(sizes[i], axis);
                else
                    unsettled.push_back(i);
            }
            if (unsettled.size() == flexible.size()) return;
            flexible = std::move(unsettled);
        }
    }

    double totalSpacing() const {
        const std::size_t n = children().size();
        return n > 1 ? spacing * static_cast<double>(n - 1) : 0.0;
    }

    Size total(const std::vector<Size>& sizes) const {
        double sum = totalSpacing();
        double maxAcross = 0.0;
        for (const Size s : sizes) {
            sum += along(s, axis);
            maxAcross = std::max(maxAcross, across(s, axis));
        }
        return makeSize(axis, sum, maxAcross);
    }

    Axis axis;
    double spacing;
    double crossFraction;
};

class ZStackView : public View {
public:
    ZStackView(Alignment alignment, ViewList children) : alignment(alignment) {
        for (auto& child : children)
            addChild(std::move(child));
    }
    Size sizeThatFits(Size proposal) override {
        Size result;
        for (const auto& child : children()) {
            const Size s = child->sizeThatFits(proposal);
            result.width = std::max(result.width, s.width);
            result.height = std::max(result.height, s.height);
        }
        return result;
    }
    void layout(const Rect& frame) override {
        setFrame(frame);
        const Size space = sizeOf(frame);
        for (const auto& child : children())
            child->layout(aligned(child->sizeThatFits(space), space, alignment));
    }

private:
    Alignment alignment;
};

// One child that takes its size from the child and gets all of its own bounds.
class WrapperView : public View {
public:
    explicit WrapperView(ViewPtr child) { content = addChild(std::move(child)); }
    Size sizeThatFits(Size proposal) override { return content->sizeThatFits(proposal); }
    Flexibility flexibility() const override { return content->flexibility(); }

protected:
    View* content;
};

struct AxisLimits {
    std::optional<double> fixed;
    std::optional<double> min;
    std::optional<double> max;

    double offer(double proposed) const {
        if (fixed) return *fixed;
        double o = proposed;
        if (max) o = std::min(o, *max);
        if (min) o = std::max(o, *min);
        return o;
    }
    // The proposal within the limits; a limit that is not given is the child's size.
    double resolve(double proposed, double child) const {
        if (fixed) return *fixed;
        if (!min && !max) return child;
        if (!std::isfinite(proposed)) {
            double r = child;
            if (max) r = std::min(r, *max);
            if (min) r = std::max(r, *min);
            return r;
        }
        const double lo = min.value_or(child);
        const double hi = max.value_or(child);
        if (lo > hi) return min ? lo : hi; // a stated limit beats the child's size
        return std::clamp(proposed, lo, hi);
    }
    bool flexible(bool childFlexible) const {
        if (fixed) return false;
        return max ? *max > min.value_or(0.0) : childFlexible;
    }
};

class FrameView : public WrapperView {
public:
    FrameView(ViewPtr child, const FrameSpec& spec)
        : WrapperView(std::move(child)), horizontal{spec.width, spec.minWidth, spec.maxWidth},
          vertical{spec.height, spec.minHeight, spec.maxHeight}, alignment(spec.alignment) {}

    Size sizeThatFits(Size proposal) override {
        const Size offer{horizontal.offer(proposal.width), vertical.offer(proposal.height)};
        const Size child = content->sizeThatFits(offer);
        return {finiteOrZero(horizontal.resolve(proposal.width, child.width)),
                finiteOrZero(vertical.resolve(proposal.height, child.height))};
    }
    Flexibility flexibility() const override {
        const Flexibility child = content->flexibility();
        return {horizontal.flexible(child.horizontal), vertical.flexible(child.vertical)};
    }
    void layout(const Rect& frame) override {
        setFrame(frame);
        const Size space = sizeOf(frame);
        content->layout(aligned(content->sizeThatFits(space), space, alignment));
    }

private:
    AxisLimits horizontal;
    AxisLimits vertical;
    Alignment alignment;
};

class PaddingView : public WrapperView {
public:
    PaddingView(ViewPtr child, EdgeInsets insets) : WrapperView(std::move(child)), insets(insets) {}
    Size sizeThatFits(Size proposal) override {
        const double h = insets.leading + insets.trailing;
        const double v = insets.top + insets.bottom;
        const Size inner = content->sizeThatFits(
            {std::max(proposal.width - h, 0.0), std::max(proposal.height - v, 0.0)});
        return {inner.width + h, inner.height + v};
    }
    void layout(const Rect& frame) override {
        setFrame(frame);
        content->layout({insets.leading, insets.top,
                         std::max(frame.width - insets.leading - insets.trailing, 0.0),
                         std::max(frame.height - insets.top - insets.bottom, 0.0)});
    }

private:
    EdgeInsets insets;
};

// The content and a decoration that shares its frame, drawn under or over it.
class DecoratedView : public View {
public:
    DecoratedView(ViewPtr contentView, ViewPtr decorationView, bool decorationInFront) {
        if (decorationInFront) {
            content = addChild(std::move(contentView));
            decoration = addChild(std::move(decorationView));
        } else {
            decoration = addChild(std::move(decorationView));
            content = addChild(std::move(contentView));
        }
    }
    Size sizeThatFits(Size proposal) override { return content->sizeThatFits(proposal); }
    Flexibility flexibility() const override { return content->flexibility(); }
    void layout(const Rect& frame) override {
        setFrame(frame);
        content->layout(bounds());
        decoration->layout(content->frame());
    }

private:
    View* content;
    View* decoration;
};

class OpacityView : public WrapperView {
public:
    OpacityView(ViewPtr child, double value)
        : WrapperView(std::move(child)), value(std::clamp(value, 0.0, 1.0)) {}
    void draw(Graphics& g) override {
        if (value <= 0.0) return;
        if (value >= 1.0) return drawChildren(g);
        g.beginGroup();
        drawChildren(g);
        g.endGroup(value);
    }

private:
    double value;
};

class ShapeView : public View {
public:
    ShapeView(Shape shape, PaintFunction fill, PaintFunction stroke, StrokeStyle style)
        : shape(shape), fillPaint(std::move(fill)), strokePaint(std::move(stroke)), style(style) {}
    Flexibility flexibility() const override { return {true, true}; }
    void draw(Graphics& g) override {
        const Rect box = bounds();
        const Path path = shape.pathIn(box);
        if (fillPaint) g.fill(path, fillPaint(box));
        if (strokePaint) g.stroke(path, strokePaint(box), style);
    }

private:
    Shape shape;
    PaintFunction fillPaint;
    PaintFunction strokePaint;
    StrokeStyle style;
};

class ClipView : public WrapperView {
public:
    ClipView(ViewPtr child, Shape shape) : WrapperView(std::move(child)), shape(shape) {}
    void draw(Graphics& g) override {
        g.save();
        g.clip(shape.pathIn(bounds()));
        drawChildren(g);
        g.restore();
    }
    View* hitTest(Point local) override {
        const Rect b = bounds();
        if (local.x < 0.0 || local.y < 0.0 || local.x >= b.width || local.y >= b.height)
            return nullptr;
        return View::hitTest(local);
    }

private:
    Shape shape;
};

class ShadowView : public WrapperView {
public:
    ShadowView(ViewPtr child, Shape shape, Color color, double radius)
        : WrapperView(std::move(child)), shape(shape), color(color), radius(radius) {}
    void draw(Graphics& g) override {
        g.shadow(shape.pathIn(bounds()), color, radius);
        drawChildren(g);
    }

private:
    Shape shape;
    Color color;
    double radius;
};

class TextView : public View {
public:
    TextView(std::function<std::string()> content, Font font, std::function<Color()> color,
             TextAlignment alignment)
        : content(std::move(content)), font(font), color(std::move(color)), alignment(alignment) {}
    Size sizeThatFits(Size proposal) override {
        const Size measured = measureText(content(), font);
        return {std::min(measured.width, std::max(proposal.width, 0.0)), measured.height};
    }
    void draw(Graphics& g) override {
        const std::string shown = content();
        Rect box = bounds();
        // A width handed down through sums and differences (a row that sizes one part and
        // gives another what is left) can come back a rounding error short of what the text
        // measured; that must not cut the text.
        const double measured = measureText(shown, font).width;
        if (box.width < measured && box.width >= measured - kRoundingSlack) box.width = measured;
        g.drawTextInBox(shown, font, color(), box, alignment);
    }

private:
    static constexpr double kRoundingSlack = 1e-3;
    std::function<std::string()> content;
    Font font;
    std::function<Color()> color;
    TextAlignment alignment;
};

class SymbolView : public View {
public:
    SymbolView(std::string name, Font font, Color color)
        : name(std::move(name)), font(font), color(color) {}
    Size sizeThatFits(Size) override { return measureSymbol(name, font); }
    void draw(Graphics& g) override {
        const Rect b = bounds();
        g.drawSymbol(name, font, color, {b.width / 2.0, b.height / 2.0});
    }

private:
    std::string name;
    Font font;
    Color color;
};

class DividerView : public View {
public:
    DividerView(Color color, Axis axis) : color(color), axis(axis) {}
    Size sizeThatFits(Size proposal) override {
        return makeSize(axis, finiteOrZero(along(proposal, axis)), 1.0);
    }
    Flexibility flexibility() const override {
        return {axis == Axis::horizontal, axis == Axis::vertical};
    }
    void draw(Graphics& g) override {
        Path path;
        addRect(path, bounds());
        g.fill(path, color);
    }

private:
    Color color;
    Axis axis;
};

class CanvasView : public View {
public:
    explicit CanvasView(std::function<void(Graphics&, Size)> paint) : paint(std::move(paint)) {}
    Flexibility flexibility() const override { return {true, true}; }
    void draw(Graphics& g) override {
        if (paint) paint(g, sizeOf(frame()));
    }

private:
    std::function<void(Graphics&, Size)> paint;
};

} // namespace

ViewPtr hstack(double spacing, VAlign alignment, ViewList children) {
    return std::make_unique<StackView>(Axis::horizontal, spacing, fraction(alignment),
                                       std::move(children));
}

ViewPtr vstack(double spacing, HAlign alignment, ViewList children) {
    return std::make_unique<StackView>(Axis::vertical, spacing, fraction(alignment),
                                       std::move(children));
}

ViewPtr zstack(Alignment alignment, ViewList children) {
    return std::make_unique<ZStackView>(alignment, std::move(children));
}

ViewPtr spacer(double minLength) {
    return std::make_unique<SpacerView>(minLength);
}

ViewPtr frame(ViewPtr child, FrameSpec spec) {
    return std::make_unique<FrameView>(std::move(child), spec);
}

ViewPtr padding(ViewPtr child, EdgeInsets insets) {
    return std::make_unique<PaddingView>(std::move(child), insets);
}

ViewPtr background(ViewPtr content, ViewPtr back) {
    return std::make_unique<DecoratedView>(std::move(content), std::move(back), false);
}

ViewPtr overlay(ViewPtr content, ViewPtr front) {
    return std::make_unique<DecoratedView>(std::move(content), std::move(front), true);
}

ViewPtr opacity(ViewPtr child, double value) {
    return std::make_unique<OpacityView>(std::move(child), value);
}

ViewPtr hitTestingOff(ViewPtr child) {
    child->hitTestingEnabled = false;
    return child;
}

Path Shape::pathIn(const Rect& rect) const {
    Path path;
    switch (kind) {
        case Kind::rectangle:
            addRect(path, rect);
            break;
        case Kind::roundedRectangle:
            addRoundedRect(path, rect, cornerRadius, continuousCorners);
            break;
        case Kind::capsule:
            addCapsule(path, rect);
            break;
        case Kind::circle: {
            const double side = std::min(rect.width, rect.height);
            addEllipse(path, {rect.x + (rect.width - side) / 2.0,
                              rect.y + (rect.height - side) / 2.0, side, side});
            break;
        }
    }
    return path;
}

PaintFunction solid(Color color) {
    return [color](const Rect&) { return Paint{color}; };
}

PaintFunction verticalGradient(Color top, Color bottom) {
    return [top, bottom](const Rect& r) {
        return Paint{LinearGradient{{r.x, r.y}, {r.x, r.maxY()}, {{0.0, top}, {1.0, bottom}}}};
    };
}

ViewPtr shape(Shape shape, PaintFunction fill, PaintFunction stroke, StrokeStyle strokeStyle) {
    return std::make_unique<ShapeView>(shape, std::move(fill), std::move(stroke), strokeStyle);
}

ViewPtr clipped(ViewPtr child, Shape shape) {
    return std::make_unique<ClipView>(std::move(child), shape);
}

ViewPtr shadowed(ViewPtr child, Shape shape, Color color, double radius) {
    return std::make_unique<ShadowView>(std::move(child), shape, color, radius);
}

ViewPtr text(std::string content, Font font, Color color, TextAlignment alignment) {
    return std::make_unique<TextView>([content = std::move(content)] { return content; }, font,
                                      [color] { return color; }, alignment);
}

ViewPtr text(std::function<std::string()> content, Font font, std::function<Color()> color,
             TextAlignment alignment) {
    return std::make_unique<TextView>(std::move(content), font, std::move(color), alignment);
}

ViewPtr symbol(std::string name, Font font, Color color) {
    return std::make_unique<SymbolView>(std::move(name), font, color);
}

ViewPtr horizontalDivider(Color color) {
    return std::make_unique<DividerView>(color, Axis::horizontal);
}

ViewPtr verticalDivider(Color color) {
    return std::make_unique<DividerView>(color, Axis::vertical);
}

ViewPtr canvas(std::function<void(Graphics&, Size)> draw) {
    return std::make_unique<CanvasView>(std::move(draw));
}

ComposedView::ComposedView(std::function<ViewPtr()> body) : body(std::move(body)) {}

Size ComposedView::sizeThatFits(Size proposal) {
    rebuildIfStale();
    if (children().empty()) return {};
    return children().front()->sizeThatFits(proposal);
}

Flexibility ComposedView::flexibility() const {
    // A parent asks this before measuring, on the first layout too; building here is part of
    // that layout, never of an event.
    const_cast<ComposedView*>(this)->rebuildIfStale();
    return View::flexibility();
}

void ComposedView::layout(const Rect& frame) {
    rebuildIfStale();
    View::layout(frame);
}

void ComposedView::rebuild() {
    removeAllChildren();
    ViewPtr content;
    watches = trackReads([this, &content] { content = body ? body() : nullptr; },
                         [this] { stale = true; });
    stale = false;
    if (content) addChild(std::move(content));
}

void ComposedView::rebuildIfStale() {
    if (stale) rebuild();
}

ViewPtr composed(std::function<ViewPtr()> body) {
    return std::make_unique<ComposedView>(std::move(body));
}

} // namespace zerin
