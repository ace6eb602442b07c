#include "platform/ui/view_host.h"

#include "platform/ui/graphics.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

constexpr double kDoubleClickInterval = 0.4;
constexpr double kDoubleClickDistance = 4.0;

// Whether anything in the subtree takes the pointer or hover.
bool takesInput(const View* view) {
    if (!view->hitTestingEnabled) return false;
    if (view->acceptsPointer() || view->tracksHover()) return true;
    const auto& children = view->children();
    return std::any_of(children.begin(), children.end(),
                       [](const auto& child) { return takesInput(child.get()); });
}

// The deepest view under `local` whatever input it takes: hover and the wheel start there
// and walk up. Later children lie on top. A subtree where nothing takes the pointer or hover
// is seen through: an empty layer laid over the whole editor must not keep the hover (and
// with it the cursor) and the wheel from what lies under it.
View* deepestViewAt(View* view, Point local) {
    if (!view->hitTestingEnabled || !view->bounds().contains(local)) return nullptr;
    const auto& children = view->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const Rect& f = (*it)->frame();
        if (View* hit = deepestViewAt(it->get(), {local.x - f.x, local.y - f.y})) return hit;
    }
    return takesInput(view) ? view : nullptr;
}

// What a tooltip's drawing may cover.
Rect withTooltipMargin(const Rect& frame) {
    return {frame.x - kTooltipMargin, frame.y - kTooltipMargin, frame.width + 2.0 * kTooltipMargin,
            frame.height + 2.0 * kTooltipMargin};
}

} // namespace

ViewHost::ViewHost(MainQueue& queue, Size size) : mContext(queue), mSize(size) {
    mContext.onViewDestroyed = [this](View* view) { forget(view); };
}

ViewHost::~ViewHost() {
    mRoot.reset();
    mContext.onViewDestroyed = nullptr;
}

void ViewHost::setRoot(std::unique_ptr<View> root) {
    mRoot.reset();
    mRoot = std::move(root);
    if (!mRoot) return;
    mRoot->mParent = nullptr;
    mRoot->setContextRecursively(&mContext);
    mContext.invalidateAll();
}

void ViewHost::setSize(Size size) {
    if (size == mSize) return;
    mContext.invalidateAll();
    // Placed for the old size: it would stand beside where its control was.
    hideTooltip(false);
    mSize = size;
}

void ViewHost::advance(double now) {
    mContext.beginFrame(now);
    layout();
    showTooltipWhenDue();
}

void ViewHost::layout() {
    if (!mRoot) return;
    mRoot->layout({0.0, 0.0, mSize.width, mSize.height});
    // Views may have moved, appeared or gone under a pointer that stands still.
    if (!mPressed && mPointerInside) updateHover(mLastPointer);
}

void ViewHost::draw(Graphics& g) {
    if (mRoot) mRoot->drawWatched(g);
    if (mTooltip) drawTooltip(g, *mTooltip);
}

void ViewHost::pointerDown(Point location, ModifierKeys modifiers, PointerButton button) {
    mContext.modifiers().update(modifiers);
    mLastPointer = location;
    mPointerInside = true;
    if (mPressed) return; // a second button while one is held: the first drag goes on
    hideTooltip(true);
    View* target = mRoot ? mRoot->hitTest(location) : nullptr;
    if (button != PointerButton::left) {
        // Only a view that takes this button sees its press (elsewhere it is dropped, as
        // before views took other buttons); none counts towards a double click, and it
        // breaks a run of left clicks.
        if (!target || !target->acceptsButton(button)) return;
        mLastPressTime = -1.0;
        mClickCount = 1;
        mContext.invalidateAll();
        mContext.setFocus(target && target->acceptsFocus() ? target : nullptr);
        beginPress(target, location, modifiers, button);
        return;
    }
    const double now = mContext.mainQueue().now();
    const bool repeat = mLastPressTime >= 0.0 && now - mLastPressTime <= kDoubleClickInterval &&
                        std::hypot(location.x - mLastPressLocation.x,
                                   location.y - mLastPressLocation.y) <= kDoubleClickDistance;
    // Presses, releases, the wheel and keys change what views show (pressed looks, focus,
    // scrolling, text) in ways only they know: the whole window is drawn again.
    mContext.invalidateAll();
    mClickCount = repeat ? mClickCount + 1 : 1;
    mLastPressTime = now;
    mLastPressLocation = location;
    mContext.setFocus(target && target->acceptsFocus() ? target : nullptr);
    beginPress(target, location, modifiers, button);
}

void ViewHost::beginPress(View* target, Point location, ModifierKeys modifiers,
                          PointerButton button) {
    if (!target) return;
    mPressed = target;
    mPressedButton = button;
    mPressCursorDepth = mContext.cursorDepth();
    target->pointerDown({target->toLocal(location), mClickCount, modifiers, button});
}

void ViewHost::pointerMoved(Point location, ModifierKeys modifiers) {
    mContext.modifiers().update(modifiers);
    mLastPointer = location;
    mPointerInside = true;
    if (mPressed) {
        mPressed->pointerDragged(
            {mPressed->toLocal(location), mClickCount, modifiers, mPressedButton});
        if (mPressed) mPressed->setNeedsDisplay();
    } else {
        updateTooltipOwner(location);
        updateHover(location);
        // A view may forget itself while told; the chain is read afresh each time.
        for (std::size_t i = 0; i < mHoverChain.size(); ++i) {
            View* view = mHoverChain[i].view;
            view->pointerHovered(view->toLocal(location));
        }
    }
}

