// The rotary knob over a parameter that records what its unit hears: drags, double clicks
// and drawing.

#include "support/widget_host.h"
#include "widgets/control_parameter.h"
#include "widgets/controls.h"
#include "widgets/rotary_knob_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin {
namespace {

using namespace zerin::test;

using Sent = std::pair<float, GestureStep>;

// A parameter whose unit only listens: each value of an edit, as the unit hears it.
class RecordedParameter final : public ControlParameter {
public:
    RecordedParameter(float min, float max, float initial, ReadoutUnit unit)
        : ControlParameter("Mix", min, max, initial, unit) {}
    void unitSets(float v) { takeUnitValue(v); }
    std::vector<Sent> sent;

private:
    void send(float value, GestureStep step) override { sent.emplace_back(value, step); }
};

std::shared_ptr<RecordedParameter> mixParameter() {
    return std::make_shared<RecordedParameter>(0.0f, 100.0f, 50.0f, ReadoutUnit::percent);
}

TEST(RotaryKnob, DragsSweepTheRangeOver200PointsAsOneGestureClampedToTheRange) {
    WidgetHost f;
    const auto mix = mixParameter();
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*mix));
    const Point start = centerInRoot(knob.face());
    f.press(start);
    EXPECT_TRUE(knob.isDragging());
    f.host.pointerMoved({start.x, start.y - 100.0}, {});
    EXPECT_EQ(knob.parameter().value(), 100.0f);
    f.host.pointerMoved({start.x, start.y - 150.0}, {});
    f.host.pointerUp({start.x, start.y - 150.0}, {});
    EXPECT_FALSE(knob.isDragging());
    const std::vector<Sent> expected = {{50.0f, GestureStep::touch},
                                        {100.0f, GestureStep::value},
                                        {100.0f, GestureStep::value},
                                        {100.0f, GestureStep::release}};
    EXPECT_EQ(mix->sent, expected);

    const auto gainParameter =
        std::make_shared<RecordedParameter>(-24.0f, 12.0f, 0.0f, ReadoutUnit::decibels);
    auto& gain = f.show(std::make_unique<RotaryKnobView>(*gainParameter));
    const Point from = centerInRoot(gain.face());
    f.press(from);
    f.host.pointerMoved({from.x, from.y + 20.0}, {});
    f.host.pointerUp({from.x, from.y + 20.0}, {});
    const float dragged = 0.0f + (12.0f - -24.0f) * (-20.0f / 200.0f);
    EXPECT_EQ(gain.parameter().value(), dragged);
    EXPECT_NEAR(dragged, -3.6f, 1e-6f);
    EXPECT_EQ(gainParameter->sent.back(), Sent(dragged, GestureStep::release));
}

TEST(RotaryKnob, CtrlClickResetsToTheStartingValueWithTouchAndReleaseOnly) {
    WidgetHost f;
    // As after a restored state: the knob starts away from the table's default.
    const auto feedback =
        std::make_shared<RecordedParameter>(0.0f, 100.0f, 42.0f, ReadoutUnit::percent);
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*feedback));
    const Point at = centerInRoot(knob.face());
    f.press(at);
    f.host.pointerMoved({at.x, at.y - 60.0}, {});
    f.host.pointerUp({at.x, at.y - 60.0}, {});
    EXPECT_EQ(knob.parameter().value(), 72.0f);
    feedback->sent.clear();
    f.clock += 1.0;
    f.host.pointerDown(at, {.control = true});
    f.host.pointerMoved({at.x, at.y - 30.0}, {.control = true}); // the press was the reset
    f.host.pointerUp(at, {.control = true});
    const std::vector<Sent> expected = {{42.0f, GestureStep::touch}, {42.0f, GestureStep::release}};
    EXPECT_EQ(feedback->sent, expected);
    EXPECT_EQ(knob.parameter().editingState(), EditingState::inactive);
}

