#include "platform/ui/animation.h"
#include "platform/ui/layout.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/tooltip.h"
#include "platform/ui/view_host.h"
#include "widgets/controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zerin {
namespace {

// A view of a given size that records the input it gets.
struct Probe : View {
    Size size{20.0, 20.0};
    bool pointer = true, hover = false, takesWheel = false, takesRight = false;
    int tag = 0, entered = 0, exited = 0;
    std::vector<PointerEvent> downs, drags, ups;
    double wheelLines = 0.0;

    Size sizeThatFits(Size) override { return size; }
    bool acceptsPointer() const override { return pointer; }
    bool acceptsButton(PointerButton b) const override {
        return b == PointerButton::left || (takesRight && b == PointerButton::right);
    }
    void pointerDown(const PointerEvent& e) override { downs.push_back(e); }
    void pointerDragged(const PointerEvent& e) override { drags.push_back(e); }
    void pointerUp(const PointerEvent& e) override { ups.push_back(e); }
    bool tracksHover() const override { return hover; }
    void pointerEntered() override {
        ++entered;
        context()->pushCursor(Cursor::resizeUpDown);
    }
    void pointerExited() override {
        ++exited;
        context()->popCursor();
    }
    bool scrollWheel(double lines, Point) override {
        wheelLines += lines;
        return takesWheel;
    }
};

std::unique_ptr<Probe> probe(double width, double height, Probe** raw, bool hover = false) {
    auto p = std::make_unique<Probe>();
    p->size = {width, height};
    p->hover = hover;
    *raw = p.get();
    return p;
}

const Font kFont{12.0};

std::unique_ptr<TextField> textField(std::string& value, TextField** raw,
                                     std::function<void()> commit = {}) {
    auto field =
        std::make_unique<TextField>(Binding<std::string>::of(value), "Name",
                                    TextField::Style{kFont, {}, {}, {}}, std::move(commit));
    *raw = field.get();
    return field;
}

class Views : public ::testing::Test {
protected:
    double clock = 100.0;
    MainQueue queue{[this] { return clock; }};
    ViewHost host{queue, {200.0, 100.0}};

