#include "audiounit/parameters.h"
#include "dsp/parameters.h"
#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/view_host.h"
#include "shell/controls_strip_view.h"
#include "shell/top_bar_view.h"
#include "widgets/controls.h"
#include "widgets/observable_parameter.h"
#include "widgets/rotary_knob_view.h"
#include "widgets/theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace zerin {
namespace {

using Event = AUParameterAutomationEventType;
using Sent = std::tuple<AUParameterAddress, float, Event>;
namespace palette = theme;

// The real host tree with a recorder standing in for the host's automation, the editor's
// mirror of it, and a view host whose clock the test moves (so presses pair up as double
// clicks only when meant to).
struct Fixture {
    double clock = 0.0;
    MainQueue queue{[this] { return clock; }};
    std::shared_ptr<AUParameterTree> tree = buildParameterTree(parameterTreeSpec());
    std::vector<Sent> sent;
    AUParameterObserverToken recorder = tree->tokenByAddingParameterAutomationObserver(
        [this](AUParameterAddress address, AUValue value, Event type) {
            sent.emplace_back(address, value, type);
        });
    ObservableAUParameterGroup mirror{*tree, tree, queue};
    ViewHost host{queue, {900.0, 200.0}};

    template <typename V> V& show(std::unique_ptr<V> view) {
        V& shown = *view;
        host.setRoot(std::move(view));
        host.advance(1.0);
        return shown;
    }
    void hostSets(const std::string& identifier, float value) {
        tree->parameterWithIdentifier(identifier)->setValue(value, recorder, 0, Event::value);
        queue.pump();
    }
    void press(Point at) {
        clock += 1.0; // far from the last press: a fresh single click
        host.pointerDown(at, {});
    }
    void click(Point at) {
        press(at);
        host.pointerUp(at, {});
    }
    std::unique_ptr<OffscreenImage> snapshot() {
        auto image = std::make_unique<OffscreenImage>(host.size(), 2.0);
        image->clear(palette::background);
        image->draw(host);
        return image;
    }
};

Point centerInRoot(const View& view) {
    const Point origin = view.originInRoot();
    return {origin.x + view.frame().width / 2.0, origin.y + view.frame().height / 2.0};
}

template <typename T> void collect(View& view, std::vector<T*>& found) {
    if (auto* match = dynamic_cast<T*>(&view)) found.push_back(match);
    for (const auto& child : view.children())
        collect(*child, found);
}

bool isCyan(Color c) {
    return c.red < 0.3 && c.green > 0.6 && c.blue > 0.7;
}
bool isWhite(Color c) {
    return c.red > 0.85 && c.green > 0.85 && c.blue > 0.85;
}
bool isDark(Color c) {
    return c.red < 0.3 && c.green < 0.3 && c.blue < 0.35;
}
// How much greener than red: the cyan tints stand out against the panel's grey-blue.
double cyanTint(Color c) {
    return c.green - c.red;
}

// The brightest grey level (least of the three channels) in a rectangle of points.
double brightest(const OffscreenImage& image, const Rect& area) {
    double best = 0.0;
    for (double y = area.y; y < area.maxY(); y += 0.5)
        for (double x = area.x; x < area.maxX(); x += 0.5) {
            const Color c = image.colorAt({x, y});
            best = std::max(best, std::min({c.red, c.green, c.blue}));
        }
    return best;
}

Rect frameInRoot(const View& view) {
    const Point origin = view.originInRoot();
    return {origin.x, origin.y, view.frame().width, view.frame().height};
}

TEST(RotaryKnob, DragsSweepTheRangeOver200PointsAsOneGestureClampedToTheRange) {
    Fixture f;
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
    Fixture f;
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
    Fixture f;
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
    Fixture f;
    auto& knob = f.show(std::make_unique<RotaryKnobView>(*f.mirror.parameter(parameter::dryWet)));
    EXPECT_EQ(f.host.cursor(), Cursor::arrow);
    f.host.pointerMoved(centerInRoot(knob.face()), {});
    EXPECT_EQ(f.host.cursor(), Cursor::resizeUpDown);
    f.host.pointerMoved({1.0, 1.0}, {});
    EXPECT_EQ(f.host.cursor(), Cursor::arrow);
}

TEST(ControlsStrip, HoldsEightKnobsInOrderAndOneSyncToggle) {
    Fixture f;
    auto& strip = f.show(std::make_unique<ControlsStripView>(f.mirror));
    EXPECT_EQ(strip.sizeThatFits({900.0, kInfinity}).height, 120.0);
    std::vector<RotaryKnobView*> knobs;
    collect(strip, knobs);
    std::vector<std::string> captions;
    for (const RotaryKnobView* knob : knobs)
        captions.push_back(knob->caption());
    const std::vector<std::string> expected = {"INPUT",  "OUTPUT",   "MIX",       "FEEDBACK",
                                               "SOURCE", "LFO RATE", "LFO DEPTH", "SCATTER SPEED"};
    EXPECT_EQ(captions, expected);
    for (std::size_t i = 1; i < knobs.size(); ++i)
        EXPECT_LT(knobs[i - 1]->originInRoot().x, knobs[i]->originInRoot().x);
    std::vector<Button*> buttons;
    collect(strip, buttons);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0], strip.syncToggle());
    // Between LFO DEPTH and SCATTER SPEED.
    EXPECT_GT(centerInRoot(*buttons[0]).x, centerInRoot(*knobs[6]).x);
    EXPECT_LT(centerInRoot(*buttons[0]).x, centerInRoot(*knobs[7]).x);
}

