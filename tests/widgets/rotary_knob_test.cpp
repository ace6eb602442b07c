// The rotary knob over a parameter that records what its unit hears: drags, double clicks
// and drawing.

#include "support/widget_host.h"
#include "widgets/control_parameter.h"
#include "widgets/controls.h"
#include "widgets/rotary_knob_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
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

TEST(RotaryKnob, DoubleClickResetsToTheStartingValueWithTouchAndReleaseOnly) {
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
    f.click(at); // the double click's first press: a drag that moves nothing
    feedback->sent.clear();
    f.clock += 0.1;
    f.host.pointerDown(at, {});
    f.host.pointerUp(at, {});
    const std::vector<Sent> expected = {{42.0f, GestureStep::touch}, {42.0f, GestureStep::release}};
    EXPECT_EQ(feedback->sent, expected);
    EXPECT_EQ(knob.parameter().value(), 42.0f);
    EXPECT_EQ(knob.parameter().editingState(), EditingState::inactive);
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
    EXPECT_TRUE(isCyan(image->colorAt(at(0.25))));                        // the arc up to 50 %
    EXPECT_TRUE(isDark(image->colorAt(at(0.75))));                        // the bare track beyond
    EXPECT_TRUE(isWhite(image->colorAt(at(0.5))));                        // the pointer
    EXPECT_LT(brightest(*image, {c.x - 8.0, c.y - 3.0, 16.0, 6.0}), 0.5); // no readout idle

    mix->unitSets(0.05f); // n = 0.0005: no sliver of arc, the pointer still shows
    image = f.snapshot();
    EXPECT_TRUE(isDark(image->colorAt(at(0.1))));
    EXPECT_TRUE(isWhite(image->colorAt(at(0.0))));

    f.press(c); // the readout appears from the first drag update
    image = f.snapshot();
    EXPECT_GT(brightest(*image, {c.x - 8.0, c.y - 3.0, 16.0, 6.0}), 0.9);
    f.host.pointerUp(c, {});
}

} // namespace
} // namespace zerin
