// The rotary knob through the real parameter tree: drags, double clicks, readouts, drawing
// and the cursor it shows.

#include "support/widget_host.h"
#include "widgets/controls.h"
#include "widgets/rotary_knob_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zerin {
namespace {

using namespace zerin::test;

TEST(RotaryKnob, DragsSweepTheRangeOver200PointsAsOneGestureClampedToTheRange) {
    WidgetHost f;
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*f.mirror.parameter(parameter::dryWet)));
    const Point start = centerInRoot(knob.face());
    f.press(start);
    EXPECT_TRUE(knob.isDragging());
    f.host.pointerMoved({start.x, start.y - 100.0}, {});
    EXPECT_EQ(knob.parameter().value(), 100.0f);
    f.host.pointerMoved({start.x, start.y - 150.0}, {});
    f.host.pointerUp({start.x, start.y - 150.0}, {});
    EXPECT_FALSE(knob.isDragging());
    const std::vector<Sent> expected = {{2, 50.0f, Event::touch},
                                        {2, 100.0f, Event::value},
                                        {2, 100.0f, Event::value},
                                        {2, 100.0f, Event::release}};
    EXPECT_EQ(f.sent, expected);

    auto& gain =
        f.show(std::make_unique<RotaryKnobView>(*f.mirror.parameter(parameter::inputGain)));
    const Point from = centerInRoot(gain.face());
    f.press(from);
    f.host.pointerMoved({from.x, from.y + 20.0}, {});
    f.host.pointerUp({from.x, from.y + 20.0}, {});
    const float dragged = 0.0f + (12.0f - -24.0f) * (-20.0f / 200.0f);
    EXPECT_EQ(gain.parameter().value(), dragged);
    EXPECT_NEAR(dragged, -3.6f, 1e-6f);
    EXPECT_EQ(f.tree->parameterWithIdentifier("inputGain")->value(), dragged);
}

TEST(RotaryKnob, DoubleClickResetsToTheStartingValueWithTouchAndReleaseOnly) {
    WidgetHost f;
    f.tree->parameterWithIdentifier("feedback")->setValue(42.0f); // as after a restored state
    ObservableAUParameterGroup mirror(*f.tree, f.tree, f.queue);
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*mirror.parameter(parameter::feedback)));
    const Point at = centerInRoot(knob.face());
    f.press(at);
    f.host.pointerMoved({at.x, at.y - 60.0}, {});
    f.host.pointerUp({at.x, at.y - 60.0}, {});
    EXPECT_EQ(knob.parameter().value(), 72.0f);
    f.click(at); // the double click's first press: a drag that moves nothing
    f.sent.clear();
    f.clock += 0.1;
    f.host.pointerDown(at, {});
    f.host.pointerUp(at, {});
    const std::vector<Sent> expected = {{3, 42.0f, Event::touch}, {3, 42.0f, Event::release}};
    EXPECT_EQ(f.sent, expected);
    EXPECT_EQ(knob.parameter().value(), 42.0f);
    EXPECT_EQ(knob.parameter().editingState(), EditingState::inactive);
}

// The number a readout stands for: "+6.5" (dB), "30%", "1.5k" (Hz).
double readBack(const std::string& shown) {
    std::string digits = shown;
    double scale = 1.0;
    if (!digits.empty() && digits.back() == '%') digits.pop_back();
    if (!digits.empty() && digits.back() == 'k') {
        digits.pop_back();
        scale = 1000.0;
    }
    std::size_t used = 0;
    const double value = std::stod(digits, &used);
    EXPECT_EQ(used, digits.size()) << "\"" << shown << "\" has more than a number and its unit";
    return value * scale;
}

// Half of the last digit the readout shows, for the value it shows.
double readoutStep(float value, AudioUnitParameterUnit unit) {
    if (unit == kAudioUnitParameterUnit_Percent) return 0.5;
    if (unit == kAudioUnitParameterUnit_Hertz && value >= 1000.0f) return 50.0;
    return 0.05;
}

// Every knob's readout, read back, is the value it stands for, across the whole range and at
// both ends, and it never runs backwards while the value rises.
TEST(RotaryKnob, TheReadoutReadsBackAsTheValueAcrossEveryKnobsRange) {
    for (const ParameterSpec* spec : allParameterSpecs()) {
        if (spec->valueStrings || spec->units == kAudioUnitParameterUnit_Boolean) continue;
        SCOPED_TRACE(spec->identifier);
        constexpr int kSteps = 400;
        double previous = -std::numeric_limits<double>::infinity();
        for (int i = 0; i <= kSteps; ++i) {
            const float t = static_cast<float>(i) / kSteps;
            const float value = i == kSteps
                                    ? spec->maxValue
                                    : spec->minValue + t * (spec->maxValue - spec->minValue);
            const std::string shown = knobValueText(value, spec->units);
            const double read = readBack(shown);
            EXPECT_NEAR(read, value, readoutStep(value, spec->units) + 1e-3) << shown;
            EXPECT_GE(read, previous) << shown;
            previous = read;
        }
        EXPECT_EQ(knobNormalizedValue(spec->minValue, spec->minValue, spec->maxValue), 0.0);
        EXPECT_EQ(knobNormalizedValue(spec->maxValue, spec->minValue, spec->maxValue), 1.0);
    }
    EXPECT_EQ(knobNormalizedValue(3.0f, 3.0f, 3.0f), 0.0); // an empty range
}

TEST(RotaryKnob, DrawsTheValueArcUpToTheValueThePointerOnItAndTheReadoutWhileDragging) {
    WidgetHost f;
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*f.mirror.parameter(parameter::dryWet)));
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

    f.hostSets("dryWet", 0.05f); // n = 0.0005: no sliver of arc, the pointer still shows
    image = f.snapshot();
    EXPECT_TRUE(isDark(image->colorAt(at(0.1))));
    EXPECT_TRUE(isWhite(image->colorAt(at(0.0))));

    f.press(c); // the readout appears from the first drag update
    image = f.snapshot();
    EXPECT_GT(brightest(*image, {c.x - 8.0, c.y - 3.0, 16.0, 6.0}), 0.9);
    f.host.pointerUp(c, {});
}

TEST(RotaryKnob, HoverShowsTheUpDownCursorUntilThePointerLeaves) {
    WidgetHost f;
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*f.mirror.parameter(parameter::dryWet)));
    EXPECT_EQ(f.host.cursor(), Cursor::arrow);
    f.host.pointerMoved(centerInRoot(knob.face()), {});
    EXPECT_EQ(f.host.cursor(), Cursor::resizeUpDown);
    f.host.pointerMoved({1.0, 1.0}, {});
    EXPECT_EQ(f.host.cursor(), Cursor::arrow);
}

} // namespace
} // namespace zerin