TEST(ControlsStrip, SyncFlipsAsOneTouchReleaseGestureAndShowsTheHostsValue) {
    Fixture f;
    auto& strip = f.show(std::make_unique<ControlsStripView>(f.mirror));
    const View& toggle = *strip.syncToggle();
    const Point fill{toggle.originInRoot().x + 4.0, centerInRoot(toggle).y};
    EXPECT_LT(cyanTint(f.snapshot()->colorAt(fill)), 0.05);

    f.click(centerInRoot(toggle));
    EXPECT_EQ(f.sent, (std::vector<Sent>{{6, 1.0f, Event::touch}, {6, 1.0f, Event::release}}));
    EXPECT_GT(cyanTint(f.snapshot()->colorAt(fill)), 0.1);

    f.sent.clear();
    f.click(centerInRoot(toggle));
    EXPECT_EQ(f.sent, (std::vector<Sent>{{6, 0.0f, Event::touch}, {6, 0.0f, Event::release}}));
    EXPECT_LT(cyanTint(f.snapshot()->colorAt(fill)), 0.05);

    f.hostSets("tempoSync", 0.5f);
    EXPECT_GT(cyanTint(f.snapshot()->colorAt(fill)), 0.1);
}

// A top bar over an empty area, bound to plain variables the test changes.
struct TopBarFixture : Fixture {
    SpectralMode mode = SpectralMode::delay;
    std::string name = "Init";
    bool dirty = false;
    std::vector<SpectralMode> changes;
    int presetTaps = 0;
    int saveTaps = 0;
    TopBarView* bar = nullptr;

    TopBarFixture() {
        auto view = std::make_unique<TopBarView>(
            TopBarInputs{Binding<SpectralMode>::of(mode), [this] { return name; },
                         [this] { return dirty; }, [this](SpectralMode m) { changes.push_back(m); },
                         [this] { ++presetTaps; }, [this] { ++saveTaps; }});
        bar = view.get();
        show(vstack(0.0, HAlign::center, views(std::move(view), spacer())));
    }
    // The highlight tints the segment's padding, left of its label.
    double tintBeside(SpectralMode m, const OffscreenImage& image) const {
        const Rect r = frameInRoot(bar->segment(m));
        return cyanTint(image.colorAt({r.x + 8.0, r.y + r.height / 2.0}));
    }
    double labelBrightness(SpectralMode m, const OffscreenImage& image) const {
        const Rect r = frameInRoot(bar->segment(m));
        return brightest(image, {r.x + 16.0, r.y + 6.0, r.width - 32.0, r.height - 12.0});
    }
};

TEST(TopBar, ASegmentClickSetsTheModeCallsBackEveryTimeAndSlidesTheHighlight) {
    TopBarFixture f;
    f.host.advance(10.0);
    f.click(centerInRoot(f.bar->segment(SpectralMode::freeze)));
    EXPECT_EQ(f.mode, SpectralMode::freeze);
    auto image = f.snapshot(); // the click's own frame: the slide has not moved yet
    EXPECT_GT(f.tintBeside(SpectralMode::delay, *image), 0.1);
    f.host.advance(10.0 + kModeHighlightSlideSeconds);
    image = f.snapshot();
    EXPECT_GT(f.tintBeside(SpectralMode::freeze, *image), 0.1);
    EXPECT_LT(f.tintBeside(SpectralMode::delay, *image), 0.06);
    EXPECT_GT(f.labelBrightness(SpectralMode::freeze, *image), 0.9);
    EXPECT_LT(f.labelBrightness(SpectralMode::delay, *image), 0.8);

    f.click(centerInRoot(f.bar->segment(SpectralMode::freeze)));
    EXPECT_EQ(f.changes, (std::vector<SpectralMode>{SpectralMode::freeze, SpectralMode::freeze}));
}