// A double click opens the field over the face; what is typed there, in the knob's unit, is
// set clamped as one gesture; Escape closes it sending nothing; text that is no value keeps
// it open; Return on the focused knob opens it too.
TEST(RotaryKnob, ADoubleClickOpensAFieldWhoseTypedValueIsSetClampedAsOneGesture) {
    WidgetHost f;
    const auto gainParameter =
        std::make_shared<RecordedParameter>(-24.0f, 12.0f, 0.0f, ReadoutUnit::decibels);
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*gainParameter));
    const Point at = centerInRoot(knob.face());
    auto type = [&](const std::string& text) {
        for (char c : text)
            f.host.keyDown({Key::character, std::string(1, c)});
        f.host.keyDown({Key::enter});
    };
    f.click(at);
    f.clock += 0.1;
    f.host.pointerDown(at, {});
    f.host.pointerUp(at, {});
    f.host.advance(2.0);
    ASSERT_NE(knob.entryField(), nullptr);
    EXPECT_EQ(f.host.context().focusedView(), knob.entryField());
    gainParameter->sent.clear();
    type("-6 dB");
    EXPECT_EQ(knob.entryField(), nullptr);
    EXPECT_EQ(gainParameter->sent,
              (std::vector<Sent>{{-6.0f, GestureStep::touch}, {-6.0f, GestureStep::release}}));

    f.host.context().setFocus(&knob.face());
    f.host.keyDown({Key::enter});
    ASSERT_NE(knob.entryField(), nullptr);
    type("40"); // beyond the range's top
    EXPECT_EQ(knob.parameter().value(), 12.0f);

    gainParameter->sent.clear();
    f.clock += 1.0;
    f.host.pointerDown(at, {}, PointerButton::right);
    f.host.pointerUp(at, {});
    ASSERT_NE(knob.entryField(), nullptr);
    EXPECT_TRUE(gainParameter->sent.empty()); // no gesture for the press itself
    type("-24.5");
    EXPECT_EQ(knob.parameter().value(), -24.0f);

    knob.openEntry();
    gainParameter->sent.clear();
    type("loud"); // no value: the field stays, focused, with the text
    ASSERT_NE(knob.entryField(), nullptr);
    EXPECT_EQ(f.host.context().focusedView(), knob.entryField());
    f.host.keyDown({Key::escape});
    EXPECT_EQ(knob.entryField(), nullptr);
    EXPECT_TRUE(gainParameter->sent.empty());
    EXPECT_EQ(knob.parameter().value(), -24.0f);
}

// Wheel notches and arrow keys step by the unit's step, a tenth of it with Shift or Ctrl,
// each as its own gesture, and stop at the range's ends; a drag with Shift moves a tenth as
// far.
TEST(RotaryKnob, TheWheelArrowsAndFineDragStepWithinTheRange) {
    WidgetHost f;
    const auto mix = mixParameter();
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*mix));
    const Point at = centerInRoot(knob.face());
    f.host.scrollWheel(-2.0, at); // two notches away from the user
    EXPECT_FLOAT_EQ(mix->value(), 52.0f);
    EXPECT_EQ(mix->sent,
              (std::vector<Sent>{{52.0f, GestureStep::touch}, {52.0f, GestureStep::release}}));
    f.host.context().modifiers().update({.shift = true});
    f.host.scrollWheel(1.0, at);
    EXPECT_FLOAT_EQ(mix->value(), 51.9f);
    f.host.context().modifiers().update({});

    f.click(at); // focuses the face
    f.host.keyDown({Key::up});
    EXPECT_FLOAT_EQ(mix->value(), 52.9f);
    f.host.keyDown({Key::left, "", 0, {.control = true}});
    EXPECT_FLOAT_EQ(mix->value(), 52.8f);
    for (int i = 0; i < 80; ++i)
        f.host.keyDown({Key::right});
    EXPECT_EQ(mix->value(), 100.0f);
    EXPECT_EQ(knob.parameter().editingState(), EditingState::inactive);

    f.press(at);
    f.host.pointerMoved({at.x, at.y + 100.0}, {.shift = true});
    f.host.pointerUp({at.x, at.y + 100.0}, {.shift = true});
    EXPECT_FLOAT_EQ(mix->value(), 95.0f); // a full-range drag of 100 points, a tenth as far

    const float stepped = knobStep(ReadoutUnit::milliseconds, 0.0f, 2000.0f);
    EXPECT_EQ(stepped, 10.0f);
    EXPECT_EQ(knobStep(ReadoutUnit::plain, 1.0f, 201.0f), 2.0f);
}

