// The controls strip and the top bar of the editor's shell, bound to the real parameter tree
// or to plain variables.

#include "shell/controls_strip_view.h"
#include "shell/top_bar_view.h"
#include "support/mirrored_host.h"
#include "widgets/controls.h"
#include "widgets/rotary_knob_view.h"

#include <gtest/gtest.h>

namespace zerin {
namespace {

using namespace zerin::test;

TEST(ControlsStrip, HoldsThirteenKnobsInOrderRoomilyAndThreeTogglesUnderThem) {
    MirroredHost f;
    auto& strip = f.show(std::make_unique<ControlsStripView>(f.mirror));
    EXPECT_EQ(strip.sizeThatFits({900.0, kInfinity}).height, 120.0);
    std::vector<RotaryKnobView*> knobs;
    collect(strip, knobs);
    std::vector<std::string> captions;
    for (const RotaryKnobView* knob : knobs)
        captions.push_back(knob->caption());
    // A knob's caption leaves out its section's title: SPEED under SCATTER, SPREAD under
    // STEREO.
    const std::vector<std::string> expected = {
        "INPUT",     "OUTPUT", "MIX",   "FEEDBACK", "SOURCE", "SPREAD", "LFO RATE",
        "LFO DEPTH", "SPEED",  "MORPH", "SCALE",    "SHIFT",  "FADE"};
    EXPECT_EQ(captions, expected);
    // In order, inside the 900-point window, never closer than 10 points, in one line.
    EXPECT_GE(knobs.front()->originInRoot().x, 16.0);
    EXPECT_LE(knobs.back()->originInRoot().x + knobs.back()->frame().width, 900.0 - 16.0);
    for (std::size_t i = 1; i < knobs.size(); ++i) {
        EXPECT_GE(knobs[i]->originInRoot().x,
                  knobs[i - 1]->originInRoot().x + knobs[i - 1]->frame().width + 10.0)
            << captions[i];
        EXPECT_EQ(knobs[i]->originInRoot().y, knobs[0]->originInRoot().y) << captions[i];
    }
    std::vector<Button*> buttons;
    collect(strip, buttons);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(buttons[0], strip.pingPongToggle());
    EXPECT_EQ(buttons[1], strip.syncToggle());
    EXPECT_EQ(buttons[2], strip.delaySyncToggle());
    // Each under its section's knobs, beside the section's title, inside the strip: PING under
    // SPREAD, the LFO's SYNC under its knobs, the delays' under the curve's.
    const double knobsBottom = frameInRoot(*knobs[0]).maxY();
    const auto under = [&](const Button& toggle, std::size_t first, std::size_t last) {
        const Rect r = frameInRoot(toggle);
        EXPECT_GE(r.y, knobsBottom);
        EXPECT_LE(r.maxY(), strip.frame().maxY());
        EXPECT_GT(r.maxX(), frameInRoot(*knobs[first]).x);
        EXPECT_LT(r.x, frameInRoot(*knobs[last]).maxX() + 20.0);
        EXPECT_GT(r.x, frameInRoot(*knobs[first - 1]).maxX());
        EXPECT_LT(r.maxX(), frameInRoot(*knobs[last + 1]).x);
    };
    under(*buttons[0], 5, 5);
    under(*buttons[1], 6, 7);
    under(*buttons[2], 9, 11);
}

TEST(ControlsStrip, TogglesFlipAsOneTouchReleaseGestureAndShowTheHostsValue) {
    MirroredHost f;
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

    // The curve's SYNC is the delays' own, address 13.
    f.sent.clear();
    f.click(centerInRoot(*strip.delaySyncToggle()));
    EXPECT_EQ(f.sent, (std::vector<Sent>{{13, 1.0f, Event::touch}, {13, 1.0f, Event::release}}));
    // PING is the stereo ping-pong, address 23, and lights as SYNC does.
    const View& ping = *strip.pingPongToggle();
    const Point pingFill{ping.originInRoot().x + 4.0, centerInRoot(ping).y};
    EXPECT_LT(cyanTint(f.snapshot()->colorAt(pingFill)), 0.05);
    f.sent.clear();
    f.click(centerInRoot(ping));
    EXPECT_EQ(f.sent, (std::vector<Sent>{{23, 1.0f, Event::touch}, {23, 1.0f, Event::release}}));
    EXPECT_GT(cyanTint(f.snapshot()->colorAt(pingFill)), 0.1);
}

// A top bar over an empty area, bound to plain variables the test changes.
struct TopBarFixture : WidgetHost {
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
                         [this] { ++presetTaps; }, [this] { ++saveTaps; }, nullptr, nullptr});
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

TEST(TopBar, TheHighlightSlidesToTheModeSetByAClickOrByTheHost) {
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

    // A mode the host switched: the highlight follows, and nothing is called back.
    f.mode = SpectralMode::scatter;
    f.host.advance(20.0);
    f.host.advance(20.0 + kModeHighlightSlideSeconds);
    image = f.snapshot();
    EXPECT_GT(f.tintBeside(SpectralMode::scatter, *image), 0.1);
    EXPECT_LT(f.tintBeside(SpectralMode::freeze, *image), 0.06);
    EXPECT_EQ(f.changes.size(), 2u);
}

// The dirty marker's star: before the chevron and its gap, in the upper half of the line
// (where an ellipsis does not reach).
Rect starArea(const TopBarView& bar) {
    const Rect button = frameInRoot(bar.presetButton());
    const double chevron = measureSymbol("chevron.down", Font{8.0, FontWeight::bold}).width;
    const double star = measureText("*", Font{11.0, FontWeight::medium}).width;
    const double right = button.maxX() - 10.0 - chevron - 4.0;
    return {right - star, button.y + 5.0, star, button.height / 2.0 - 5.0};
}

TEST(TopBar, TheNameTakesTheRoomUpToTheSelectorACutSparesTheDirtyMarkerAndButtonsCallBack) {
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
    // row's spacing stays), on one line, the marker and the save button still there.
    f.name = std::string(300, 'W') + " Wash";
    f.host.advance(4.0);
    const Rect button = frameInRoot(f.bar->presetButton());
    const Rect rightmostSegment = frameInRoot(f.bar->segment(SpectralMode::scatter));
    EXPECT_GE(button.x, rightmostSegment.maxX() + 2.0);
    EXPECT_LE(button.x, rightmostSegment.maxX() + 2.0 + 2.0 * kDefaultSpacing + 1e-6);
    EXPECT_LT(f.bar->presetNameText().frame().width, measureText(f.name, nameFont).width);
    EXPECT_GT(brightest(*f.snapshot(), starArea(*f.bar)), 0.8);
    EXPECT_EQ(f.bar->frame().height, kTopBarHeight);
    const Rect save = frameInRoot(f.bar->saveButton());
    EXPECT_EQ(save.width, 28.0);
    EXPECT_LE(save.maxX(), 900.0 - 16.0 + 1e-9);
    EXPECT_LE(button.maxX(), save.x);

    f.click(centerInRoot(f.bar->presetButton()));
    f.click(centerInRoot(f.bar->saveButton()));
    EXPECT_EQ(f.presetTaps, 1);
    EXPECT_EQ(f.saveTaps, 1);
}

} // namespace
} // namespace zerin
