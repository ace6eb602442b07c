#pragma once

// Interactive views: a plain button, a tap area (scrims), a one-line text field and a scroll
// area.

#include "platform/ui/binding.h"
#include "platform/ui/layout.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

// A plain button: its label and nothing else. The action runs on a release inside the
// button after a press inside it; while pressed the label dims a little.
class Button : public View {
public:
    Button(ViewPtr label, std::function<void()> action);
    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override;
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;
    bool acceptsPointer() const override { return true; }
    void pointerDown(const PointerEvent& event) override;
    void pointerDragged(const PointerEvent& event) override;
    void pointerUp(const PointerEvent& event) override;
    View* hitTest(Point local) override; // the button, never its label
    bool isPressed() const { return pressed; }

private:
    std::function<void()> action;
    bool pressed = false;
    bool inside = false;
};
ViewPtr button(ViewPtr label, std::function<void()> action);

// For a panel that takes typing as it opens: gives `field` the keyboard focus the first time
// `panel` is laid out in a host (a panel made before it is in one cannot). `taken` remembers
// that it did, so a later click elsewhere keeps its focus.
void focusOnFirstLayout(const View& panel, View* field, bool& taken);

// A flexible area that runs `action` on a single click (press and release inside); fills
// with `color` (a scrim) when it is not clear.
ViewPtr tapArea(Color color, std::function<void()> action);

// One line of editable UTF-8 text bound to `text`. A click focuses it and puts the caret
// there; typing inserts at the caret; Backspace and Delete remove one character (a whole UTF-8
// sequence); Left, Right, Home and End move the caret; Return calls onCommit (if any) and
// gives up the focus; Escape calls onCancel (if any) and gives up the focus. The placeholder
// shows while the text is empty. The caret blinks at 1 Hz while focused.
class TextField : public View {
public:
    struct Style {
        Font font{};
        Color textColor{};
        Color placeholderColor{};
        Color caretColor{};
    };
    TextField(Binding<std::string> text, std::string placeholder, Style style,
              std::function<void()> onCommit = {}, std::function<void()> onCancel = {});
    Size sizeThatFits(Size proposal) override; // flexible width, one line high
    Flexibility flexibility() const override { return {true, false}; }
    void draw(Graphics& g) override;
    bool acceptsPointer() const override { return true; }
    void pointerDown(const PointerEvent& event) override;
    bool acceptsFocus() const override { return true; }
    void focusChanged(bool focused) override;
    bool keyDown(const KeyEvent& event) override;
    // The text cursor while the pointer is over it.
    bool tracksHover() const override { return true; }
    void pointerEntered() override;
    void pointerExited() override;
    ~TextField() override;
    bool isFocused() const { return focused; }
    std::size_t caret() const { return caretIndex; } // byte offset into the text
    void setPlaceholder(std::string text) { placeholder = std::move(text); }

private:
    Binding<std::string> binding;
    std::string placeholder;
    Style style;
    std::function<void()> onCommit;
    std::function<void()> onCancel;
    std::size_t caretIndex = 0;
    bool focused = false;
    double focusTime = 0.0;
    bool cursorPushed = false;
};

// A vertical scroll area as tall as its content up to `maxHeight`. The wheel scrolls it
// `wheelStep` points per notch (by default about 3 lines of 12 points) within its range; while the
// content is taller, an indicator on the right shows where the view stands, and dragging it scrolls
// (a press on the track beside it first brings it under the pointer). The rightmost kIndicatorZone
// points belong to the indicator then, so content should keep its own controls clear of them.
class ScrollView : public View {
public:
    static constexpr double kIndicatorZone = 10.0;
    static constexpr double kDefaultWheelStep = 36.0;

    ScrollView(ViewPtr content, double maxHeight, double wheelStep = kDefaultWheelStep);
    Size sizeThatFits(Size proposal) override;
    // As wide as offered; never vertically flexible: its height comes from the content.
    Flexibility flexibility() const override;
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;
    View* hitTest(Point local) override;
    bool acceptsPointer() const override { return true; }
    void pointerDown(const PointerEvent& event) override;
    void pointerDragged(const PointerEvent& event) override;
    void pointerUp(const PointerEvent& event) override;
    bool scrollWheel(double lines, Point local) override;
    double offset() const { return scrollOffset; } // points scrolled down
    double contentHeight() const { return content; }
    void scrollTo(double offset); // clamped to the range
    // Whether the content is taller than the area (the indicator shows and can be dragged).
    bool overflows() const;
    // The indicator in local coordinates (empty while the content fits).
    Rect indicatorRect() const;

private:
    View* child() const;
    double maxHeight;
    double wheelStep;
    double scrollOffset = 0.0;
    double content = 0.0;
    std::optional<double> grab; // while dragging: the press's distance below the indicator's top
};

// Rows of known heights, one under the other, for a long list in a ScrollView. Only the rows
// that show in the nearest enclosing ScrollView (all of them outside one) are built and laid
// out, at each layout; rows that scroll out of view are destroyed, so a list of thousands
// costs what a screenful does. Row i is `rowHeights[i]` tall and is built by `makeRow(i)`;
// `rowRemoved(i)`, if given, hears when it goes.
class LazyColumn : public View {
public:
    LazyColumn(std::vector<double> rowHeights, double spacing,
               std::function<ViewPtr(std::size_t)> makeRow,
               std::function<void(std::size_t)> rowRemoved = {});
    Size sizeThatFits(Size proposal) override; // the offered width (0 if none), all rows high
    Flexibility flexibility() const override { return {true, false}; }
    void layout(const Rect& frame) override;
    // Builds, drops and places rows for where the column now stands in its scroll area; the
    // area calls it when it scrolls, so a click right after a wheel turn finds its row.
    void placeRows();

private:
    std::vector<double> heights;
    std::vector<double> tops; // each row's top; one more entry: the total height
    std::function<ViewPtr(std::size_t)> makeRow;
    std::function<void(std::size_t)> rowRemoved;
    std::map<std::size_t, View*> built;
};

} // namespace zerin
