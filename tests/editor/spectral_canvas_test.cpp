#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>
#include <utility>
#include <vector>

namespace zerin {
namespace {

constexpr Size kCanvas{554.0, 238.0}; // plot 500 x 200; delete band below y = 218

using Curve = std::vector<CurveControlPoint>;

class SpectralCanvas : public ::testing::Test {
protected:
    KeyboardModifierState modifiers;
    Curve curve;
    std::vector<Curve> writes;
    int changes = 0;
    SpectralCanvasView canvas{modifiers, std::make_shared<ParticleSystem>(RandomSource(3))};

    void SetUp() override {
        canvas.size = kCanvas;
        canvas.inputs.curvePoints = {[this] { return curve; },
                                     [this](Curve c) {
                                         curve = c;
                                         writes.push_back(std::move(c));
                                     }};
        canvas.inputs.onCurveChanged = [this] { ++changes; };
    }
    void setCurve(std::vector<std::pair<float, float>> values) {
        curve.clear();
        for (const auto& [freq, delay] : values)
            curve.push_back({Uuid::random(), freq, delay});
    }
    Point at(std::size_t index) const { return screenPoint(curve[index], kCanvas); }
    bool has(const Uuid& id) const {
        return std::any_of(curve.begin(), curve.end(), [&](const auto& p) { return p.id == id; });
    }
    void drag(Point from, Point to) {
        canvas.handleDragChanged(from);
        canvas.handleDragChanged(to);
        canvas.handleDragEnded(to);
    }
    void expectIdle() const {
        EXPECT_FALSE(canvas.state().activePointID.has_value());
        EXPECT_FALSE(canvas.state().tooltipText.has_value());
        EXPECT_FALSE(canvas.state().deleteCandidate);
    }
};

TEST_F(SpectralCanvas, PressAndReleaseOnEmptySpaceAddsOnePointThere) {
    setCurve({{20, 200}, {200, 600}, {1000, 400}, {5000, 800}, {20000, 100}});
    const Point press{400.0, 150.0};
    const CurvePoint value = curveValueAt(press, kCanvas);
    canvas.handleDragChanged(press);
    const Uuid added = *canvas.state().activePointID;
    EXPECT_EQ(writes[0].back().id, added); // appended, then the list sorted
    EXPECT_EQ(writes[1][3].id, added);     // 2.7 kHz
    EXPECT_EQ(curve[3].freq, value.freq);
    EXPECT_EQ(curve[3].delay, value.delay);
    EXPECT_EQ(canvas.state().tooltipText, formatTooltip(value.freq, value.delay));
    EXPECT_EQ(canvas.state().tooltipPosition, press);

    canvas.handleDragEnded(press);
    EXPECT_EQ(curve.size(), 6u);
    EXPECT_EQ(changes, 1);
    expectIdle();
}

TEST_F(SpectralCanvas, PressNearAPointPicksItUpAndMovesItThere) {
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}});
    const Point press{at(1).x + 9.0, at(1).y - 9.0}; // 12.7 points away
    canvas.handleDragChanged(press);
    EXPECT_EQ(canvas.state().activePointID, curve[1].id);
    const CurvePoint value = curveValueAt(press, kCanvas);
    EXPECT_EQ(changes, 1);
    // A move is two writes: the frequency first, then the delay.
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0][1].freq, value.freq);
    EXPECT_EQ(writes[0][1].delay, 1000.0f);
    EXPECT_EQ(writes[1][1].delay, value.delay);

    canvas.handleDragEnded(press);
    canvas.handleDragChanged({at(2).x, at(2).y + kHitRadius}); // the radius is strict
    EXPECT_EQ(curve.size(), 4u);
}

TEST_F(SpectralCanvas, ADraggedPointStopsOneHertzShortOfItsNeighbours) {
    setCurve({{20, 200}, {200, 600}, {1000, 400}, {5000, 800}, {20000, 100}});
    const Uuid dragged = curve[2].id;
    canvas.handleDragChanged(at(2));
    canvas.handleDragChanged(screenPoint(9000.0f, 400.0f, kCanvas));
    EXPECT_EQ(curve[2].freq, 4999.0f);
    canvas.handleDragChanged(screenPoint(60.0f, 400.0f, kCanvas));
    EXPECT_EQ(curve[2].freq, 201.0f);
    canvas.handleDragEnded(screenPoint(60.0f, 400.0f, kCanvas));
    for (const Curve& written : writes)
        EXPECT_EQ(written[2].id, dragged); // the order never changes

    // Neighbours under 2 Hz apart: the upper bound wins.
    setCurve({{100, 500}, {100.5f, 1000}, {101, 1500}, {10000, 500}});
    drag(at(1), screenPoint(3000.0f, 1000.0f, kCanvas));
    EXPECT_EQ(curve[1].freq, 100.0f);

    // A neighbour close to an end of the axis cannot push a point off it.
    setCurve({{20, 500}, {20.5f, 900}, {19999.5f, 900}, {20000, 500}});
    drag(at(0), {0.0, 100.0});
    EXPECT_EQ(curve[0].freq, 20.0f);
    drag(at(3), {600.0, 100.0});
    EXPECT_EQ(curve[3].freq, 20000.0f);
}

