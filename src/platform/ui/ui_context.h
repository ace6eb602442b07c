#pragma once

// What a view can ask of the host it lives in: the main queue, the frame clock, the keyboard's
// modifiers, the cursor and the keyboard focus. One per ViewHost; main thread only.

#include "platform/ui/damage.h"
#include "platform/ui/main_queue.h"
#include "platform/ui/modifier_keys.h"
#include "signals/observation.h"

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace zerin {

class View;

enum class Cursor { arrow, resizeUpDown, text };

class UIContext {
public:
    explicit UIContext(MainQueue& queue);
    UIContext(const UIContext&) = delete;
    UIContext& operator=(const UIContext&) = delete;

    MainQueue& mainQueue() const { return mQueue; }
    KeyboardModifierState& modifiers() { return mKeyboard; }
    const KeyboardModifierState& modifiers() const { return mKeyboard; }

    // The current display frame's time, seconds since 2001-01-01 00:00:00 UTC (the animation
    // clock's epoch); 0 before the first frame.
    double frameTime() const { return mFrameTime; }
    // Called at the start of every display frame, before layout and drawing. Drop the
    // subscription to stop.
    [[nodiscard]] Subscription onFrame(std::function<void()> callback);

    // A stack, so nested hovers restore what was there. Popping an empty stack is ignored.
    void pushCursor(Cursor cursor);
    void popCursor();
    Cursor cursor() const;
    // For the host: a view that goes away while hovered or pressed cannot pop what it pushed,
    // so the host cuts the stack back to its depth before that view's push.
    std::size_t cursorDepth() const { return mCursors.size(); }
    void truncateCursors(std::size_t depth);

    void setFocus(View* view); // null clears it; tells both views
    View* focusedView() const { return mFocus; }

    // What must be drawn again, in root coordinates. Views add to it (View::setNeedsDisplay);
    // the host takes it when it draws.
    void invalidate(const Rect& rootRect) { mDamage.add(rootRect); }
    void invalidateAll() { mDamage.addAll(); }
    const Damage& damage() const { return mDamage; }
    Damage takeDamage() { return std::exchange(mDamage, Damage()); }

    // For the host: advance the clock and run the frame callbacks.
    void beginFrame(double now);
    // For View's destructor.
    void viewDestroyed(View* view);
    // Views the host tracks (pressed, hovered) register here so viewDestroyed clears them.
    std::function<void(View*)> onViewDestroyed;

private:
    MainQueue& mQueue;
    KeyboardModifierState mKeyboard;
    double mFrameTime = 0.0;
    Signal mFrameSignal;
    std::vector<Cursor> mCursors;
    View* mFocus = nullptr;
    Damage mDamage;
};

// Now, in seconds since 2001-01-01 00:00:00 UTC, from the system clock.
double secondsSinceReferenceDate();

} // namespace zerin
