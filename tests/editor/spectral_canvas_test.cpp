#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(formatReadout(440.0f, HeardAt{540.0f, 80.0f}, shortAxis, 80.0,
                            HeardLevels{-32.4f, -INFINITY}),
              "440 Hz \u00b7 A4 +0 ct | 1/8 dotted | 562 ms | fb 80 % | in \u221232 \u00b7 out "
              "\u2212\u221e dB");
    // A synced delay is named by the notes the range holds: at 30 BPM a half note is 4 s.
    const HeardAt long4s{4000.0f, 100.0f};
    EXPECT_EQ(formatReadout(440.0f, long4s, {CurveKind::delay, 1}, 30.0, std::nullopt),
              "440 Hz \u00b7 A4 +0 ct | 1/2 | 4000 ms | fb 100 %");
    EXPECT_EQ(formatReadout(440.0f, long4s, shortAxis, 30.0, std::nullopt),
              "440 Hz \u00b7 A4 +0 ct | 1/4 | 2000 ms | fb 100 %");
}

} // namespace
} // namespace zerin