TEST_F(SpectralCanvas, ReleasingInTheDeleteBandDeletesWhileMoreThanTwoRemain) {
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}});
    const Uuid middle = curve[1].id;
    const Point band{at(1).x, 225.0};
    // Leaving the band before the release keeps the point.
    canvas.handleDragChanged(at(1));
    canvas.handleDragChanged(band);
    EXPECT_TRUE(canvas.state().deleteCandidate);
    EXPECT_EQ(canvas.state().tooltipText, "Release to delete");
    canvas.handleDragChanged({band.x, 150.0});
    EXPECT_FALSE(canvas.state().deleteCandidate);
    canvas.handleDragEnded({band.x, 150.0});
    EXPECT_TRUE(has(middle));

    drag(at(1), band);
    EXPECT_EQ(curve.size(), 2u);
    EXPECT_FALSE(has(middle));
    expectIdle();

    // With two points left the band only drags.
    canvas.handleDragChanged(at(1));
    canvas.handleDragChanged(band);
    EXPECT_FALSE(canvas.state().deleteCandidate);
    EXPECT_EQ(canvas.state().tooltipText, formatTooltip(curve[1].freq, 2000.0f));
    canvas.handleDragEnded(band);
    EXPECT_EQ(curve.size(), 2u);
}

TEST_F(SpectralCanvas, DoubleClickDeletesAPointWhileMoreThanTwoRemain) {
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}});
    canvas.handleDoubleTap({300.0, 200.0}); // no point there
    EXPECT_TRUE(writes.empty());
    canvas.handleDoubleTap(at(2));
    EXPECT_EQ(curve.size(), 2u);
    EXPECT_EQ(writes.size(), 2u);
    EXPECT_EQ(changes, 1);
    canvas.handleDoubleTap(at(1));
    EXPECT_EQ(curve.size(), 2u);
    EXPECT_EQ(changes, 1);
}

TEST_F(SpectralCanvas, AnOptionDragDeletesWhatItCrossesUntilTwoRemainThenDrags) {
    setCurve({{50, 1000}, {200, 1000}, {1000, 1000}, {3000, 1000}, {12000, 1000}});
    const Uuid fourth = curve[3].id;
    const Uuid fifth = curve[4].id;
    modifiers.update({.option = true});
    const double y = at(0).y;
    canvas.handleDragChanged({30.0, y}); // empty space: nothing is added
    EXPECT_TRUE(writes.empty());
    for (double x = 31.0; x <= 540.0; x += 1.0)
        canvas.handleDragChanged({x, y});
    canvas.handleDragEnded({540.0, y});

    ASSERT_EQ(curve.size(), 2u);
    EXPECT_EQ(curve[0].id, fourth);
    EXPECT_EQ(curve[0].freq, 11999.0f); // dragged up to its neighbour
    EXPECT_EQ(curve[1].id, fifth);
}

TEST_F(SpectralCanvas, ACurveReplacedMidDragEndsTheDragQuietly) {
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}});
    canvas.handleDragChanged(at(1));
    setCurve({{100, 500}, {1000, 1000}, {10000, 500}}); // a preset load: new ids
    const Curve loaded = curve;
    writes.clear();
    canvas.handleDragChanged({300.0, 100.0});
    canvas.handleDragEnded({300.0, 100.0});
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(curve, loaded);
    expectIdle();
}

TEST(FormatTooltip, SwitchesToKilohertzByFrequency) {
    EXPECT_EQ(formatTooltip(440.0f, 350.0f), "440 Hz | 350 ms");
    EXPECT_EQ(formatTooltip(1000.0f, 0.0f), "1.0k Hz | 0 ms");
    EXPECT_EQ(formatTooltip(12345.0f, 2000.0f), "12.3k Hz | 2000 ms");
    EXPECT_EQ(formatTooltip(999.6f, 12.4f), "1000 Hz | 12 ms");
}

TEST_F(SpectralCanvas, AnimationFramesAdvanceThePhaseAndTheParticles) {
    canvas.inputs.lfoRate = 2.0f;
    const double rate = 2.0 * std::numbers::pi * 2.0 * 2.0 / 11.0; // radians per second
    canvas.advanceFrame(1000.0);
    EXPECT_NEAR(canvas.state().lfoPhase, rate / 60.0, 1e-12); // the first frame's step
    canvas.advanceFrame(1000.5);
    EXPECT_NEAR(canvas.state().lfoPhase, rate * (1.0 / 60.0 + 0.5), 1e-9);
    EXPECT_EQ(canvas.state().particleSystem->lastTime(), 1000.5);
}

} // namespace
} // namespace zerin