void ViewHost::pointerUp(Point location, ModifierKeys modifiers, PointerButton button) {
    mContext.modifiers().update(modifiers);
    mLastPointer = location;
    // The release of a button whose press was dropped (another one was held): the drag of
    // the held one goes on.
    if (mPressed && button != mPressedButton) return;
    mContext.invalidateAll();
    if (View* view = mPressed) {
        mPressed = nullptr;
        view->pointerUp({view->toLocal(location), mClickCount, modifiers, button});
    }
    updateHover(location);
}

void ViewHost::pointerLeft() {
    mPointerInside = false;
    hideTooltip(false);
    mTooltipOwner = nullptr;
    if (!mHoverChain.empty()) mContext.invalidateAll();
    if (!mPressed) exitHoverFrom(0);
}

void ViewHost::scrollWheel(double lines, Point location) {
    mContext.invalidateAll();
    hideTooltip(true);
    for (View* v = mRoot ? deepestViewAt(mRoot.get(), location) : nullptr; v; v = v->parent())
        if (v->scrollWheel(lines, v->toLocal(location))) return;
}

void ViewHost::keyDown(const KeyEvent& event) {
    mContext.modifiers().update(event.modifiers);
    mContext.invalidateAll();
    hideTooltip(true);
    // A click may have opened a panel whose field takes the focus when first laid out, and
    // keys typed right after it can arrive before the next frame: the tree is laid out as it
    // now stands, so they reach that field rather than nobody.
    layout();
    for (View* v = mContext.focusedView(); v; v = v->parent())
        if (v->keyDown(event)) return;
    if (unhandledKey) unhandledKey(event);
}

void ViewHost::updateHover(Point location) {
    std::vector<View*> chain;
    View* deepest = mRoot ? deepestViewAt(mRoot.get(), location) : nullptr;
    for (View* v = deepest; v; v = v->parent())
        if (v->tracksHover()) chain.push_back(v);
    std::reverse(chain.begin(), chain.end());

    std::size_t common = 0;
    while (common < chain.size() && common < mHoverChain.size() &&
           mHoverChain[common].view == chain[common])
        ++common;
    // Hover changes how a view looks (and the views around it may answer it).
    if (common != chain.size() || common != mHoverChain.size()) mContext.invalidateAll();
    exitHoverFrom(common);
    // Entered outermost first; one that pushes a cursor sits under its inner views' pushes.
    for (std::size_t i = common; i < chain.size(); ++i) {
        mHoverChain.push_back({chain[i], mContext.cursorDepth()});
        mHovered = chain[i];
        chain[i]->pointerEntered();
    }
}

void ViewHost::exitHoverFrom(std::size_t index) {
    // Innermost first, the mirror of entering.
    while (mHoverChain.size() > index) {
        View* view = mHoverChain.back().view;
        mHoverChain.pop_back();
        mHovered = mHoverChain.empty() ? nullptr : mHoverChain.back().view;
        view->pointerExited();
    }
}

void ViewHost::forget(View* view) {
    if (view == mTooltipOwner) {
        hideTooltip(false);
        mTooltipOwner = nullptr;
    }
    if (view == mPressed) {
        mPressed = nullptr;
        mContext.truncateCursors(mPressCursorDepth);
    }
    for (std::size_t i = 0; i < mHoverChain.size(); ++i) {
        if (mHoverChain[i].view != view) continue;
        // Its inner views die with it; none of them can pop what they pushed.
        mContext.truncateCursors(mHoverChain[i].cursorDepth);
        mHoverChain.resize(i);
        break;
    }
    mHovered = mHoverChain.empty() ? nullptr : mHoverChain.back().view;
}

void ViewHost::updateTooltipOwner(Point location) {
    View* owner = mRoot ? deepestViewAt(mRoot.get(), location) : nullptr;
    while (owner != nullptr && !owner->tooltip)
        owner = owner->parent();
    if (owner == mTooltipOwner) return;
    hideTooltip(false);
    mTooltipOwner = owner;
    mTooltipSince = mContext.mainQueue().now();
}

void ViewHost::showTooltipWhenDue() {
    if (mTooltip || mTooltipHeld || mPressed || !mPointerInside || mTooltipOwner == nullptr) return;
    if (mContext.mainQueue().now() - mTooltipSince < kTooltipDelay) return;
    std::vector<std::string> lines = tooltipLines(mTooltipOwner->tooltip());
    if (lines.empty()) return;
    const Point origin = mTooltipOwner->originInRoot();
    const Rect owner{origin.x, origin.y, mTooltipOwner->frame().width,
                     mTooltipOwner->frame().height};
    const Rect frame = tooltipFrame(owner, tooltipSize(lines), mSize);
    mTooltip = ShownTooltip{std::move(lines), frame};
    mContext.invalidate(withTooltipMargin(frame));
}

void ViewHost::hideTooltip(bool untilMoved) {
    mTooltipHeld = untilMoved && mTooltipOwner != nullptr;
    if (!mTooltip) return;
    mContext.invalidate(withTooltipMargin(mTooltip->frame));
    mTooltip.reset();
}

} // namespace zerin