// Every unit's readout reads back as its value through what a person may type, and typed
// forms with other spacing, case and scale mean the same.
TEST(RotaryKnob, TypedValuesReadInTheKnobsUnitAndOthersAreRefused) {
    struct Case {
        const char* text;
        ReadoutUnit unit;
        std::optional<float> value;
    };
    const Case cases[] = {
        {"75", ReadoutUnit::percent, 75.0f},
        {" 75 % ", ReadoutUnit::percent, 75.0f},
        {"-6 dB", ReadoutUnit::decibels, -6.0f},
        {"+3.5DB", ReadoutUnit::decibels, 3.5f},
        {"1.5k", ReadoutUnit::hertz, 1500.0f},
        {"0.25 Hz", ReadoutUnit::hertz, 0.25f},
        {"2 kHz", ReadoutUnit::hertz, 2000.0f},
        {"250ms", ReadoutUnit::milliseconds, 250.0f},
        {"0.5 s", ReadoutUnit::milliseconds, 500.0f},
        {"-7 st", ReadoutUnit::semitones, -7.0f},
        {"12 semitones", ReadoutUnit::semitones, 12.0f},
        {"6 dB", ReadoutUnit::percent, {}},
        {"75%%", ReadoutUnit::percent, {}},
        {"", ReadoutUnit::plain, {}},
        {"+-3", ReadoutUnit::plain, {}},
        {"nan", ReadoutUnit::plain, {}},
        {"1e39", ReadoutUnit::plain, {}},
        {"3 apples", ReadoutUnit::plain, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseKnobValue(c.text, c.unit), c.value) << '"' << c.text << '"';
}

TEST(RotaryKnob, DrawsTheValueArcUpToTheValueThePointerOnItAndTheReadoutWhileDragging) {
    WidgetHost f;
    const auto mix = mixParameter();
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*mix));
    const Point c = centerInRoot(knob.face());
    const double a = 0.78 * 25.0;
    auto at = [&](double n) {
        const double angle = kKnobArcStart + kKnobArcRange * n;
        return Point{c.x + a * std::cos(angle), c.y + a * std::sin(angle)};
    };
    auto image = f.snapshot();
    EXPECT_TRUE(isCyan(image->colorAt(at(0.25)))); // the arc up to 50 %
    EXPECT_TRUE(isDark(image->colorAt(at(0.75)))); // the bare track beyond
    EXPECT_TRUE(isWhite(image->colorAt(at(0.5)))); // the pointer
    const Rect readout{c.x - 8.0, c.y - 3.0, 16.0, 6.0};
    EXPECT_LT(brightest(*image, readout), 0.5); // no readout idle

    // A change from the host shows the value for a moment, then the readout goes.
    f.host.advance(3.0);
    mix->unitSets(0.05f); // n = 0.0005: no sliver of arc, the pointer still shows
    image = f.snapshot();
    EXPECT_TRUE(isDark(image->colorAt(at(0.1))));
    EXPECT_TRUE(isWhite(image->colorAt(at(0.0))));
    EXPECT_GT(brightest(*image, readout), 0.9);
    f.host.advance(3.0 + kKnobReadoutLinger + 0.1);
    EXPECT_LT(brightest(*f.snapshot(), readout), 0.5);

    f.host.pointerMoved(c, {}); // hovering shows it
    EXPECT_GT(brightest(*f.snapshot(), readout), 0.9);
    f.host.pointerLeft();
    EXPECT_LT(brightest(*f.snapshot(), readout), 0.5);

    f.press(c); // and so does dragging, from the first drag update
    EXPECT_GT(brightest(*f.snapshot(), readout), 0.9);
    f.host.pointerUp(c, {});
}

} // namespace
} // namespace zerin
