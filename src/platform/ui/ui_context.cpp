#include "platform/ui/ui_context.h"

#include "platform/ui/view.h"

#include <chrono>
#include <utility>

namespace zerin {

namespace {

// 2001-01-01 00:00:00 UTC on the Unix time line.
constexpr double kReferenceDateUnixSeconds = 978307200.0;

} // namespace

UIContext::UIContext(MainQueue& queue) : mQueue(queue) {}

Subscription UIContext::onFrame(std::function<void()> callback) {
    return mFrameSignal.subscribe(std::move(callback));
}

void UIContext::pushCursor(Cursor cursor) {
    mCursors.push_back(cursor);
}

void UIContext::popCursor() {
    if (!mCursors.empty()) mCursors.pop_back();
}

Cursor UIContext::cursor() const {
    return mCursors.empty() ? Cursor::arrow : mCursors.back();
}

void UIContext::truncateCursors(std::size_t depth) {
    if (depth < mCursors.size()) mCursors.resize(depth);
}

void UIContext::setFocus(View* view) {
    if (view == mFocus) return;
    View* old = mFocus;
    mFocus = view;
    if (old) old->focusChanged(false);
    // The old view may have moved the focus elsewhere while it was told.
    if (view && mFocus == view) view->focusChanged(true);
}

void UIContext::beginFrame(double now) {
    mFrameTime = now;
    mFrameSignal.notify();
}

void UIContext::viewDestroyed(View* view) {
    // No focusChanged: the view is half destroyed already.
    if (mFocus == view) mFocus = nullptr;
    if (onViewDestroyed) onViewDestroyed(view);
}

double secondsSinceReferenceDate() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceEpoch).count() - kReferenceDateUnixSeconds;
}

} // namespace zerin
