#include "widgets/controls.h"

#include "platform/ui/shapes.h"
#include "platform/ui/ui_context.h"

#include <algorithm>
#include <cmath>

namespace zerin {

namespace {

// How much a pressed button's label keeps of its opacity.
constexpr double kPressedOpacity = 0.55;
constexpr double kCaretWidth = 1.0;
constexpr double kIndicatorWidth = 3.0;
constexpr double kIndicatorInset = 2.0;
constexpr double kIndicatorMinLength = 16.0;

void fillRect(Graphics& g, const Rect& rect, Color color) {
    Path path;
    addRect(path, rect);
    g.fill(path, color);
}

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t previousBoundary(const std::string& s, std::size_t i) {
    if (i == 0) return 0;
    --i;
    while (i > 0 && isContinuationByte(s[i]))
        --i;
    return i;
}

std::size_t nextBoundary(const std::string& s, std::size_t i) {
    if (i >= s.size()) return s.size();
    ++i;
    while (i < s.size() && isContinuationByte(s[i]))
        ++i;
    return i;
}

// A caret index that lies inside the text and on a character boundary.
std::size_t validCaret(const std::string& s, std::size_t i) {
    i = std::min(i, s.size());
    while (i > 0 && i < s.size() && isContinuationByte(s[i]))
        --i;
    return i;
}

double prefixWidth(const std::string& s, std::size_t end, const Font& font) {
    return measureText(std::string_view(s).substr(0, end), font).width;
}

double lineHeight(const Font& font) {
    return measureText("Ag", font).height;
}

} // namespace

// --- Button ---

Button::Button(ViewPtr label, std::function<void()> action) : action(std::move(action)) {
    addChild(std::move(label));
}

Size Button::sizeThatFits(Size proposal) {
    return children().empty() ? Size{} : children().front()->sizeThatFits(proposal);
}

Flexibility Button::flexibility() const {
    return View::flexibility();
}

void Button::layout(const Rect& frame) {
    View::layout(frame);
}

void Button::draw(Graphics& g) {
    if (!(pressed && inside)) return drawChildren(g);
    g.beginGroup();
    drawChildren(g);
    g.endGroup(kPressedOpacity);
}

void Button::pointerDown(const PointerEvent& event) {
    pressed = true;
    inside = bounds().contains(event.location);
}

void Button::pointerDragged(const PointerEvent& event) {
    inside = bounds().contains(event.location);
}

void Button::pointerUp(const PointerEvent& event) {
    const bool fire = pressed && bounds().contains(event.location);
    pressed = false;
    inside = false;
    if (!fire || !action) return;
    // A copy: the action may replace this button's owner's state, and with it the button.
    const auto run = action;
    run();
}

View* Button::hitTest(Point local) {
    if (!hitTestingEnabled) return nullptr;
    return bounds().contains(local) ? this : nullptr;
}

ViewPtr button(ViewPtr label, std::function<void()> action) {
    return std::make_unique<Button>(std::move(label), std::move(action));
}

// --- tap area ---

namespace {

class TapArea : public View {
public:
    TapArea(Color color, std::function<void()> action) : color(color), action(std::move(action)) {}
    Flexibility flexibility() const override { return {true, true}; }
    bool acceptsPointer() const override { return true; }
    void draw(Graphics& g) override {
        if (color.alpha > 0.0) fillRect(g, bounds(), color);
    }
    void pointerDown(const PointerEvent&) override { pressed = true; }
    void pointerUp(const PointerEvent& event) override {
        const bool fire = pressed && bounds().contains(event.location);
        pressed = false;
        if (!fire || !action) return;
        const auto run = action;
        run();
    }

private:
    Color color;
    std::function<void()> action;
    bool pressed = false;
};

} // namespace

ViewPtr tapArea(Color color, std::function<void()> action) {
    return std::make_unique<TapArea>(color, std::move(action));
}

// --- TextField ---

TextField::TextField(Binding<std::string> text, std::string placeholder, Style style,
                     std::function<void()> onCommit, std::function<void()> onCancel)
    : binding(std::move(text)), placeholder(std::move(placeholder)), style(style),
      onCommit(std::move(onCommit)), onCancel(std::move(onCancel)) {}

Size TextField::sizeThatFits(Size proposal) {
    const double height = lineHeight(style.font);
    if (std::isfinite(proposal.width)) return {std::max(proposal.width, 0.0), height};
    const std::string current = binding.get();
    const std::string& shown = current.empty() ? placeholder : current;
    return {measureText(shown, style.font).width + kCaretWidth, height};
}

void TextField::draw(Graphics& g) {
    const std::string current = binding.get();
    const Rect box = bounds();
    if (current.empty()) {
        if (!placeholder.empty())
            g.drawTextInBox(placeholder, style.font, style.placeholderColor, box,
                            TextAlignment::leading);
    }
    caretIndex = validCaret(current, caretIndex);
    const double textWidth = measureText(current, style.font).width;
    const double caretX = prefixWidth(current, caretIndex, style.font);
    // Text wider than the field slides left so the caret stays in view.
    const double shift = focused ? std::max(0.0, caretX + kCaretWidth - box.width) : 0.0;
    g.save();
    g.clipRect(box);
    if (!current.empty()) {
        const Rect textBox =
            textWidth <= box.width ? box : Rect{-shift, 0.0, textWidth + kCaretWidth, box.height};
        g.drawTextInBox(current, style.font, style.textColor, textBox, TextAlignment::leading);
    }
    const double now = context() ? context()->frameTime() : focusTime;
    const bool caretOn = std::fmod(std::max(now - focusTime, 0.0), 1.0) < 0.5;
    // The caret blinks: a focused field is drawn again at every frame.
    if (focused) setNeedsDisplay();
    if (focused && caretOn) {
        const double h = std::min(lineHeight(style.font), box.height);
        fillRect(g, {caretX - shift, (box.height - h) / 2.0, kCaretWidth, h}, style.caretColor);
    }
    g.restore();
}

void TextField::pointerDown(const PointerEvent& event) {
    if (context() && context()->focusedView() != this) context()->setFocus(this);
    const std::string current = binding.get();
    const double width = measureText(current, style.font).width;
    const double fullCaret = prefixWidth(current, validCaret(current, caretIndex), style.font);
    const double shift =
        width > bounds().width ? std::max(0.0, fullCaret + kCaretWidth - bounds().width) : 0.0;
    const double x = event.location.x + shift;
    // The character boundary nearest to the click.
    std::size_t best = 0;
    double bestDistance = std::abs(x);
    for (std::size_t i = 0; i < current.size();) {
        i = nextBoundary(current, i);
        const double distance = std::abs(x - prefixWidth(current, i, style.font));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    caretIndex = best;
    focusTime = context() ? context()->frameTime() : 0.0;
}

TextField::~TextField() {
    // A field torn down under the pointer must not leave its cursor behind.
    if (cursorPushed && context() != nullptr) context()->popCursor();
}

void TextField::pointerEntered() {
    if (cursorPushed || context() == nullptr) return;
    context()->pushCursor(Cursor::text);
    cursorPushed = true;
}

void TextField::pointerExited() {
    if (!cursorPushed || context() == nullptr) return;
    context()->popCursor();
    cursorPushed = false;
}

void TextField::focusChanged(bool isNowFocused) {
    focused = isNowFocused;
    if (focused) {
        caretIndex = binding.get().size();
        focusTime = context() ? context()->frameTime() : 0.0;
    }
}

bool TextField::keyDown(const KeyEvent& event) {
    if (!focused) return false;
    std::string current = binding.get();
    caretIndex = validCaret(current, caretIndex);
    switch (event.key) {
        case Key::character:
            // Shortcuts with Control or Super belong to the editor, not to the text.
            if (event.text.empty() || event.modifiers.control || event.modifiers.command)
                return false;
            current.insert(caretIndex, event.text);
            caretIndex += event.text.size();
            binding.set(current);
            break;
        case Key::backspace: {
            const std::size_t from = previousBoundary(current, caretIndex);
            current.erase(from, caretIndex - from);
            caretIndex = from;
            binding.set(current);
            break;
        }
        case Key::deleteForward:
            current.erase(caretIndex, nextBoundary(current, caretIndex) - caretIndex);
            binding.set(current);
            break;
        case Key::left:
            caretIndex = previousBoundary(current, caretIndex);
            break;
        case Key::right:
            caretIndex = nextBoundary(current, caretIndex);
            break;
        case Key::home:
            caretIndex = 0;
            break;
        case Key::end:
            caretIndex = current.size();
            break;
        case Key::enter:
        case Key::escape: {
            // The focus goes first: the action may close what holds the field, and with it
            // the field.
            const auto action = event.key == Key::enter ? onCommit : onCancel;
            if (context() && context()->focusedView() == this)
                context()->setFocus(nullptr);
            else
                focused = false;
            if (action) action();
            return true;
        }
        default:
            return false;
    }
    // The caret stays solid while typing and restarts its blink afterwards.
    focusTime = context() ? context()->frameTime() : 0.0;
    return true;
}

void focusOnFirstLayout(const View& panel, View* field, bool& taken) {
    if (taken || panel.context() == nullptr) return;
    taken = true;
    panel.context()->setFocus(field);
}

// --- ScrollView ---

ScrollView::ScrollView(ViewPtr content, double maxHeight, double wheelStep)
    : maxHeight(maxHeight), wheelStep(wheelStep) {
    addChild(std::move(content));
}

View* ScrollView::child() const {
    return children().empty() ? nullptr : children().front().get();
}

Size ScrollView::sizeThatFits(Size proposal) {
    View* c = child();
    if (!c) return {};
    const Size s = c->sizeThatFits({proposal.width, kInfinity});
    // As wide as offered, so the indicator sits at the edge of whatever holds the area.
    const double width = std::isfinite(proposal.width) ? std::max(proposal.width, 0.0) : s.width;
    return {width, std::min(s.height, maxHeight)};
}

Flexibility ScrollView::flexibility() const {
    return {true, false};
}

void ScrollView::layout(const Rect& frame) {
    setFrame(frame);
    View* c = child();
    if (!c) return;
    content = c->sizeThatFits({frame.width, kInfinity}).height;
    scrollOffset = std::clamp(scrollOffset, 0.0, std::max(content - frame.height, 0.0));
    // The offset lives in the content's frame, so hit testing and local coordinates of the
    // views inside need nothing special.
    c->layout({0.0, -scrollOffset, frame.width, content});
}

namespace {

void placeLazyRows(View& view) {
    if (auto* column = dynamic_cast<LazyColumn*>(&view)) return column->placeRows();
    for (const auto& child : view.children())
        placeLazyRows(*child);
}

} // namespace

void ScrollView::scrollTo(double offset) {
    scrollOffset = std::clamp(offset, 0.0, std::max(content - frame().height, 0.0));
    View* c = child();
    if (c == nullptr) return;
    moveFrame(*c, {0.0, -scrollOffset});
    // Rows of a lazy list that come into view are built now rather than at the next frame:
    // new views under this area only, nothing else rebuilt in the middle of the event.
    placeLazyRows(*c);
}

bool ScrollView::overflows() const {
    return content > frame().height + 0.5;
}

Rect ScrollView::indicatorRect() const {
    if (!overflows()) return {};
    const double height = frame().height;
    const double track = height - 2.0 * kIndicatorInset;
    const double length = std::min(std::max(kIndicatorMinLength, track * height / content), track);
    const double travel = std::max(track - length, 0.0);
    const double y = kIndicatorInset + travel * scrollOffset / (content - height);
    return {frame().width - kIndicatorWidth - kIndicatorInset, y, kIndicatorWidth, length};
}

void ScrollView::draw(Graphics& g) {
    const Rect box = bounds();
    g.save();
    g.clipRect(box);
    drawChildren(g);
    g.restore();
    if (!overflows()) return;
    Path path;
    addCapsule(path, indicatorRect());
    g.fill(path, Color{1.0, 1.0, 1.0, grab ? 0.55 : 0.35});
}

View* ScrollView::hitTest(Point local) {
    if (!hitTestingEnabled || !bounds().contains(local)) return nullptr;
    if (overflows() && local.x >= frame().width - kIndicatorZone) return this;
    // Elsewhere only the content takes presses; the area's own empty space lets them through.
    View* c = child();
    if (!c || !c->hitTestingEnabled) return nullptr;
    return c->hitTest({local.x - c->frame().x, local.y - c->frame().y});
}

void ScrollView::pointerDown(const PointerEvent& event) {
    grab.reset();
    if (!overflows()) return;
    const Rect indicator = indicatorRect();
    const double y = event.location.y;
    // On the indicator it moves with the pointer from where it was taken; beside it on the
    // track it first jumps to centre on the pointer.
    grab = y >= indicator.y && y < indicator.maxY() ? y - indicator.y : indicator.height / 2.0;
    pointerDragged(event);
}

void ScrollView::pointerDragged(const PointerEvent& event) {
    if (!grab || !overflows()) return;
    const Rect indicator = indicatorRect();
    const double travel = frame().height - 2.0 * kIndicatorInset - indicator.height;
    if (travel <= 0.0) return;
    const double top = event.location.y - *grab - kIndicatorInset;
    scrollTo(std::clamp(top / travel, 0.0, 1.0) * (content - frame().height));
}

void ScrollView::pointerUp(const PointerEvent&) {
    grab.reset();
}

bool ScrollView::scrollWheel(double lines, Point) {
    if (content <= frame().height) return false;
    scrollTo(scrollOffset + lines * wheelStep);
    return true;
}

// --- LazyColumn ---

LazyColumn::LazyColumn(std::vector<double> rowHeights, double spacing,
                       std::function<ViewPtr(std::size_t)> makeRow,
                       std::function<void(std::size_t)> rowRemoved)
    : heights(std::move(rowHeights)), makeRow(std::move(makeRow)),
      rowRemoved(std::move(rowRemoved)) {
    tops.reserve(heights.size() + 1);
    double y = 0.0;
    for (double& h : heights) {
        h = std::isfinite(h) ? std::max(h, 0.0) : 0.0;
        tops.push_back(y);
        y += h + spacing;
    }
    tops.push_back(heights.empty() ? 0.0 : y - spacing);
}

Size LazyColumn::sizeThatFits(Size proposal) {
    const double width = std::isfinite(proposal.width) ? std::max(proposal.width, 0.0) : 0.0;
    return {width, tops.back()};
}

void LazyColumn::layout(const Rect& frame) {
    setFrame(frame);
    placeRows();
}

void LazyColumn::placeRows() {
    const double width = frame().width;
    // The band that shows, in this column's coordinates: the enclosing scroll area's.
    double top = 0.0;
    double bottom = frame().height;
    for (const View* v = parent(); v != nullptr; v = v->parent()) {
        const auto* scroll = dynamic_cast<const ScrollView*>(v);
        if (scroll == nullptr) continue;
        top = scroll->originInRoot().y - originInRoot().y;
        bottom = top + scroll->frame().height;
        break;
    }
    const auto rowTops = tops.begin();
    const auto rowsEnd = tops.begin() + static_cast<std::ptrdiff_t>(heights.size());
    auto first = static_cast<std::size_t>(std::upper_bound(rowTops, rowsEnd, top) - rowTops);
    if (first > 0 && tops[first - 1] + heights[first - 1] > top) --first;
    const auto last =
        static_cast<std::size_t>(std::lower_bound(rowTops, rowsEnd, bottom) - rowTops);

    for (auto it = built.begin(); it != built.end();) {
        if (it->first >= first && it->first < last) {
            ++it;
            continue;
        }
        if (rowRemoved) rowRemoved(it->first);
        removeChild(it->second);
        it = built.erase(it);
    }
    for (std::size_t i = first; i < last; ++i) {
        View*& row = built[i];
        if (row == nullptr) row = makeRow ? addChild(makeRow(i)) : nullptr;
        if (row == nullptr) {
            built.erase(i);
            continue;
        }
        row->layout({0.0, tops[i], width, heights[i]});
    }
}

} // namespace zerin
