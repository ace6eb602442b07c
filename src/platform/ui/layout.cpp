#include "platform/ui/layout.h"

#include "platform/ui/layout_support.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace zerin {

namespace {

using namespace layout_detail;

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
