// The editor drawn as a window draws it, only what changed at each frame, against the whole
// editor drawn afresh: every missed change (a view whose look changed without it saying so)
// shows as a pixel that differs.

#include "../audiounit/unit_host.h"
#include "../presets/temp_folder.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/tooltip.h"
#include "platform/ui/view_host.h"
#include "shell/controls_strip_view.h"
#include "shell/in_process_unit_link.h"
#include "shell/main_view.h"
#include "shell/observable_parameter.h"
#include "shell/top_bar_view.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>

namespace zerin {
namespace {

Point centreOf(const View& v) {
    const Point o = v.originInRoot();
    return {o.x + v.frame().width / 2.0, o.y + v.frame().height / 2.0};
}

struct RedrawnEditor {
    test::TempFolder folder;
    double now = 1000.0;
    MainQueue queue{[this] { return now; }};
    test::Host audio{44100.0, 2, {{"sourceSensitivity", 50.0f}}}; // the unit, to hear noise
    std::shared_ptr<ZerinExtensionAudioUnit> unit = audio.unit;
    std::shared_ptr<AUParameterTree> hostTree = unit->parameterTree();
    ObservableAUParameterGroup tree{*hostTree, hostTree, queue};
    InProcessUnitLink link{unit};
    Size size;
    ViewHost host{queue, size};
    ZerinExtensionMainView* view = nullptr;
    OffscreenImage window{size, 1.0};

    explicit RedrawnEditor(Size size = ZerinExtensionMainView::kSize) : size(size) {
        auto made =
            std::make_unique<ZerinExtensionMainView>(tree, &link, PreferenceStore(folder.path));
        view = made.get();
        host.setRoot(std::move(made));
    }

    // Display frames as the window runs them: advance, then draw the damage alone.
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            now += 1.0 / 60.0;
            queue.pump();
            host.advance(now);
            window.drawDamage(host);
        }
    }

    // The number of pixels where the window differs from the editor drawn whole now by more
    // than a rounding. Where the edge of a damaged area cuts a stroke, cairo clips the stroke's
    // outline there, which moves its antialiased edge pixels by up to 9 levels of 255 (seen:
    // a knob's arc cut by the ring of a moving orb, the curve's strokes in a window 1400 points
    // wide); a change the damage missed differs by far more (an orb's edge by some 20 levels,
    // a particle or a slide by most of the range).
    int pixelsDifferingFromAFreshDrawing() {
        OffscreenImage fresh(size, 1.0);
        fresh.draw([&](Graphics& g) { host.draw(g); });
        constexpr double kRounding = 10.5 / 255.0;
        int differing = 0;
        for (int y = 0; y < window.pixelHeight(); ++y)
            for (int x = 0; x < window.pixelWidth(); ++x) {
                const Point at{x + 0.5, y + 0.5};
                const Color a = window.colorAt(at), b = fresh.colorAt(at);
                if (std::abs(a.red - b.red) > kRounding ||
                    std::abs(a.green - b.green) > kRounding ||
                    std::abs(a.blue - b.blue) > kRounding ||
                    std::abs(a.alpha - b.alpha) > kRounding)
                    ++differing;
            }
        return differing;
    }
};

