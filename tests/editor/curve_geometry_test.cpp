#include "editor/curve_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zerin {
namespace {

constexpr Size kCanvas{554.0, 238.0}; // plot 500 x 200 at (44, 10)

TEST(ScreenPoint, AxisEndsSitOnThePlotEdges) {
    EXPECT_EQ(plotRect(kCanvas), (Rect{44.0, 10.0, 500.0, 200.0}));
    EXPECT_EQ(screenPoint(20.0f, 0.0f, kCanvas), (Point{44.0, 10.0}));
    const Point far = screenPoint(20000.0f, 2000.0f, kCanvas);
    EXPECT_NEAR(far.x, 544.0, 1e-4);
    EXPECT_EQ(far.y, 210.0);
    // The frequency is clamped to the axis; the delay is not.
    const Point outside = screenPoint(2.0f, -100.0f, kCanvas);
    EXPECT_EQ(outside.x, 44.0);
    EXPECT_NEAR(outside.y, 0.0, 1e-4);
}

TEST(CurveValueAt, ClampsToTheAxesAndNeverGivesNaN) {
    const CurvePoint origin = curveValueAt({44.0, 10.0}, kCanvas);
    EXPECT_NEAR(origin.freq, 20.0f, 1e-4f);
    EXPECT_EQ(origin.delay, 0.0f);
    const CurvePoint aboveLeft = curveValueAt({-300.0, -50.0}, kCanvas);
    EXPECT_EQ(aboveLeft.freq, 20.0f);
    EXPECT_EQ(aboveLeft.delay, 0.0f);
    const CurvePoint belowRight = curveValueAt({5000.0, 237.0}, kCanvas);
    EXPECT_EQ(belowRight.freq, 20000.0f);
    EXPECT_EQ(belowRight.delay, 2000.0f);

    // A canvas too small to have a plot divides by zero; a NaN location is no better.
    for (const Size canvas : {Size{54.0, 38.0}, Size{0.0, 0.0}, kCanvas}) {
        for (const Point p : {Point{44.0, 10.0}, Point{100.0, 100.0}, Point{NAN, NAN}}) {
            const CurvePoint v = curveValueAt(p, canvas);
            EXPECT_TRUE(v.freq >= 20.0f && v.freq <= 20000.0f) << v.freq;
            EXPECT_TRUE(v.delay >= 0.0f && v.delay <= 2000.0f) << v.delay;
        }
    }
}

TEST(CurveGeometry, ScreenAndValueRoundTrip) {
    for (const Size canvas : {kCanvas, Size{900.0, 400.0}}) {
        const Rect plot = plotRect(canvas);
        for (double fx = 0.0; fx <= 1.0; fx += 0.05) {
            for (double fy = 0.0; fy <= 1.0; fy += 0.125) {
                const Point location{plot.x + plot.width * fx, plot.y + plot.height * fy};
                const CurvePoint value = curveValueAt(location, canvas);
                const Point back = screenPoint(value.freq, value.delay, canvas);
                EXPECT_NEAR(back.x, location.x, 1e-3);
                EXPECT_NEAR(back.y, location.y, 1e-4);
            }
        }
    }
    for (float freq = 20.0f; freq <= 20000.0f; freq *= 1.37f) {
        const CurvePoint value = curveValueAt(screenPoint(freq, 500.0f, kCanvas), kCanvas);
        EXPECT_NEAR(value.freq, freq, freq * 4e-6f);
        EXPECT_EQ(value.delay, 500.0f);
    }
}

std::vector<Point> zigzag(int n) {
    std::vector<Point> points;
    for (int i = 0; i < n; ++i)
        points.push_back({44.0 + 37.0 * i, i % 2 == 0 ? 30.0 + 3.0 * i : 190.0 - 5.0 * i});
    return points;
}

TEST(SampleCurve, RunsFromTheFirstPositionThroughEveryOneToTheLast) {
    const auto six = zigzag(6);
    EXPECT_EQ(sampleCurve(six, 0.0).point, six.front());
    const CurveSample end = sampleCurve(six, 1.0);
    EXPECT_EQ(end.segment, 4);
    EXPECT_EQ(end.u, 1.0);
    EXPECT_EQ(end.point, six.back());

    for (int n = 2; n <= 9; ++n) {
        const auto p = zigzag(n);
        for (int k = 0; k < n; ++k) {
            const CurveSample s = sampleCurve(p, static_cast<double>(k) / (n - 1));
            EXPECT_NEAR(s.point.x, p[k].x, 1e-9) << n << " " << k;
            EXPECT_NEAR(s.point.y, p[k].y, 1e-9) << n << " " << k;
        }
        const Path path = smoothCurvePath(p);
        ASSERT_EQ(path.elements.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(path.elements[0].verb, PathVerb::move);
        for (int i = 1; i < n; ++i)
            EXPECT_EQ(path.elements[i].points[2], p[i]);
    }
}

TEST(SmoothCurvePath, IsSmoothThroughEveryInnerPosition) {
    // The handles either side of an inner position mirror each other about it, so the curve
    // has no kink there; each is a tenth of the span between the position's neighbours.
    const auto p = zigzag(7);
    const Path path = smoothCurvePath(p);
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const Point before = path.elements[i].points[1];
        const Point after = path.elements[i + 1].points[0];
        EXPECT_NEAR(after.x - p[i].x, p[i].x - before.x, 1e-9) << i;
        EXPECT_NEAR(after.y - p[i].y, p[i].y - before.y, 1e-9) << i;
        EXPECT_NEAR(after.x - p[i].x, (p[i + 1].x - p[i - 1].x) * 0.1, 1e-9) << i;
    }
    // Two positions: a straight segment.
    const std::vector<Point> two{{50.0, 60.0}, {350.0, 160.0}};
    const CurveSample mid = sampleCurve(two, 0.5);
    EXPECT_NEAR(mid.point.x, 200.0, 1e-9);
    EXPECT_NEAR(mid.point.y, 110.0, 1e-9);
}

TEST(SampleCurve, ShortChainsAndOutOfRangeParametersStayInside) {
    EXPECT_EQ(sampleCurve({}, 0.5).point, Point{});
    const std::vector<Point> one{{7.0, 8.0}};
    EXPECT_EQ(sampleCurve(one, 0.7).point, one[0]);
    EXPECT_TRUE(smoothCurvePath({}).empty());
    const auto p = zigzag(4);
    EXPECT_EQ(sampleCurve(p, -0.2).point, p.front());
    EXPECT_EQ(sampleCurve(p, 1.5).point, p.back());
    EXPECT_EQ(sampleCurve(p, NAN).point, p.front());
}

} // namespace
} // namespace zerin
