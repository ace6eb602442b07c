#include "widgets/segmented_control.h"

#include "platform/ui/layout.h"
#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"
#include "widgets/controls.h"

#include <utility>

namespace zerin {

namespace {

ViewPtr segmentLabel(std::string title, std::size_t index, const Binding<std::size_t>& selection,
                     const SegmentedControlStyle& style) {
    return padding(text([title = std::move(title)] { return title; }, style.font,
                        [selection, index, selected = style.selectedText, plain = style.text] {
                            return selection.get() == index ? selected : plain;
                        }),
                   EdgeInsets::symmetric(style.paddingX, style.paddingY));
}

} // namespace

SegmentedControl::SegmentedControl(std::vector<std::string> titles, Binding<std::size_t> selection,
                                   std::function<void(std::size_t)> onSelect,
                                   SegmentedControlStyle style)
    : selection(std::move(selection)), onSelect(std::move(onSelect)), style(std::move(style)) {
    ViewList buttons;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        buttons.push_back(
            button(segmentLabel(std::move(titles[i]), i, this->selection, this->style),
                   [this, i] { select(i); }));
        segments.push_back(buttons.back().get());
    }
    addChild(padding(hstack(2.0, VAlign::center, std::move(buttons)), EdgeInsets::all(2.0)));
}

Size SegmentedControl::sizeThatFits(Size proposal) {
    return children().front()->sizeThatFits(proposal);
}

void SegmentedControl::layout(const Rect& frame) {
    View::layout(frame);
    followSelection();
}

void SegmentedControl::draw(Graphics& g) {
    Path track;
    addCapsule(track, bounds());
    g.fill(track, style.track);
    if (shown) {
        Path highlight;
        addCapsule(highlight, slide.valueAt(now()));
        g.fill(highlight,
               *shown < style.highlights.size() ? style.highlights[*shown] : style.highlight);
        // A slide under way is drawn again every frame until it lands.
        if (slide.isAnimating(now())) setNeedsDisplay();
    }
    drawChildren(g);
}

double SegmentedControl::now() const {
    return context() != nullptr ? context()->frameTime() : 0.0;
}

// The segment's frame in the control's own coordinates.
Rect SegmentedControl::segmentRect(std::size_t index) const {
    const View& view = segment(index);
    const Point origin = view.originInRoot();
    const Point mine = originInRoot();
    return {origin.x - mine.x, origin.y - mine.y, view.frame().width, view.frame().height};
}

void SegmentedControl::select(std::size_t index) {
    selection.set(index);
    // Started now rather than at the next layout, so the slide is timed from the click.
    shown = index;
    slide.animateTo(segmentRect(index), now(), style.slideSeconds);
    if (onSelect) onSelect(index);
}

void SegmentedControl::followSelection() {
    const std::size_t index = selection.get();
    if (index >= segments.size()) return;
    const Rect target = segmentRect(index);
    if (shown != index || slide.target() != target) setNeedsDisplay();
    if (!shown) {
        slide.animateTo(target, now(), 0.0);
    } else if (*shown != index) {
        slide.animateTo(target, now(), style.slideSeconds);
    } else if (slide.target() != target) {
        // The segments moved (a resize): follow at once unless a slide is under way.
        slide.animateTo(target, now(), slide.isAnimating(now()) ? style.slideSeconds : 0.0);
    }
    shown = index;
}

} // namespace zerin
