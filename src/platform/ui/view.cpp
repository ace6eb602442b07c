#include "platform/ui/view.h"

#include "platform/ui/graphics.h"
#include "platform/ui/ui_context.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zerin {

namespace {

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

// Room around a view's bounds for what its drawing spills: antialiased and stroked edges,
// the knobs' glow.
constexpr double kDrawingMargin = 8.0;

} // namespace

View::~View() {
    // Before the children go: the host forgets this view first, then each child as it dies.
    if (mContext) mContext->viewDestroyed(this);
}

Size View::sizeThatFits(Size proposal) {
    return {finiteOrZero(proposal.width), finiteOrZero(proposal.height)};
}

Flexibility View::flexibility() const {
    Flexibility result;
    for (const auto& child : mChildren) {
        const Flexibility f = child->flexibility();
        result.horizontal = result.horizontal || f.horizontal;
        result.vertical = result.vertical || f.vertical;
    }
    return result;
}

void View::layout(const Rect& frame) {
    setFrame(frame);
    for (const auto& child : mChildren)
        child->layout(bounds());
}

void View::draw(Graphics& g) {
    drawChildren(g);
}

void View::drawChildren(Graphics& g) {
    for (const auto& child : mChildren) {
        const Rect& f = child->frame();
        const Rect reach = child->drawingBounds();
        if (!g.mayShow({f.x + reach.x, f.y + reach.y, reach.width, reach.height})) continue;
        g.save();
        g.translate(f.x, f.y);
        child->drawWatched(g);
        g.restore();
    }
}

void View::drawWatched(Graphics& g) {
    if (!mDrawWatch) mDrawWatch = std::make_unique<ReadWatch>([this] { modelDidChange(); });
    mDrawWatch->run([this, &g] { draw(g); });
}

void View::setNeedsDisplay() {
    setNeedsDisplay(drawingBounds());
}

void View::setNeedsDisplay(const Rect& local) {
    if (!mContext) return;
    const Point origin = originInRoot();
    mContext->invalidate({origin.x + local.x, origin.y + local.y, local.width, local.height});
}

Rect View::drawingBounds() const {
    return {-kDrawingMargin, -kDrawingMargin, mFrame.width + 2.0 * kDrawingMargin,
            mFrame.height + 2.0 * kDrawingMargin};
}

void View::setFrame(const Rect& frame) {
    if (frame == mFrame) return;
    mFrame = frame;
    if (mContext) mContext->invalidateAll();
}

View* View::hitTest(Point local) {
    if (!hitTestingEnabled) return nullptr;
    for (auto it = mChildren.rbegin(); it != mChildren.rend(); ++it) {
        View* child = it->get();
        if (!child->hitTestingEnabled) continue;
        const Rect& f = child->frame();
        if (View* hit = child->hitTest({local.x - f.x, local.y - f.y})) return hit;
    }
    if (acceptsPointer() && bounds().contains(local)) return this;
    return nullptr;
}

bool View::scrollWheel(double, Point) {
    return false;
}

void View::focusChanged(bool) {}

bool View::keyDown(const KeyEvent&) {
    return false;
}

View* View::addChild(std::unique_ptr<View> child) {
    View* raw = child.get();
    if (!raw) return nullptr;
    raw->mParent = this;
    raw->setContextRecursively(mContext);
    mChildren.push_back(std::move(child));
    if (mContext) mContext->invalidateAll();
    return raw;
}

void View::removeAllChildren() {
    // Out of the list before they die, so nothing that runs while they are destroyed (the
    // host forgetting them) walks a half-cleared list.
    auto old = std::move(mChildren);
    mChildren.clear();
    old.clear();
    if (mContext) mContext->invalidateAll();
}

void View::removeChild(View* child) {
    const auto found = std::find_if(mChildren.begin(), mChildren.end(),
                                    [child](const auto& c) { return c.get() == child; });
    if (found == mChildren.end()) return;
    // Out of the list before it dies, as in removeAllChildren.
    std::unique_ptr<View> old = std::move(*found);
    mChildren.erase(found);
    old.reset();
    if (mContext) mContext->invalidateAll();
}

Point View::originInRoot() const {
    Point origin;
    for (const View* v = this; v; v = v->mParent) {
        origin.x += v->mFrame.x;
        origin.y += v->mFrame.y;
    }
    return origin;
}

Point View::toLocal(Point rootPoint) const {
    const Point origin = originInRoot();
    return {rootPoint.x - origin.x, rootPoint.y - origin.y};
}

void View::moveFrame(View& view, Point origin) {
    view.mFrame.x = origin.x;
    view.mFrame.y = origin.y;
    if (view.mContext) view.mContext->invalidateAll();
}

void View::setContextRecursively(UIContext* context) {
    mContext = context;
    for (const auto& child : mChildren)
        child->setContextRecursively(context);
}

} // namespace zerin
