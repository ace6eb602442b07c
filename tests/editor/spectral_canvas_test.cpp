#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace zerin {
namespace {

constexpr Size kCanvas{554.0,
                       262.0}; // plot 500 x 200 from y = 34; the delete band is below y = 242

using Curve = std::vector<CurveControlPoint>;
using Values = std::vector<std::pair<float, float>>; // (Hz, ms)

// A pointer event where a curve value sits on the canvas, nudged by (dx, dy) points. 2000 ms is
// the plot's bottom edge, y = 234: 7 points below it is above the delete band, 9 within it.
struct Event {
    char kind; // 'd' drag update, 'r' release, 't' double click, 's' sweep right to 540,
               // 'n' a preset load: the same values under new ids
    float freq = 0.0f, delay = 0.0f;
    double dx = 0.0, dy = 0.0;
};

struct Gesture {
    const char* what;
    Values before;
    std::vector<Event> events;
    Values after;
    int changes; // reports to the owner
    bool option = false;
};

class SpectralCanvas : public ::testing::Test {
protected:
    KeyboardModifierState modifiers;
    Curve curve;
    int changes = 0;
    int writes = 0; // since the last pointer event
    SpectralCanvasView canvas{modifiers, std::make_shared<ParticleSystem>(RandomSource(3))};