TEST(TopBar, TheHighlightFollowsAModeChangedFromOutside) {
    TopBarFixture f;
    f.mode = SpectralMode::scatter; // the host switched the mode parameter
    f.host.advance(20.0);
    f.host.advance(20.0 + kModeHighlightSlideSeconds);
    auto image = f.snapshot();
    EXPECT_GT(f.tintBeside(SpectralMode::scatter, *image), 0.1);
    EXPECT_LT(f.tintBeside(SpectralMode::delay, *image), 0.06);
    EXPECT_GT(f.labelBrightness(SpectralMode::scatter, *image), 0.9);
    EXPECT_TRUE(f.changes.empty());
}

TEST(TopBar, PresetNameShowsTheDirtyMarkerStaysOnOneLineAndButtonsCallBack) {
    TopBarFixture f;
    const double clean = f.bar->presetButton().frame().width;
    f.dirty = true;
    f.host.advance(2.0);
    const Font nameFont{11.0, FontWeight::medium};
    EXPECT_NEAR(f.bar->presetButton().frame().width - clean,
                measureText("Init *", nameFont).width - measureText("Init", nameFont).width, 0.01);

    f.name = std::string(300, 'W');
    f.host.advance(3.0);
    EXPECT_EQ(f.bar->frame().height, kTopBarHeight);
    const Rect save = frameInRoot(f.bar->saveButton());
    EXPECT_EQ(save.width, 28.0);
    EXPECT_LE(save.maxX(), 900.0 - 16.0 + 1e-9);
    EXPECT_LE(frameInRoot(f.bar->presetButton()).maxX(), save.x);

    f.click(centerInRoot(f.bar->presetButton()));
    f.click(centerInRoot(f.bar->saveButton()));
    EXPECT_EQ(f.presetTaps, 1);
    EXPECT_EQ(f.saveTaps, 1);
}

// Where the dirty marker's star stands in the bar: before the chevron and its 4-point gap, at
// the preset button's trailing padding, in the upper half of the line (an ellipsis sits on the
// baseline instead).
Rect starArea(const TopBarView& bar) {
    const Rect button = frameInRoot(bar.presetButton());
    const double chevron = measureSymbol("chevron.down", Font{8.0, FontWeight::bold}).width;
    const double star = measureText("*", Font{11.0, FontWeight::medium}).width;
    const double right = button.maxX() - 10.0 - chevron - 4.0;
    return {right - star, button.y + 5.0, star, button.height / 2.0 - 5.0};
}

TEST(TopBar, TheNameTakesTheRoomUpToTheSelectorAndACutSparesTheDirtyMarker) {
    TopBarFixture f;
    const Font nameFont{11.0, FontWeight::medium};
    f.name = "Shimmer Wash";
    f.dirty = true;
    f.host.advance(2.0);
    // Shown whole: nothing cut, in the layout or in the pixels.
    EXPECT_DOUBLE_EQ(f.bar->presetNameText().frame().width,
                     measureText("Shimmer Wash", nameFont).width);
    EXPECT_GT(brightest(*f.snapshot(), starArea(*f.bar)), 0.8);

    // A name longer than the room: cut where the selector begins (the spacers give way, the
    // row's spacing stays), the marker still there.
    f.name = std::string(80, 'W') + " Wash";
    f.dirty = true;
    f.host.advance(4.0);
    const Rect button = frameInRoot(f.bar->presetButton());
    const Rect rightmostSegment = frameInRoot(f.bar->segment(SpectralMode::scatter));
    EXPECT_GE(button.x, rightmostSegment.maxX() + 2.0);
    EXPECT_LE(button.x, rightmostSegment.maxX() + 2.0 + 2.0 * kDefaultSpacing + 1e-6);
    EXPECT_LT(f.bar->presetNameText().frame().width, measureText(f.name, nameFont).width);
    EXPECT_GT(brightest(*f.snapshot(), starArea(*f.bar)), 0.8);
}

} // namespace
} // namespace zerin
