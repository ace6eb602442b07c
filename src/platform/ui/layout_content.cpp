#include "platform/ui/layout.h"

#include "platform/ui/layout_support.h"
#include "platform/ui/shapes.h"

#include <algorithm>

namespace zerin {

namespace {

using namespace layout_detail;

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

} // namespace zerin