    void SetUp() override {
        canvas.size = kCanvas;
        // Whoever listens to the curve sees each edit whole: one write per pointer event,
        // sorted by frequency as the unit holds it.
        canvas.inputs.curvePoints = {[this] { return curve; },
                                     [this](Curve written) {
                                         EXPECT_EQ(written, sortedByFrequency(written));
                                         curve = std::move(written);
                                         ++writes;
                                     }};
        canvas.inputs.onCurveChanged = [this] { ++changes; };
    }
    void setCurve(const Values& values) {
        curve.clear();
        for (const auto& [freq, delay] : values)
            curve.push_back({Uuid::random(), freq, delay});
    }
};

TEST_F(SpectralCanvas, GesturesEditTheCurve) {
    const Values five{{20, 200}, {200, 600}, {1000, 400}, {5000, 800}, {20000, 100}};
    const Values three{{100, 500}, {1000, 1000}, {10000, 500}};
    const Values two{{100, 500}, {10000, 500}};
    // clang-format off
    const std::vector<Gesture> gestures{
        {"a press on empty space adds a point and drags it, kept in frequency order", five,
         {{'d', 2700, 1000}, {'d', 3000, 1200}, {'r', 3000, 1200}},
         {{20, 200}, {200, 600}, {1000, 400}, {3000, 1200}, {5000, 800}, {20000, 100}}, 2},
        {"a press 13.8 points from a point picks it up", three,
         {{'d', 1000, 1000, 9.5, -10.0}, {'d', 1000, 1000}, {'r', 1000, 1000}}, three, 2},
        {"a press 14 points from a point adds one", three,
         {{'d', 10000, 500, 14.0}, {'r', 10000, 500, 14.0}},
         {{100, 500}, {1000, 1000}, {10000, 500}, {12133.89f, 500}}, 1},
        {"a dragged point stops 1 Hz short of each neighbour", five,
         {{'d', 1000, 400}, {'d', 9000, 700}, {'d', 60, 700}, {'r', 60, 700}},
         {{20, 200}, {200, 600}, {201, 700}, {5000, 800}, {20000, 100}}, 3},
        {"between neighbours under 2 Hz apart the upper bound wins",
         {{100, 500}, {100.5f, 1000}, {101, 1500}, {10000, 500}},
         {{'d', 100.5f, 1000}, {'d', 3000, 1000}, {'r', 3000, 1000}},
         {{100, 500}, {100, 1000}, {101, 1500}, {10000, 500}}, 2},
        {"a neighbour near an end of the axis cannot push a point off it",
         {{20, 500}, {20.5f, 900}, {19999.5f, 900}, {20000, 500}},
         {{'d', 20, 500}, {'d', 20, 500, -60.0}, {'r', 20, 500, -60.0},
          {'d', 20000, 500}, {'d', 20000, 500, 60.0}, {'r', 20000, 500, 60.0}},
         {{20, 500}, {20.5f, 900}, {19999.5f, 900}, {20000, 500}}, 4},
        {"releasing in the delete band deletes", three,
         {{'d', 1000, 1000}, {'d', 1000, 2000, 0.0, 9.0}, {'r', 1000, 2000, 0.0, 9.0}}, two, 3},
        {"leaving the band before the release keeps the point", three,
         {{'d', 1000, 1000}, {'d', 1000, 2000, 0.0, 9.0}, {'d', 1000, 2000, 0.0, 7.0}, {'r', 1000, 2000, 0.0, 7.0}},
         {{100, 500}, {1000, 2000}, {10000, 500}}, 3},
        {"with two points left the band only drags", two,
         {{'d', 10000, 500}, {'d', 10000, 2000, 0.0, 9.0}, {'r', 10000, 2000, 0.0, 9.0}}, {{100, 500}, {10000, 2000}}, 2},
        {"a double click deletes the point under it", three, {{'t', 300, 1500}, {'t', 1000, 1000}}, two, 1},
        {"but never one of the last two", two, {{'t', 100, 500}}, two, 0},
        {"a preset load mid-drag ends the drag quietly", three,
         {{'d', 1000, 1000}, {'n'}, {'d', 300, 1500}, {'r', 300, 1500}}, three, 1},
        {"an option drag deletes what it crosses until two are left, then drags",
         {{50, 1000}, {200, 1000}, {1000, 1000}, {3000, 1000}, {12000, 1000}},
         {{'s', 20, 1000}, {'r', 20000, 1000}}, {{11999, 1000}, {12000, 1000}}, -1, true},
    };
    // clang-format on
    for (const Gesture& gesture : gestures) {
        SCOPED_TRACE(gesture.what);
        setCurve(gesture.before);
        changes = 0;
        modifiers.update({.option = gesture.option});
        for (const Event& e : gesture.events) {
            const Point p = screenPoint(e.freq, e.delay, kCanvas);
            const Point at{p.x + e.dx, p.y + e.dy};
            writes = 0;
            if (e.kind == 'd') canvas.handleDragChanged(at);
            if (e.kind == 'r') canvas.handleDragEnded(at);
            if (e.kind == 't') canvas.handleDoubleTap(at);
            if (e.kind == 'n') setCurve(gesture.before);
            EXPECT_LE(writes, 1);
            for (double x = at.x; e.kind == 's' && x <= 540.0; x += 1.0) {
                writes = 0;
                canvas.handleDragChanged({x, at.y});
                EXPECT_LE(writes, 1);
            }
        }
        EXPECT_FALSE(canvas.state().activePointID || canvas.state().tooltipText ||
                     canvas.state().deleteCandidate);
        EXPECT_TRUE(gesture.changes < 0 || changes == gesture.changes) << changes;
        ASSERT_EQ(curve.size(), gesture.after.size());
        for (std::size_t i = 0; i < curve.size(); ++i) {
            EXPECT_NEAR(curve[i].freq, gesture.after[i].first, gesture.after[i].first * 1e-5);
            EXPECT_NEAR(curve[i].value, gesture.after[i].second, 0.01);
        }
    }
}

TEST_F(SpectralCanvas, ADraggedPointKeepsItsIdWhileTheTooltipFollowsAndWarnsOfADelete) {
    for (const bool lastTwo : {false, true}) {
        setCurve(lastTwo ? Values{{100, 500}, {10000, 500}}
                         : Values{{100, 500}, {1000, 1000}, {10000, 500}});
        const Uuid id = curve[1].id;
        canvas.handleDragChanged(screenPoint(curve[1], kCanvas));
        canvas.handleDragChanged({300.0, 100.0});
        EXPECT_EQ(curve[1].id, id);
        EXPECT_EQ(canvas.state().tooltipText, formatTooltip(curve[1].freq, curve[1].value));
        EXPECT_EQ(canvas.state().tooltipPosition, (Point{300.0, 100.0}));
        canvas.handleDragChanged({300.0, 243.0});
        EXPECT_EQ(canvas.state().deleteCandidate, !lastTwo);
        EXPECT_EQ(canvas.state().tooltipText,
                  lastTwo ? formatTooltip(curve[1].freq, 2000.0f) : "Release to delete");
        canvas.handleDragEnded({300.0, 100.0});
    }
    // Kilohertz from 1000 Hz by the number, not by the rounded text.
    EXPECT_EQ(formatTooltip(999.6f, 12.4f), "1000 Hz | 12 ms");
    EXPECT_EQ(formatTooltip(12345.0f, 2000.0f), "12.3k Hz | 2000 ms");
    // Feedback in percent; a synced delay as the note it is heard as, and that note's length.
    EXPECT_EQ(formatTooltip(440.0f, 80.4f, CurveKind::feedback), "440 Hz | 80 %");
    EXPECT_EQ(formatCurveValue(540.0f, CurveKind::delay, 80.0), "1/8 dotted | 562 ms");
    EXPECT_EQ(formatCurveValue(170.0f, CurveKind::delay, 120.0), "1/8 triplet | 166 ms");
    EXPECT_EQ(formatCurveValue(1990.0f, CurveKind::delay, 60.0), "1/2 | 2000 ms");
    EXPECT_EQ(formatCurveValue(1990.0f, CurveKind::delay, 0.0), "1990 ms");
}

// The hover readout names the nearest note (A4 = 440 Hz, middle C = C4) and the cents to it,
// a real minus sign below; what is not known is left out.
TEST(HoverReadout, NamesTheNoteAndCentsAndWhatPlays) {
    EXPECT_EQ(formatFrequencyNote(440.0f), "440 Hz \u00b7 A4 +0 ct");
    EXPECT_EQ(formatFrequencyNote(1000.0f), "1.00 kHz \u00b7 B5 +21 ct");
    EXPECT_EQ(formatFrequencyNote(430.0f), "430 Hz \u00b7 A4 \u221240 ct");
    EXPECT_EQ(formatFrequencyNote(20.0f), "20 Hz \u00b7 D#0 +49 ct");
    EXPECT_EQ(formatFrequencyNote(8.0f), "8 Hz \u00b7 C-1 \u221238 ct"); // MIDI note 0
    EXPECT_EQ(formatFrequencyNote(0.0f), "-");
    const CurveAxis shortAxis{CurveKind::delay, 0};
    EXPECT_EQ(formatReadout(1000.0f, std::nullopt, shortAxis, 0.0, std::nullopt),
              formatFrequencyNote(1000.0f));
    EXPECT_EQ(formatReadout(440.0f, HeardAt{540.0f, 80.0f, std::nullopt}, shortAxis, 80.0,
                            HeardLevels{-32.4f, -INFINITY}),
              "440 Hz \u00b7 A4 +0 ct | 1/8 dotted | 562 ms | fb 80 % | in \u221232 \u00b7 out "
              "\u2212\u221e dB");
    // A synced delay is named by the notes the range holds: at 30 BPM a half note is 4 s.
    const HeardAt long4s{4000.0f, 100.0f, std::nullopt};
    EXPECT_EQ(formatReadout(440.0f, long4s, {CurveKind::delay, 1}, 30.0, std::nullopt),
              "440 Hz \u00b7 A4 +0 ct | 1/2 | 4000 ms | fb 100 %");
    EXPECT_EQ(formatReadout(440.0f, long4s, shortAxis, 30.0, std::nullopt),
              "440 Hz \u00b7 A4 +0 ct | 1/4 | 2000 ms | fb 100 %");
    // Under a spread, each side's delay, in ms even when synced: a side lies off the notes.
    EXPECT_EQ(formatReadout(440.0f, HeardAt{400.0f, 80.0f, std::pair{200.0f, 600.0f}}, shortAxis,
                            120.0, std::nullopt),
              "440 Hz \u00b7 A4 +0 ct | L 200 ms \u00b7 R 600 ms | fb 80 %");
}

// --- the zoomed frequency axis ---

::testing::AssertionResult withinLimits(const FrequencyView& v) {
    if (v.lowHz >= 20.0f && v.highHz <= 20000.0f && v.octaves() >= 1.0 - 1e-4 && v.highHz > v.lowHz)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << v.lowHz << " .. " << v.highHz << " Hz";
}

// At least an octave, never past either end of the axis; the anchor of a zoom stays where it
// was across the plot; the whole axis is exactly 20 Hz to 20 kHz.
TEST(FrequencyView, ZoomsAboutAnAnchorAndPansWithinTheLimits) {
    const FrequencyView whole;
    EXPECT_TRUE(whole.isFull());
    EXPECT_EQ(whole.logLow(), ZerinCurveConstants::logMinFreq());
    EXPECT_EQ(whole.logRange(), ZerinCurveConstants::logFreqRange());
    EXPECT_EQ(limitedFrequencyView({1.0f, 1e6f}), whole);
    EXPECT_EQ(limitedFrequencyView({NAN, 100.0f}), whole);
    EXPECT_EQ(limitedFrequencyView({500.0f, 100.0f}), whole);
    const FrequencyView narrow = limitedFrequencyView({1000.0f, 1100.0f});
    EXPECT_NEAR(narrow.octaves(), 1.0, 1e-5);
    EXPECT_NEAR(std::sqrt(narrow.lowHz * narrow.highHz), std::sqrt(1000.0 * 1100.0), 0.01);
    EXPECT_EQ(limitedFrequencyView({20000.0f * 0.9f, 20000.0f}).highHz, 20000.0f);
    EXPECT_NEAR(limitedFrequencyView({20000.0f * 0.9f, 20000.0f}).lowHz, 10000.0f, 0.01f);

    // In by ten notches about 440 Hz: 440 Hz stays where it was across the plot.
    const auto share = [](const FrequencyView& v, float hz) {
        return (std::log10(hz) - v.logLow()) / v.logRange();
    };
    FrequencyView v = whole;
    const float before = share(v, 440.0f);
    for (int i = 0; i < 10; ++i) {
        v = zoomedFrequencyView(v, 440.0f, 1.0 / 1.25);
        ASSERT_TRUE(withinLimits(v));
        EXPECT_NEAR(share(v, 440.0f), before, 1e-4);
    }
    for (int i = 0; i < 40; ++i)
        v = zoomedFrequencyView(v, 440.0f, 1.0 / 1.25);
    EXPECT_NEAR(v.octaves(), 1.0, 1e-4);
    // Panned far down and far up: against the ends, as wide as it was.
    EXPECT_EQ(pannedFrequencyView(v, -20.0).lowHz, 20.0f);
    EXPECT_NEAR(pannedFrequencyView(v, -20.0).highHz, 40.0f, 1e-3f);
    EXPECT_EQ(pannedFrequencyView(v, 20.0).highHz, 20000.0f);
    // Out past the whole axis, about a frequency near an end: the whole axis, exactly.
    for (int i = 0; i < 60; ++i)
        v = zoomedFrequencyView(v, 19000.0f, 1.25);
    EXPECT_EQ(v, whole);
}

// Under a zoom every mapping is the view's: a point is drawn, hit and dragged where its
// frequency lies on the zoomed axis, and lands at the frequency under the pointer.
TEST_F(SpectralCanvas, UnderAZoomAPointIsHitAndDraggedWhereItIsDrawn) {
    const FrequencyView view{200.0f, 800.0f};
    canvas.inputs.frequencyView = view;
    setCurve({{100, 500}, {400, 1000}, {10000, 500}});
    const Rect plot = plotRect(kCanvas);
    const Point at = screenPoint(curve[1], kCanvas, {}, view);
    // 400 Hz is the middle of 200..800 Hz on the log axis.
    EXPECT_NEAR(at.x, plot.x + plot.width / 2.0, 1e-3);
    EXPECT_EQ(hitTest(curve, at, kCanvas, {}, view), 1u);
    EXPECT_FALSE(hitTest(curve, at, kCanvas)) << "unzoomed, 400 Hz lies elsewhere";
    // 100 Hz and 10 kHz lie beside the plot: not drawn, not hit, even at their places.
    EXPECT_FALSE(hitTest(curve, screenPoint(curve[0], kCanvas, {}, view), kCanvas, {}, view));

    const Uuid id = curve[1].id;
    const Point to{plot.x + plot.width * 0.8, at.y + 30.0};
    canvas.handleDragChanged(at);
    canvas.handleDragChanged(to);
    canvas.handleDragEnded(to);
    ASSERT_EQ(curve.size(), 3u);
    EXPECT_EQ(curve[1].id, id);
    const float expected = std::pow(10.0f, std::log10(200.0f) + 0.8f * std::log10(4.0f));
    EXPECT_NEAR(curve[1].freq, expected, expected * 1e-4);
    EXPECT_NEAR(curve[1].freq, frequencyAt(to.x, plot, view), 1e-3);
    EXPECT_NEAR(screenPoint(curve[1], kCanvas, {}, view).x, to.x, 1e-3);
    EXPECT_NEAR(screenPoint(curve[1], kCanvas, {}, view).y, to.y, 1e-3);
    // A press on empty plot adds a point at the frequency under it.
    canvas.handleDragChanged({plot.x + plot.width * 0.25, 120.0});
    canvas.handleDragEnded({plot.x + plot.width * 0.25, 120.0});
    ASSERT_EQ(curve.size(), 4u);
    EXPECT_NEAR(curve[1].freq, std::pow(10.0f, std::log10(200.0f) + 0.25f * std::log10(4.0f)),
                0.05f);
    // Dragged past the plot's edge, a point stops at the edge of what is shown.
    canvas.handleDragChanged(screenPoint(curve[1], kCanvas, {}, view));
    canvas.handleDragChanged({plot.x - 40.0, 120.0});
    canvas.handleDragEnded({plot.x - 40.0, 120.0});
    EXPECT_NEAR(curve[1].freq, 200.0f, 1e-3f);
}

// Ctrl and the wheel zoom about the pointer's frequency; Shift and the wheel pan; a drag along
// the frequency labels pans; a double click there, or the reset button, shows the whole axis.
// The owner hears every new view; the wheel alone is not the canvas's.
TEST_F(SpectralCanvas, TheWheelZoomsAndPansAndTheAxisRowDragsAndResets) {
    std::vector<FrequencyView> heard;
    canvas.inputs.onFrequencyViewChanged = [&](FrequencyView v) { heard.push_back(v); };
    setCurve({{100, 500}, {10000, 500}});
    const Rect plot = plotRect(kCanvas);
    const Point over{plot.x + plot.width * 0.3, 100.0};
    const float under = frequencyAt(over.x, plot);
    EXPECT_FALSE(canvas.scrollWheel(-1.0, over));
    EXPECT_TRUE(heard.empty());

    modifiers.update({.control = true});
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(canvas.scrollWheel(-1.0, over));
    ASSERT_EQ(heard.size(), 6u);
    FrequencyView v = canvas.inputs.frequencyView;
    EXPECT_EQ(heard.back(), v);
    EXPECT_NEAR(v.octaves(), std::log2(1000.0) / std::pow(1.25, 6), 1e-3);
    EXPECT_NEAR(frequencyAt(over.x, plot, v), under, under * 1e-3);
    EXPECT_TRUE(canvas.resetZoomBox());
    // Ever further in: an octave at the least.
    for (int i = 0; i < 30; ++i)
        canvas.scrollWheel(-1.0, over);
    EXPECT_NEAR(canvas.inputs.frequencyView.octaves(), 1.0, 1e-4);
    EXPECT_TRUE(withinLimits(canvas.inputs.frequencyView));

    modifiers.update({.shift = true});
    v = canvas.inputs.frequencyView;
    canvas.scrollWheel(1.0, over); // a tenth of the view up
    EXPECT_NEAR(canvas.inputs.frequencyView.lowHz, v.lowHz * std::exp2(0.1), 0.01);
    modifiers.update({});

    // A drag along the labels: the frequency under the press stays under the pointer.
    const double row = kCanvas.height - 8.0;
    ASSERT_TRUE(canvas.isOnFrequencyAxis({over.x, row}));
    ASSERT_FALSE(canvas.isOnFrequencyAxis({over.x, plot.maxY() - 1.0}));
    v = canvas.inputs.frequencyView;
    const float grabbed = frequencyAt(over.x, plot, v);
    canvas.pointerDown({{over.x, row}});
    canvas.pointerDragged({{over.x + 100.0, row}});
    canvas.pointerUp({{over.x + 100.0, row}});
    EXPECT_NEAR(frequencyAt(over.x + 100.0, plot, canvas.inputs.frequencyView), grabbed,
                grabbed * 1e-3);
    EXPECT_EQ(curve.size(), 2u) << "the axis row adds no point";
    // Dragged far: against the low end.
    canvas.pointerDown({{over.x, row}});
    canvas.pointerDragged({{over.x + 5000.0, row}});
    canvas.pointerUp({{over.x + 5000.0, row}});
    EXPECT_EQ(canvas.inputs.frequencyView.lowHz, 20.0f);
    EXPECT_TRUE(withinLimits(canvas.inputs.frequencyView));

    // A double click on the row: the whole axis.
    canvas.pointerDown({{over.x, row}});
    canvas.pointerUp({{over.x, row}});
    canvas.pointerDown({{over.x, row}, 2});
    canvas.pointerUp({{over.x, row}, 2});
    EXPECT_EQ(canvas.inputs.frequencyView, FrequencyView{});
    EXPECT_FALSE(canvas.resetZoomBox());
    EXPECT_EQ(heard.back(), FrequencyView{});
    EXPECT_EQ(curve.size(), 2u);

    // Zoomed again, the reset button shows the whole axis too.
    canvas.setFrequencyView({1000.0f, 4000.0f});
    const std::optional<Rect> reset = canvas.resetZoomBox();
    ASSERT_TRUE(reset);
    canvas.pointerDown({{reset->x + reset->width / 2.0, reset->y + reset->height / 2.0}});
    canvas.pointerUp({{reset->x + reset->width / 2.0, reset->y + reset->height / 2.0}});
    EXPECT_EQ(canvas.inputs.frequencyView, FrequencyView{});
    EXPECT_EQ(curve.size(), 2u);
}

// A right click on a point touches it and asks the owner for its menu; elsewhere it does
// nothing. The menu's edits and Delete are the canvas's: each one report, clamped, never below
// two points; Delete takes the point last touched.
TEST_F(SpectralCanvas, RightClicksOpenAPointsMenuAndItsEditsAreReportedOnce) {
    std::vector<std::pair<Uuid, Point>> asked;
    canvas.inputs.onPointMenu = [&](const Uuid& id, Point at) { asked.emplace_back(id, at); };
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}});
    const Point at = screenPoint(curve[1], kCanvas);
    canvas.pointerDown({at, 1, {}, PointerButton::right});
    canvas.pointerDragged({{at.x + 40.0, at.y}, 1, {}, PointerButton::right});
    canvas.pointerUp({{at.x + 40.0, at.y}, 1, {}, PointerButton::right});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, curve[1].id);
    EXPECT_EQ(asked[0].second, at);
    EXPECT_EQ(canvas.state().touchedPointID, curve[1].id);
    EXPECT_EQ(curve[1].freq, 1000.0f) << "a right drag moves nothing";
    canvas.pointerDown({{300.0, 60.0}, 1, {}, PointerButton::right});
    canvas.pointerUp({{300.0, 60.0}, 1, {}, PointerButton::right});
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(curve.size(), 3u);
    EXPECT_EQ(changes, 0);

    // Set: clamped to the axes, the curve kept in frequency order.
    const Uuid id = curve[1].id;
    EXPECT_TRUE(canvas.setPoint(id, 50000.0f, -3.0f));
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(curve.size(), 3u);
    EXPECT_EQ(curve[2].id, id);
    EXPECT_EQ(curve[2].freq, 20000.0f);
    EXPECT_EQ(curve[2].value, 0.0f);
    EXPECT_TRUE(canvas.setPoint(id, 440.0f, std::nullopt));
    EXPECT_EQ(curve[1].id, id);
    EXPECT_EQ(curve[1].freq, 440.0f);
    EXPECT_EQ(curve[1].value, 0.0f);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(canvas.setPoint(id, 440.0f, std::nullopt)); // nothing new: nothing reported
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(canvas.setPoint(Uuid::random(), 440.0f, 100.0f));

    // Delete takes the point last touched, by a press, a drag or a right click.
    canvas.handleDragChanged(screenPoint(curve[0], kCanvas));
    canvas.handleDragEnded(screenPoint(curve[0], kCanvas));
    const Uuid first = curve[0].id;
    EXPECT_EQ(canvas.state().touchedPointID, first);
    EXPECT_TRUE(canvas.deleteTouchedPoint());
    ASSERT_EQ(curve.size(), 2u);
    EXPECT_NE(curve[0].id, first);
    EXPECT_FALSE(canvas.state().touchedPointID);
    EXPECT_FALSE(canvas.deleteTouchedPoint());
    // Never one of the last two.
    canvas.handleDragChanged(screenPoint(curve[0], kCanvas));
    canvas.handleDragEnded(screenPoint(curve[0], kCanvas));
    EXPECT_FALSE(canvas.deleteTouchedPoint());
    EXPECT_FALSE(canvas.deletePoint(curve[1].id));
    EXPECT_EQ(curve.size(), 2u);
}

