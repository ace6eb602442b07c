#pragma once

// The view tree of our small toolkit. A view is a retained object with a frame in its
// parent's coordinates; the host lays the tree out, draws it and routes input into it on the
// main thread. Views read their models while laying out and drawing, so a change shows at the
// next frame; a view whose structure depends on a model (a list, an overlay) rebuilds its
// children itself (see ComposedView in layout.h).

#include "platform/ui/geometry.h"
#include "platform/ui/modifier_keys.h"
#include "signals/observation.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zerin {

class Graphics;
class UIContext;

// The mouse button of a press, and of the drag and release that follow it. A view is handed
// presses of the buttons it accepts (acceptsButton), the left one only unless it says more.
enum class PointerButton : std::uint8_t { left, middle, right };

struct PointerEvent {
    Point location{};   // in the receiving view's local coordinates
    int clickCount = 1; // 2 for the second press of a double click
    ModifierKeys modifiers{};
    PointerButton button = PointerButton::left;
};

enum class Key {
    character, // printable text, in KeyEvent::text (UTF-8)
    enter,
    escape,
    tab,
    backspace,
    deleteForward,
    left,
    right,
    up,
    down,
    home,
    end,
    other,
};

struct KeyEvent {
    Key key = Key::other;
    std::string text{};  // UTF-8, for Key::character
    char32_t keysym = 0; // the key's lower-case letter for shortcuts ('z', 'y', 's'), else 0
    ModifierKeys modifiers{};
};

// Which way a flexible view grows.
struct Flexibility {
    bool horizontal = false;
    bool vertical = false;
};

class View {
public:
    View() = default;
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- layout (points) ---
    // The size this view takes when its parent offers `proposal`. A proposal dimension may be
    // infinite ("as much as you like"); the answer must be finite. Default: the proposal,
    // with infinite dimensions taken as 0.
    virtual Size sizeThatFits(Size proposal);
    // Whether the view soaks up free space along each axis in a stack (spacers, frames with
    // an infinite maximum). Default: whether any child does.
    virtual Flexibility flexibility() const;
    // Places the view at `frame` (parent coordinates) and lays its children out inside. The
    // default gives every child the whole local bounds.
    virtual void layout(const Rect& frame);
    const Rect& frame() const { return mFrame; }
    Rect bounds() const { return {0.0, 0.0, mFrame.width, mFrame.height}; }

    // --- drawing, in local coordinates (origin at the frame's top left) ---
    // Default: draw the children, each translated to its frame.
    virtual void draw(Graphics& g);
    void drawChildren(Graphics& g);
    // draw(), watching the models it reads (Observable::get): a later change of any of them
    // marks the view for drawing again. The host and drawChildren draw every view this way.
    void drawWatched(Graphics& g);

    // --- damage ---
    // Marks what the view shows as changed, so the host draws it again at the next frame. A
    // view calls it when state its drawing reads changes outside the models it observes (an
    // animation, hover, its own fields). Does nothing outside a host.
    void setNeedsDisplay();
    void setNeedsDisplay(const Rect& local);
    // What the view's drawing may cover, in local coordinates: the bounds and a margin for
    // soft edges (glows, strokes on the edge). A view that draws further says so.
    virtual Rect drawingBounds() const;
    // A model the last draw read has changed. Default: the whole view is drawn again. A view
    // that works out its own damage at every frame may take less.
    virtual void modelDidChange() { setNeedsDisplay(); }

    // --- input ---
    // The deepest view at `local` that takes pointer input, or null. Skips views with
    // hit testing off and their subtrees; later children (drawn on top) are asked first.
    virtual View* hitTest(Point local);
    // Whether this view wants presses (buttons, knobs, the canvas, scrims, text fields).
    virtual bool acceptsPointer() const { return false; }
    // Which buttons' presses the view takes, of those that hit it (acceptsPointer). A press of
    // another button on it is dropped, as if it had hit nothing.
    virtual bool acceptsButton(PointerButton button) const { return button == PointerButton::left; }
    // A press starts a drag that is delivered to this view until release, whatever the
    // pointer crosses (a drag with minimum distance 0). Locations are local.
    virtual void pointerDown(const PointerEvent&) {}
    virtual void pointerDragged(const PointerEvent&) {}
    virtual void pointerUp(const PointerEvent&) {}
    // Hover, for views that ask for it.
    virtual bool tracksHover() const { return false; }
    virtual void pointerEntered() {}
    virtual void pointerExited() {}
    // Where the pointer moves while it hovers over the view, no button down (local).
    virtual void pointerHovered(Point) {}
    // Mouse wheel: `lines` positive when the wheel turns towards the user (content scrolls
    // up). Returns whether it was used; unused wheel events go to the parent.
    virtual bool scrollWheel(double lines, Point local);
    // Keyboard focus (text fields). Keys go to the focused view, then up its parents until
    // one returns true.
    virtual bool acceptsFocus() const { return false; }
    virtual void focusChanged(bool focused);
    virtual bool keyDown(const KeyEvent& event);

    bool hitTestingEnabled = true;
    // What the view says about itself when the pointer rests on it: a title line, then a few
    // words per line (see tooltip.h). Read when it shows, so it may tell the current value.
    // Views without one show their nearest parent's.
    std::function<std::string()> tooltip;

    // --- tree ---
    View* addChild(std::unique_ptr<View> child);
    template <typename T> T* add(std::unique_ptr<T> child) {
        T* raw = child.get();
        addChild(std::move(child));
        return raw;
    }
    void removeAllChildren();
    // Destroys one child (and its subtree); a view that is not a child is left alone.
    void removeChild(View* child);
    const std::vector<std::unique_ptr<View>>& children() const { return mChildren; }
    View* parent() const { return mParent; }
    // The host's context; null until the view is in a host's tree. Children take their
    // parent's context when added; a view tells it when it is destroyed, so the host never
    // keeps a pointer to a view that has gone (the pressed, hovered or focused view).
    UIContext* context() const { return mContext; }
    // This view's origin in the root's coordinates.
    Point originInRoot() const;
    Point toLocal(Point rootPoint) const;

protected:
    // A new frame (a view moved, grew or appeared) has the whole window drawn again.
    void setFrame(const Rect& frame);
    // Moves a laid-out view (and so its whole subtree) without laying it out again: a scroll
    // area shifts its content this way in the middle of a wheel event.
    static void moveFrame(View& view, Point origin);

private:
    friend class ViewHost;
    Rect mFrame;
    View* mParent = nullptr;
    void setContextRecursively(UIContext* context);
    UIContext* mContext = nullptr;
    std::vector<std::unique_ptr<View>> mChildren;
    std::unique_ptr<ReadWatch> mDrawWatch;
};

} // namespace zerin