    void show(ViewPtr root) {
        host.setRoot(std::move(root));
        host.layout();
    }
    void click(Point at) {
        host.pointerDown(at, {});
        host.pointerUp(at, {});
    }
};

TEST_F(Views, StacksSpaceChildrenShareFreeSpaceAmongSpacersAndAlign) {
    Probe *a, *b;
    show(hstack(10.0, VAlign::center,
                views(probe(20, 10, &a), spacer(), probe(30, 20, &b), spacer())));
    EXPECT_EQ(a->frame(), (Rect{0, 45, 20, 10}));
    EXPECT_EQ(b->frame(), (Rect{100, 40, 30, 20})); // 120 free points, 60 per spacer

    // A spacer adds no height to a row and nothing beyond what a column is offered.
    auto row = hstack(0.0, VAlign::top, views(spacer(), probe(30, 20, &a)));
    EXPECT_EQ(row->sizeThatFits({kInfinity, kInfinity}), (Size{30, 20}));
    EXPECT_EQ(row->sizeThatFits({100, 100}), (Size{100, 20}));
    auto column =
        vstack(0.0, HAlign::leading, views(probe(10, 30, &a), spacer(), probe(10, 30, &b)));
    EXPECT_EQ(column->sizeThatFits({50, kInfinity}).height, 60.0);
    EXPECT_EQ(column->sizeThatFits({50, 100}).height, 100.0);

    Probe *c, *d;
    show(vstack(4.0, HAlign::trailing,
                views(probe(40, 10, &c), padding(probe(20, 10, &d), {1, 2, 3, 4}))));
    // Column content is 28 high, centred in the 100-point root; rows align on the right.
    EXPECT_EQ(c->frame(), (Rect{160, 36, 40, 10}));
    EXPECT_EQ(d->originInRoot(), (Point{200 - 4 - 20, 36 + 14 + 1}));
}

TEST_F(Views, FramesFixLimitAndAlignTheirContent) {
    Probe *a, *b, *c;
    show(hstack(
        0.0, VAlign::top,
        views(frame(probe(10, 10, &a),
                    {.width = 50, .height = 40, .alignment = {HAlign::trailing, VAlign::bottom}}),
              frame(probe(10, 10, &b), {.maxWidth = 30}), spacer(),
              frame(probe(10, 10, &c),
                    {.maxWidth = kInfinity, .alignment = {HAlign::leading, VAlign::top}}))));
    EXPECT_EQ(a->originInRoot(), (Point{40, 30}));
    // 150 free points among three: the capped frame takes 30, the others split the rest.
    EXPECT_EQ(b->parent()->frame().width, 30.0);
    EXPECT_EQ(c->parent()->frame(), (Rect{140, 0, 60, 10}));
    EXPECT_EQ(c->originInRoot(), (Point{140, 0}));

    auto fixedTall = frame(probe(10, 10, &a), {.minWidth = 30, .maxHeight = 5});
    EXPECT_EQ(fixedTall->sizeThatFits({kInfinity, kInfinity}), (Size{30, 5}));
    EXPECT_FALSE(fixedTall->flexibility().horizontal);
}

TEST_F(Views, BackgroundsOverlaysAndLayersShareTheContentFrame) {
    Probe *content, *back, *front, *corner;
    auto decorated = overlay(
        background(padding(probe(20, 10, &content), EdgeInsets::all(5)), probe(1, 1, &back)),
        probe(2, 2, &front));
    show(zstack(
        {HAlign::leading, VAlign::top},
        views(std::move(decorated),
              frame(probe(5, 5, &corner), {.width = 200,
                                           .height = 100,
                                           .alignment = {HAlign::trailing, VAlign::bottom}}))));
    EXPECT_EQ(back->frame(), (Rect{0, 0, 30, 20}));
    EXPECT_EQ(front->frame(), back->frame());
    EXPECT_EQ(content->originInRoot(), (Point{5, 5}));
    EXPECT_EQ(corner->originInRoot(), (Point{195, 95}));
}

TEST_F(Views, TextTakesItsMeasuredSizeUpToTheWidthOfferedAndRereadsItsSource) {
    const std::string line = "A fairly long line of text";
    const Size measured = measureText(line, kFont);
    auto label = text(line, kFont, Color{});
    EXPECT_EQ(label->sizeThatFits({kInfinity, kInfinity}), measured);
    EXPECT_EQ(label->sizeThatFits({40, kInfinity}), (Size{40, measured.height}));

    std::string source = "ab";
    auto live = text([&] { return source; }, kFont, [] { return Color{}; });
    const double before = live->sizeThatFits({kInfinity, kInfinity}).width;
    source = "abcdef";
    EXPECT_GT(live->sizeThatFits({kInfinity, kInfinity}).width, before);
}

TEST_F(Views, HitTestingPrefersTheTopmostChildAndSkipsSubtreesWithItOff) {
    Probe *bottom, *top, *hidden;
    show(zstack({}, views(probe(100, 100, &bottom), probe(50, 50, &top),
                          hitTestingOff(zstack({}, views(probe(60, 60, &hidden)))))));
    EXPECT_EQ(host.root()->hitTest({100, 50}), top);
    EXPECT_EQ(host.root()->hitTest({55, 30}), bottom);
    EXPECT_EQ(host.root()->hitTest({5, 5}), nullptr);

    Probe* label;
    int taps = 0;
    show(button(probe(40, 20, &label), [&] { ++taps; }));
    EXPECT_EQ(host.root()->hitTest({100, 50}), host.root());
}

TEST_F(Views, APressCapturesTheDragUntilOneRelease) {
    Probe *target, *other;
    show(hstack(0.0, VAlign::center, views(probe(50, 100, &other), probe(20, 20, &target))));
    // Row 70 wide, centred: target at x 115..135, y 40..60.
    host.pointerDown({120, 45}, {});
    host.pointerMoved({0, 0}, {.shift = false, .control = false, .option = true});
    host.pointerUp({300, 10}, {});
    host.pointerMoved({120, 45}, {});
    ASSERT_EQ(target->downs.size(), 1u);
    EXPECT_EQ(target->downs[0].location, (Point{5, 5}));
    ASSERT_EQ(target->drags.size(), 1u);
    EXPECT_EQ(target->drags[0].location, (Point{-115, -40}));
    EXPECT_TRUE(target->drags[0].modifiers.option);
    ASSERT_EQ(target->ups.size(), 1u);
    EXPECT_EQ(target->ups[0].location, (Point{185, -30}));
    EXPECT_TRUE(other->downs.empty() && other->drags.empty() && other->ups.empty());
    EXPECT_EQ(host.pressedView(), nullptr);
}

TEST_F(Views, QuickNearbyPressesCountAsMultipleClicks) {
    Probe* target;
    show(probe(200, 100, &target));
    auto pressAt = [&](double time, Point at) {
        clock = time;
        click(at);
        return target->downs.back().clickCount;
    };
    EXPECT_EQ(pressAt(100.0, {50, 50}), 1);
    EXPECT_EQ(pressAt(100.3, {53, 52}), 2);
    EXPECT_EQ(pressAt(100.6, {53, 52}), 3);
    EXPECT_EQ(pressAt(101.5, {53, 52}), 1); // too late
    EXPECT_EQ(pressAt(101.6, {63, 52}), 1); // too far
    EXPECT_EQ(pressAt(101.7, {63, 52}), 2);
}

TEST_F(Views, HoverEntersAndExitsTheChainAndKeepsTheCursorStackBalanced) {
    Probe *outer, *inner;
    auto outerProbe = probe(200, 100, &outer, true);
    outer->add(probe(20, 20, &inner, true));
    show(std::move(outerProbe));
    host.layout();
    inner->layout({10, 10, 20, 20});

    host.pointerMoved({50, 50}, {});
    EXPECT_EQ(host.hoveredView(), outer);
    host.pointerMoved({15, 15}, {});
    EXPECT_EQ(host.hoveredView(), inner);
    EXPECT_EQ(host.context().cursorDepth(), 2u);
    EXPECT_EQ(host.cursor(), Cursor::resizeUpDown);
    // No hover changes while a drag is on, whatever the pointer crosses.
    host.pointerDown({15, 15}, {});
    host.pointerMoved({150, 50}, {});
    EXPECT_EQ(inner->exited, 0);
    host.pointerUp({150, 50}, {});
    EXPECT_EQ(inner->exited, 1);
    EXPECT_EQ(outer->entered, 1);
    host.pointerLeft();
    EXPECT_EQ(outer->exited, 1);
    EXPECT_EQ(host.context().cursorDepth(), 0u);
    EXPECT_EQ(host.cursor(), Cursor::arrow);
}

// A control's tooltip shows once the pointer has rested on it, under it (over it near the
// window's bottom), never across it and inside the window; a press, a key or the wheel puts it
// away until the pointer goes to another control; a child without words shows its parent's.
TEST_F(Views, ATooltipShowsAfterARestBesideItsControlAndGoesOnAPress) {
    Probe *top, *bottom, *child;
    auto topProbe = probe(40, 20, &top);
    auto bottomProbe = probe(40, 20, &bottom);
    bottomProbe->add(probe(10, 10, &child));
    top->tooltip = [] { return std::string("Mix: 50%\nDry against wet"); };
    bottom->tooltip = [] { return std::string("Bottom"); };
    FrameSpec right{.maxWidth = kInfinity, .alignment = {HAlign::trailing, VAlign::center}};
    show(vstack(0, HAlign::leading,
                views(std::move(topProbe), spacer(), frame(std::move(bottomProbe), right))));
    child->layout({0, 0, 10, 10});
    const auto rest = [&](double seconds) {
        clock += seconds;
        host.advance(clock);
    };
    host.pointerMoved({10, 10}, {});
    rest(kTooltipDelay / 2);
    EXPECT_EQ(host.tooltip(), nullptr);
    host.pointerMoved({12, 10}, {}); // moving on the same control keeps the wait
    rest(kTooltipDelay / 2 + 0.01);
    ASSERT_NE(host.tooltip(), nullptr);
    EXPECT_EQ(host.tooltip()->lines, (std::vector<std::string>{"Mix: 50%", "Dry against wet"}));
    const Rect under = host.tooltip()->frame;
    EXPECT_GE(under.y, 20.0);
    EXPECT_GE(under.x, 0.0);

    host.pointerDown({12, 10}, {});
    EXPECT_EQ(host.tooltip(), nullptr);
    host.pointerUp({12, 10}, {});
    host.pointerMoved({14, 10}, {});
    rest(2.0);
    EXPECT_EQ(host.tooltip(), nullptr); // not again on the control just pressed

    host.pointerMoved({165, 85}, {}); // the child of the bottom control
    rest(kTooltipDelay + 0.01);
    ASSERT_NE(host.tooltip(), nullptr);
    const Rect over = host.tooltip()->frame;
    EXPECT_EQ(host.tooltip()->lines, (std::vector<std::string>{"Bottom"}));
    EXPECT_LE(over.maxY(), 80.0); // above the control, which is at the window's bottom
    EXPECT_LE(over.maxX(), 200.0);
    host.scrollWheel(1.0, {165, 85});
    EXPECT_EQ(host.tooltip(), nullptr);
    host.pointerLeft();
    rest(2.0);
    EXPECT_EQ(host.tooltip(), nullptr);
}

// What shows the cursor: a knob-like view under an empty layer laid over everything (as a
// closed overlay leaves), and a text field.
TEST_F(Views, HoverAndTheWheelSeeThroughEmptyLayersAndATextFieldShowsTheTextCursor) {
    Probe* knob;
    auto knobProbe = probe(40, 40, &knob, true);
    knob->takesWheel = true;
    std::string value;
    TextField* field;
    show(
        zstack({}, views(hstack(0.0, VAlign::top,
                                views(std::move(knobProbe),
                                      frame(textField(value, &field), {.width = 100.0}), spacer())),
                         std::make_unique<View>())));

    const Point overKnob{knob->originInRoot().x + 20.0, knob->originInRoot().y + 20.0};
    host.pointerMoved(overKnob, {});
    EXPECT_EQ(host.hoveredView(), knob);
    EXPECT_EQ(host.cursor(), Cursor::resizeUpDown);
    host.scrollWheel(1.0, overKnob);
    EXPECT_EQ(knob->wheelLines, 1.0);
    const Point overField{field->originInRoot().x + 50.0, field->originInRoot().y + 5.0};
    host.pointerMoved(overField, {});
    EXPECT_EQ(host.hoveredView(), field);
    EXPECT_EQ(host.cursor(), Cursor::text);
    EXPECT_EQ(host.context().cursorDepth(), 1u);
    host.pointerMoved({190, 5}, {}); // over nothing that takes input
    EXPECT_EQ(host.cursor(), Cursor::arrow);
    // A field torn down under the pointer takes its cursor with it.
    host.pointerMoved(overField, {});
    show(std::make_unique<View>());
    EXPECT_EQ(host.context().cursorDepth(), 0u);
}

TEST_F(Views, AComposedViewRebuildsAtTheNextLayoutAndTheHostForgetsItsOldViews) {
    Observable<int> generation{0};
    int builds = 0;
    Probe* current = nullptr;
    show(composed([&] {
        ++builds;
        auto p = probe(200, 100, &current, true);
        p->tag = generation.get();
        return p;
    }));
    ASSERT_EQ(builds, 1);
    Probe* first = current;
    host.pointerMoved({10, 10}, {});
    host.pointerDown({10, 10}, {});
    EXPECT_EQ(host.context().cursorDepth(), 1u);

    generation.set(1);
    host.pointerMoved({20, 20}, {}); // still the old view: nothing rebuilds in an event
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(first->drags.size(), 1u);

    host.advance(1.0);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(current->tag, 1);
    EXPECT_EQ(host.pressedView(), nullptr);
    // The old view's cursor went with it; the new one under the pointer is hovered at once.
    EXPECT_EQ(host.hoveredView(), current);
    EXPECT_EQ(current->entered, 1);
    EXPECT_EQ(host.context().cursorDepth(), 1u);
    host.pointerMoved({30, 30}, {});
    host.pointerUp({30, 30}, {});
    EXPECT_TRUE(current->ups.empty() && current->drags.empty());
    host.pointerLeft();
    EXPECT_EQ(host.context().cursorDepth(), 0u);
    host.advance(2.0);
    EXPECT_EQ(builds, 2);
}

TEST_F(Views, AButtonActsOnlyOnAReleaseInside) {
    Probe* label;
    int taps = 0;
    show(frame(button(probe(40, 20, &label), [&] { ++taps; }), {.width = 200, .height = 100}));
    auto* b = static_cast<Button*>(label->parent());
    host.pointerDown({100, 50}, {});
    EXPECT_TRUE(b->isPressed());
    host.pointerMoved({10, 10}, {});
    host.pointerUp({10, 10}, {});
    EXPECT_EQ(taps, 0);
    host.pointerDown({100, 50}, {});
    host.pointerMoved({10, 10}, {});
    host.pointerMoved({90, 45}, {});
    host.pointerUp({90, 45}, {});
    EXPECT_EQ(taps, 1);
    click({5, 5});
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(label->downs.empty());
}

TEST_F(Views, ATextFieldEditsWholeCharactersAndCommitsOnReturn) {
    std::string value;
    int commits = 0;
    TextField* field;
    show(textField(value, &field, [&] { ++commits; }));
    click({100, 50});
    ASSERT_TRUE(field->isFocused());
    auto type = [&](Key key, std::string text = {}) { host.keyDown({key, std::move(text)}); };
    type(Key::character, "a");
    type(Key::character, "\xC3\xA9"); // é
    type(Key::character, "b");
    EXPECT_EQ(value, std::string("a\xC3\xA9") + "b");
    type(Key::left);
    EXPECT_EQ(field->caret(), 3u);
    type(Key::backspace);
    EXPECT_EQ(value, "ab");
    EXPECT_EQ(field->caret(), 1u);
    type(Key::home);
    type(Key::deleteForward);
    EXPECT_EQ(value, "b");
    type(Key::end);
    type(Key::character, "\xC3\xA9");
    type(Key::right);
    EXPECT_EQ(field->caret(), 3u);

    value = "abcd";
    click({measureText("ab", kFont).width + 1.0, 50});
    EXPECT_EQ(field->caret(), 2u);

    bool unhandled = false;
    host.unhandledKey = [&](const KeyEvent&) { return unhandled = true; };
    type(Key::enter);
    EXPECT_EQ(commits, 1);
    EXPECT_FALSE(field->isFocused());
    EXPECT_EQ(host.context().focusedView(), nullptr);
    type(Key::character, "x");
    EXPECT_TRUE(unhandled);
    EXPECT_EQ(value, "abcd");
}

TEST_F(Views, ATextFieldShowsItsPlaceholderOnlyWhileEmpty) {
    const Color red{1, 0, 0, 1};
    const Color green{0, 1, 0, 1};
    std::string value;
    show(std::make_unique<TextField>(Binding<std::string>::of(value), "Placeholder text",
                                     TextField::Style{{20.0}, green, red, green}));
    auto count = [&](const Color& wanted) {
        OffscreenImage image({200, 100}, 1.0);
        image.draw(host);
        int n = 0;
        for (double y = 0.5; y < 100; y += 1.0)
            for (double x = 0.5; x < 200; x += 1.0) {
                const Color c = image.colorAt({x, y});
                n += c.alpha > 0.5 && std::abs(c.red - wanted.red) < 0.1 &&
                     std::abs(c.green - wanted.green) < 0.1;
            }
        return n;
    };
    EXPECT_GT(count(red), 20);
    value = "typed";
    EXPECT_EQ(count(red), 0);
    EXPECT_GT(count(green), 20);
}

TEST_F(Views, AScrollViewClampsItsOffsetAndRoutesClicksThroughIt) {
    ViewList rows;
    std::vector<Probe*> row(10);
    for (auto& r : row)
        rows.push_back(probe(200, 40, &r));
    Probe* below;
    auto scroll = std::make_unique<ScrollView>(vstack(0.0, HAlign::leading, std::move(rows)), 60.0);
    ScrollView* s = scroll.get();
    Probe* parent;
    auto root = probe(200, 100, &parent);
    parent->takesWheel = true;
    root->add(vstack(0.0, HAlign::leading, views(std::move(scroll), probe(200, 40, &below))));
    show(std::move(root));
    EXPECT_EQ(s->frame().height, 60.0);
    EXPECT_EQ(s->contentHeight(), 400.0);

    host.scrollWheel(1.0, {10, 10});
    EXPECT_EQ(s->offset(), 36.0);
    host.scrollWheel(100.0, {10, 10});
    EXPECT_EQ(s->offset(), 340.0);
    EXPECT_EQ(parent->wheelLines, 0.0);
    host.scrollWheel(1.0, {10, 80}); // below the scroll area: the parent's
    EXPECT_EQ(parent->wheelLines, 1.0);

    s->scrollTo(150.0);
    click({10, 20}); // content y 170: row 4, 10 points down
    ASSERT_EQ(row[4]->downs.size(), 1u);
    EXPECT_EQ(row[4]->downs[0].location, (Point{10, 10}));
    EXPECT_EQ(host.root()->hitTest({10, 70}), below); // content under `below` stays hidden
}

TEST(Animation, ARetargetedRectStartsFromWhereItStands) {
    AnimatedRect rect;
    rect.animateTo({0, 0, 10, 10}, 5.0, 1.0);
    EXPECT_FALSE(rect.isAnimating(5.0));
    EXPECT_EQ(rect.valueAt(5.0), (Rect{0, 0, 10, 10}));
    rect.animateTo({100, 0, 30, 10}, 5.0, 1.0);
    EXPECT_TRUE(rect.isAnimating(5.5));
    const Rect middle = rect.valueAt(5.5);
    EXPECT_NEAR(middle.x, 50.0, 1e-9);
    EXPECT_NEAR(middle.width, 20.0, 1e-9);
    rect.animateTo({0, 0, 10, 10}, 5.5, 1.0);
    EXPECT_EQ(rect.valueAt(5.5), middle);
    EXPECT_EQ(rect.valueAt(6.5), (Rect{0, 0, 10, 10}));
    EXPECT_FALSE(rect.isAnimating(6.5));
}

// A press carries its button to its drag and release. A view gets only the buttons it takes
// (the left one unless it says more); another button pressed or released during a drag
// leaves the drag alone, and a right press never makes the next left one a double click.
TEST(ViewHost, PressesCarryTheirButtonToTheViewsThatTakeIt) {
    MainQueue queue([] { return 0.0; });
    ViewHost host(queue, {100.0, 40.0});
    Probe *left = nullptr, *right = nullptr;
    host.setRoot(
        hstack(0.0, VAlign::top, views(probe(50.0, 40.0, &left), probe(50.0, 40.0, &right))));
    right->takesRight = true;
    host.layout();
    host.pointerDown({10.0, 10.0}, {}, PointerButton::right);
    host.pointerUp({10.0, 10.0}, {}, PointerButton::right);
    EXPECT_TRUE(left->downs.empty() && left->ups.empty());
    EXPECT_EQ(host.pressedView(), nullptr);

    host.pointerDown({60.0, 10.0}, {}, PointerButton::right);
    host.pointerMoved({70.0, 10.0}, {});
    host.pointerDown({70.0, 10.0}, {}, PointerButton::left); // dropped: the right one is held
    host.pointerUp({70.0, 10.0}, {}, PointerButton::left);
    EXPECT_EQ(host.pressedView(), right);
    host.pointerUp({75.0, 10.0}, {}, PointerButton::right);
    ASSERT_EQ(right->downs.size(), 1u);
    ASSERT_EQ(right->drags.size(), 1u);
    ASSERT_EQ(right->ups.size(), 1u);
    EXPECT_EQ(right->downs[0].button, PointerButton::right);
    EXPECT_EQ(right->drags[0].button, PointerButton::right);
    EXPECT_EQ(right->ups[0].button, PointerButton::right);
    EXPECT_EQ(right->ups[0].location, (Point{25.0, 10.0}));

    host.pointerDown({60.0, 10.0}, {});
    host.pointerUp({60.0, 10.0}, {});
    ASSERT_EQ(right->downs.size(), 2u);
    EXPECT_EQ(right->downs[1].button, PointerButton::left);
    EXPECT_EQ(right->downs[1].clickCount, 1) << "the right press before it is no first click";
    host.pointerDown({60.0, 10.0}, {}, PointerButton::middle);
    host.pointerUp({60.0, 10.0}, {}, PointerButton::middle);
    EXPECT_EQ(right->downs.size(), 2u);
}

} // namespace
} // namespace zerin
