#include "platform/ui/layout.h"

#include "platform/ui/layout_support.h"
#include "platform/ui/shapes.h"

#include <algorithm>

namespace zerin {

namespace {

using namespace layout_detail;

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

} // namespace

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

ViewPtr shape(Shape shape, PaintFunction fill, PaintFunction stroke, StrokeStyle strokeStyle) {
    return std::make_unique<ShapeView>(shape, std::move(fill), std::move(stroke), strokeStyle);
}

ViewPtr clipped(ViewPtr child, Shape shape) {
    return std::make_unique<ClipView>(std::move(child), shape);
}

ViewPtr shadowed(ViewPtr child, Shape shape, Color color, double radius) {
    return std::make_unique<ShadowView>(std::move(child), shape, color, radius);
}

} // namespace zerin
