#pragma once

// What the layout views share: sizes along and across a stack's axis, alignment within a
// frame, and a view wrapping one child. Used by the layout files only.

#include "platform/ui/layout.h"

#include <cmath>

namespace zerin::layout_detail {

enum class Axis { horizontal, vertical };

inline double along(Size s, Axis axis) {
    return axis == Axis::horizontal ? s.width : s.height;
}
inline double across(Size s, Axis axis) {
    return axis == Axis::horizontal ? s.height : s.width;
}
inline Size makeSize(Axis axis, double alongLength, double acrossLength) {
    return axis == Axis::horizontal ? Size{alongLength, acrossLength}
                                    : Size{acrossLength, alongLength};
}
inline bool isFlexibleAlong(const View& view, Axis axis) {
    const Flexibility f = view.flexibility();
    return axis == Axis::horizontal ? f.horizontal : f.vertical;
}
inline double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}
inline double fraction(HAlign a) {
    return a == HAlign::leading ? 0.0 : a == HAlign::center ? 0.5 : 1.0;
}
inline double fraction(VAlign a) {
    return a == VAlign::top ? 0.0 : a == VAlign::center ? 0.5 : 1.0;
}
inline Size sizeOf(const Rect& r) {
    return {r.width, r.height};
}
// `size` placed in `space` (local coordinates) as `alignment` says.
inline Rect aligned(Size size, Size space, Alignment alignment) {
    return {(space.width - size.width) * fraction(alignment.horizontal),
            (space.height - size.height) * fraction(alignment.vertical), size.width, size.height};
}

// One child that takes its size from the child and gets all of its own bounds.
class WrapperView : public View {
public:
    explicit WrapperView(ViewPtr child) { content = addChild(std::move(child)); }
    Size sizeThatFits(Size proposal) override { return content->sizeThatFits(proposal); }
    Flexibility flexibility() const override { return content->flexibility(); }

protected:
    View* content;
};

} // namespace zerin::layout_detail