// Frames, hover, drags, host changes, the plot's readout, bands and the browser, each checked
// against a fresh drawing.
void exercise(RedrawnEditor& editor) {
    editor.frames(3);
    const auto expectSame = [&](const char* step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(editor.pixelsDifferingFromAFreshDrawing(), 0);
    };
    expectSame("first frames");
    // Frame by frame: the particles move at every one, the orbs at every other.
    for (int i = 0; i < 3; ++i) {
        editor.frames(1);
        expectSame("one more frame");
    }

    // Hover over a knob, then press and drag it.
    RotaryKnobView& knob = *editor.view->controlsStrip().knobs().front();
    const Point onKnob = centreOf(knob);
    editor.host.pointerMoved(onKnob, {});
    editor.frames(2);
    expectSame("knob hovered");
    editor.frames(static_cast<int>(kTooltipDelay * 60.0) + 2);
    ASSERT_NE(editor.host.tooltip(), nullptr);
    expectSame("tooltip shown");
    editor.host.pointerDown(onKnob, {});
    editor.host.pointerMoved({onKnob.x, onKnob.y - 40.0}, {});
    editor.frames(2);
    editor.host.pointerUp({onKnob.x, onKnob.y - 40.0}, {});
    editor.frames(2);
    expectSame("knob dragged");

    // The host moves a parameter and the mode; the highlight slides to the new mode.
    editor.hostTree->parameterWithIdentifier("feedback")->setValue(80.0f);
    editor.hostTree->parameterWithIdentifier("mode")->setValue(2.0f);
    editor.frames(5);
    expectSame("mid-slide");
    editor.frames(30);
    expectSame("slide landed");

    // A point dragged across the canvas, and the pointer gone from the window.
    const Point o = editor.view->canvas().originInRoot();
    const Point p = screenPoint(1000.0f, 500.0f, editor.view->canvas().size);
    editor.host.pointerDown({o.x + p.x, o.y + p.y}, {});
    editor.host.pointerMoved({o.x + p.x + 30.0, o.y + p.y + 20.0}, {});
    editor.frames(2);
    editor.host.pointerUp({o.x + p.x + 30.0, o.y + p.y + 20.0}, {});
    editor.host.pointerLeft();
    editor.frames(2);
    expectSame("curve edited");

    // A stereo spread: the sides' lines and their labels replace the heard line; listening to
    // what Source spares lights its choice.
    editor.hostTree->parameterWithIdentifier("stereoSpread")->setValue(60.0f);
    editor.hostTree->parameterWithIdentifier("listen")->setValue(2.0f);
    editor.frames(2);
    expectSame("sides drawn");
    editor.frames(30);
    expectSame("listen slide landed");

    // The readout follows the pointer over the plot, and goes when it leaves.
    for (double dx : {0.0, 40.0, 80.0}) {
        editor.host.pointerMoved({o.x + p.x + dx, o.y + p.y - 60.0}, {});
        editor.frames(1);
        expectSame("hovering the plot");
    }
    editor.host.pointerLeft();
    editor.frames(1);
    expectSame("hover left");

    // The point menu opened on a right click, then cancelled; the point touched, and the
    // frequency axis zoomed in, panned along its labels and shown whole again.
    const Point onPoint{o.x + p.x + 30.0, o.y + p.y + 20.0};
    editor.host.pointerDown(onPoint, {}, PointerButton::right);
    editor.host.pointerUp(onPoint, {}, PointerButton::right);
    editor.frames(2);
    expectSame("point menu open");
    editor.host.keyDown({Key::escape, "", 0, {}});
    editor.frames(2);
    expectSame("point menu closed");
    editor.host.context().modifiers().update({.control = true});
    editor.host.scrollWheel(-3.0, {o.x + p.x, o.y + p.y - 60.0});
    editor.host.context().modifiers().update({});
    editor.frames(2);
    expectSame("zoomed");
    const SpectralCanvasView& canvas = editor.view->canvas();
    const Point row{o.x + 400.0, o.y + canvas.size.height - 8.0};
    editor.host.pointerDown(row, {});
    editor.host.pointerMoved({row.x + 60.0, row.y}, {});
    editor.frames(1);
    expectSame("panning");
    editor.host.pointerUp({row.x + 60.0, row.y}, {});
    editor.now += 1.0;
    editor.host.pointerDown(row, {});
    editor.host.pointerUp(row, {});
    editor.host.pointerDown(row, {});
    editor.host.pointerUp(row, {});
    editor.frames(2);
    ASSERT_TRUE(editor.view->session().frequencyView().isFull());
    expectSame("whole axis again");

    // Bands arrive from the unit, then go stale when it hears nothing more.
    // Frame by frame: the orbs' moves redraw everything ten times a second and would hide a
    // missed change for a while.
    editor.audio.run(test::noise(2, 4096, 3u));
    for (int i = 0; i < 8; ++i) {
        editor.frames(1);
        expectSame("bands arriving");
    }
    ASSERT_TRUE(editor.view->canvas().inputs.classification);
    editor.frames(40);
    ASSERT_FALSE(editor.view->canvas().inputs.classification);
    expectSame("bands gone");

    // The preset browser opened and closed.
    editor.view->setShowPresetBrowser(true);
    editor.frames(2);
    expectSame("browser open");
    editor.view->setShowPresetBrowser(false);
    editor.frames(2);
    expectSame("browser closed");
}

TEST(Redraw, DrawingOnlyTheDamageShowsWhatDrawingEverythingShows) {
    RedrawnEditor editor;
    exercise(editor);
}

TEST(Redraw, ALargerWindowDrawsOnlyTheDamageAsFaithfully) {
    RedrawnEditor editor({1400.0, 850.0});
    exercise(editor);
}

} // namespace
} // namespace zerin
