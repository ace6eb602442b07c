#pragma once

// The root of a view tree and the host's side of it: window backends and tests feed it
// frames and input in root coordinates (points); it lays out, draws, routes pointer, wheel and
// key events, counts clicks and tracks hover. Main thread.

#include "platform/ui/tooltip.h"
#include "platform/ui/ui_context.h"
#include "platform/ui/view.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zerin {

class Graphics;

class ViewHost {
public:
    // `queue` must outlive the host.
    ViewHost(MainQueue& queue, Size size);
    ~ViewHost();
    ViewHost(const ViewHost&) = delete;
    ViewHost& operator=(const ViewHost&) = delete;

    // Replaces the tree; the old one is destroyed first.
    void setRoot(std::unique_ptr<View> root);
    View* root() const { return mRoot.get(); }
    UIContext& context() { return mContext; }

    void setSize(Size size);
    Size size() const { return mSize; }

    // One display frame at `now` (seconds since 2001-01-01 UTC): frame callbacks, then layout.
    void advance(double now);
    // Lays the tree out at the current size (advance does it; events between frames see the
    // last layout).
    void layout();
    // Paints the tree; the caller has cleared the surface and set the scale.
    void draw(Graphics& g);
    // Whether anything changed since the damage was last taken, and what: a window draws and
    // sends only that, and nothing when it is empty.
    bool needsDisplay() const { return !mContext.damage().empty(); }
    Damage takeDamage() { return mContext.takeDamage(); }

    // Input, in root coordinates. Presses within 0.4 s and 4 points of the previous one count
    // as a double click (the queue's clock). A press goes to the deepest view that accepts
    // the pointer and captures it until the release of the same button; a press of another
    // button meanwhile, and its release, are dropped. A press of a button other than the left
    // one goes only to a view that accepts that button, and counts as a single click.
    void pointerDown(Point location, ModifierKeys modifiers,
                     PointerButton button = PointerButton::left);
    void pointerMoved(Point location, ModifierKeys modifiers);
    void pointerUp(Point location, ModifierKeys modifiers,
                   PointerButton button = PointerButton::left);
    void pointerLeft(); // the pointer left the window
    void scrollWheel(double lines, Point location);
    // Keys go to the focused view and up its parents, then to unhandledKey; the tree is laid
    // out first, so a view that a click has just shown can take them.
    void keyDown(const KeyEvent& event);
    // A key no view took: shortcuts of the whole editor (undo, save).
    std::function<bool(const KeyEvent&)> unhandledKey;

    // The tooltip on show, null when none is.
    const ShownTooltip* tooltip() const { return mTooltip ? &*mTooltip : nullptr; }

    Cursor cursor() const { return mContext.cursor(); }
    View* hoveredView() const { return mHovered; }
    View* pressedView() const { return mPressed; }

private:
    struct HoverEntry {
        View* view = nullptr;
        std::size_t cursorDepth = 0; // the cursor stack before this view's pointerEntered
    };
    void updateHover(Point location);
    void exitHoverFrom(std::size_t index);
    void forget(View* view);
    void beginPress(View* target, Point location, ModifierKeys modifiers, PointerButton button);
    // The view under `location` whose tooltip would show: a new one starts the wait again.
    void updateTooltipOwner(Point location);
    void showTooltipWhenDue();
    // Hides it; `untilMoved`: also for as long as the pointer stays on the same control (after
    // a press, a key, the wheel: the user is busy with it).
    void hideTooltip(bool untilMoved);

    UIContext mContext;
    std::unique_ptr<View> mRoot;
    Size mSize;
    View* mPressed = nullptr;
    PointerButton mPressedButton = PointerButton::left;
    View* mHovered = nullptr;
    double mLastPressTime = -1.0;
    Point mLastPressLocation;
    int mClickCount = 0;
    std::vector<HoverEntry> mHoverChain; // outermost first; `mHovered` is the last
    std::size_t mPressCursorDepth = 0;
    Point mLastPointer;
    bool mPointerInside = false;
    View* mTooltipOwner = nullptr;
    double mTooltipSince = 0.0;
    bool mTooltipHeld = false;
    std::optional<ShownTooltip> mTooltip;
};

} // namespace zerin
