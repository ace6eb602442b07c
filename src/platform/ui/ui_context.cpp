#include "platform/ui/ui_context.h"

#include "platform/ui/view.h"

#include <chrono>
#include <utility>

namespace zerin {

namespace {

// 2001-01-01 00:00:00 UTC on the Unix time line.
constexpr double kReferenceDateUnixSeconds = 978307200.0;

} // namespace

UIContext::UIContext(MainQueue& queue) : queue(queue) {}

Subscription UIContext::onFrame(std::function<void()> callback) {
    return frameSignal.subscribe(std::move(callback));
}

void UIContext::pushCursor(Cursor cursor) {
    cursors.push_back(cursor);
}

void UIContext::popCursor() {
    if (!cursors.empty()) cursors.pop_back();
}

Cursor UIContext::cursor() const {
    return cursors.empty() ? Cursor::arrow : cursors.back();
}

void UIContext::truncateCursors(std::size_t depth) {
    if (depth < cursors.size()) cursors.resize(depth);
}

void UIContext::setFocus(View* view) {
    if (view == focus) return;
    View* old = focus;
    focus = view;
    if (old) old->focusChanged(false);
    // The old view may have moved the focus elsewhere while it was told.
    if (view && focus == view) view->focusChanged(true);
}

void UIContext::beginFrame(double now) {
    mFrameTime = now;
    frameSignal.notify();
}

void UIContext::viewDestroyed(View* view) {
    // No focusChanged: the view is half destroyed already.
    if (focus == view) focus = nullptr;
    if (onViewDestroyed) onViewDestroyed(view);
}

double secondsSinceReferenceDate() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceEpoch).count() - kReferenceDateUnixSeconds;
}

} // namespace zerin