// What the point menu's fields take: what the canvas shows, and the usual ways to write it.
TEST(TypedValues, FrequenciesDelaysNotesAndPercentsAreReadAndClamped) {
    EXPECT_EQ(parseFrequency("440"), 440.0f);
    EXPECT_EQ(parseFrequency(" 440 Hz "), 440.0f);
    EXPECT_EQ(parseFrequency("1.5k"), 1500.0f);
    EXPECT_EQ(parseFrequency("1,5 kHz"), 1500.0f);
    EXPECT_EQ(parseFrequency("12.3k Hz"), 12300.0f); // the tooltip's
    EXPECT_EQ(parseFrequency(formatFrequencyField(1250.0f)), 1250.0f);
    EXPECT_EQ(formatFrequencyField(1250.0f), "1.25 kHz");
    EXPECT_EQ(formatFrequencyField(61.73f), "61.7 Hz");
    EXPECT_NEAR(*parseFrequency("A4"), 440.0f, 1e-3f);
    EXPECT_NEAR(*parseFrequency("c#3"), 138.59f, 0.01f);
    EXPECT_NEAR(*parseFrequency("Eb2"), 77.78f, 0.01f);
    EXPECT_EQ(parseFrequency("5"), 20.0f);
    EXPECT_EQ(parseFrequency("99k"), 20000.0f);
    EXPECT_FALSE(parseFrequency(""));
    EXPECT_FALSE(parseFrequency("loud"));
    EXPECT_FALSE(parseFrequency("440 ms"));

    const CurveAxis delay{CurveKind::delay, 0};
    EXPECT_EQ(parseCurveValue("250", delay), 250.0f);
    EXPECT_EQ(parseCurveValue("250 ms", delay), 250.0f);
    EXPECT_EQ(parseCurveValue("1.5 s", delay), 1500.0f);
    EXPECT_EQ(parseCurveValue("9s", delay), 2000.0f);
    EXPECT_EQ(parseCurveValue("9s", {CurveKind::delay, 1}), 9000.0f);
    EXPECT_EQ(parseCurveValue("-4", delay), 0.0f);
    EXPECT_FALSE(parseCurveValue("1/8", delay)) << "no tempo, no note";
    EXPECT_FALSE(parseCurveValue("250 Hz", delay));
    // Synced at 120 BPM: a beat is 500 ms.
    EXPECT_EQ(parseCurveValue("1/8", delay, 120.0), 250.0f);
    EXPECT_EQ(parseCurveValue("1/8 dotted", delay, 120.0), 375.0f);
    EXPECT_EQ(parseCurveValue("1/8d", delay, 120.0), 375.0f);
    EXPECT_NEAR(*parseCurveValue("1/4 triplet", delay, 120.0), 333.33f, 0.01f);
    EXPECT_EQ(parseCurveValue("250 ms", delay, 120.0), 250.0f);
    EXPECT_EQ(parseCurveValue("2/1", delay, 120.0), 2000.0f);
    // What the canvas shows for a synced delay reads back as that note.
    EXPECT_EQ(formatCurveValueField(540.0f, delay, 80.0), "1/8 dotted");
    EXPECT_EQ(parseCurveValue(formatCurveValueField(540.0f, delay, 80.0), delay, 80.0), 562.5f);
    EXPECT_EQ(parseCurveValue(formatCurveValue(540.0f, delay, 80.0), delay, 80.0), 562.5f);
    EXPECT_EQ(formatCurveValueField(250.4f, delay), "250 ms");

    const CurveAxis feedback{CurveKind::feedback};
    EXPECT_EQ(parseCurveValue("80", feedback), 80.0f);
    EXPECT_EQ(parseCurveValue("80 %", feedback), 80.0f);
    EXPECT_EQ(parseCurveValue("180%", feedback), 100.0f);
    EXPECT_EQ(formatCurveValueField(80.0f, feedback), "80 %");
    EXPECT_FALSE(parseCurveValue("80 ms", feedback));
}

} // namespace
} // namespace zerin
