#include "dsp/kernel.h"
#include "editor/curve_geometry.h"
#include "editor/heard_curve.h"
#include "editor/heard_macros.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace zerin {
namespace {

constexpr Size kCanvas{900.0, 438.0};

using Values = std::vector<std::pair<float, float>>; // (Hz, ms), ascending

std::vector<CurveControlPoint> curveOf(const Values& values) {
    std::vector<CurveControlPoint> points;
    for (const auto& [freq, delay] : values)
        points.push_back({Uuid::random(), freq, delay});
    return points;
}

std::vector<CurvePoint> pairsOf(const Values& values) {
    std::vector<CurvePoint> pairs;
    for (const auto& [freq, delay] : values)
        pairs.push_back({freq, delay});
    return pairs;
}

// What the kernel holds after the editor hands it a curve already in frequency order.
CurveData kernelCurve(const Values& values) {
    CurveData data{};
    fillCurve(data, pairsOf(values).data(), static_cast<int>(values.size()));
    return data;
}

// How far (ms) the delay read back from a canvas position lies from what the kernel applies at
// the frequency read back from it.
double heardError(const CurveData& data, Point at, CurveKind kind = CurveKind::delay) {
    const CurvePoint read = curveValueAt(at, kCanvas, kind);
    return std::abs(read.value - evaluateCurve(data, read.freq, curveMaxValue(kind)));
}

double distanceToSegment(Point p, Point a, Point b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t =
        length2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

const Values kUneven{{50, 100}, {300, 1500}, {400, 200}, {8000, 900}};
const Values kDefault{{20, 200}, {200, 600}, {1000, 400}, {5000, 800}, {20000, 100}};

TEST(HeardCurve, TheDrawnCurveIsTheDelayTheKernelApplies) {
    for (const Values& values : {kUneven, kDefault}) {
        const auto points = curveOf(values);
        const CurveData data = kernelCurve(values);
        HeardCurve heard;
        prepareHeardCurve(heard, points, kCanvas);
        const auto positions = curveScreenPositions(points, kCanvas);

        // kUneven is where a spline through the screen positions overshot by ~525 ms near
        // 340 Hz.
        double worst = 0.0;
        for (int k = 0; k <= 1000; ++k)
            worst = std::max(worst, heardError(data, heardCurveSample(heard, k / 1000.0).point));
        EXPECT_LT(worst, 0.5);

        Path path;
        heardCurvePath(path, heard, 0.0);
        for (const PathElement& e : path.elements)
            EXPECT_LT(heardError(data, e.points[0]), 0.5);
        // Between its corners the polyline keeps within a tenth of a point of the curve, and
        // so does the wobbling one of the curve moved by its wobble.
        for (const double wobble : {0.0, lfoWobbleSize(1.0, 0.7f)}) {
            heardCurvePath(path, heard, wobble);
            for (int k = 0; k <= 1000; ++k) {
                const CurveSample sample = heardCurveSample(heard, k / 1000.0);
                const Point on{sample.point.x,
                               sample.point.y + lfoWobble(sample.segment, sample.u, wobble)};
                double nearest = 1e9;
                for (std::size_t e = 1; e < path.elements.size(); ++e)
                    nearest =
                        std::min(nearest, distanceToSegment(on, path.elements[e - 1].points[0],
                                                            path.elements[e].points[0]));
                EXPECT_LT(nearest, 0.11) << k << " wobble " << wobble;
            }
        }
        // The corners are the points', and the line runs on from the end points to the
        // plot's edges.
        const auto passes = [&](Point p) {
            return std::any_of(path.elements.begin(), path.elements.end(),
                               [&](const PathElement& e) { return e.points[0] == p; });
        };
        EXPECT_TRUE(passes(positions.front()));
        EXPECT_TRUE(passes(positions.back()));
    }
}

// Below the first point and above the last the kernel holds their values, and a lone point is
// heard at every frequency: the line shows that, for either kind, from edge to edge of the
// plot, so a curve starting at 161 Hz no longer shows nothing below it.
TEST(HeardCurve, IsDrawnAsHeardFromEdgeToEdgeFlatBeyondTheEndPoints) {
    const Rect plot = plotRect(kCanvas);
    const std::pair<Values, CurveKind> cases[] = {
        {{{161, 385}, {900, 1200}, {5000, 40}}, CurveKind::delay},
        {{{1000, 800}}, CurveKind::delay},
        {{{300, 20}, {2500, 90}}, CurveKind::feedback},
        {{{1000, 60}}, CurveKind::feedback}};
    for (const auto& [values, kind] : cases) {
        HeardCurve heard;
        prepareHeardCurve(heard, curveOf(values), kCanvas, kind);
        Path path;
        heardCurvePath(path, heard, 0.0);
        ASSERT_GE(path.elements.size(), 2u) << values.size();
        EXPECT_DOUBLE_EQ(path.elements.front().points[0].x, plot.x);
        EXPECT_DOUBLE_EQ(path.elements.back().points[0].x, plot.maxX());
        const CurveData data = kernelCurve(values);
        for (const PathElement& e : path.elements)
            EXPECT_LT(heardError(data, e.points[0], kind), 0.5) << e.points[0].x;
        EXPECT_DOUBLE_EQ(path.elements.front().points[0].y,
                         screenY(values.front().second, kCanvas, kind));
        EXPECT_DOUBLE_EQ(path.elements.back().points[0].y,
                         screenY(values.back().second, kCanvas, kind));
    }
    HeardCurve none;
    prepareHeardCurve(none, {}, kCanvas);
    Path path;
    heardCurvePath(path, none, 0.0);
    EXPECT_TRUE(path.empty());
}

// Points in any order, with ties, too many or just one: the canvas evaluates the curve the
// kernel holds from the same points.
TEST(HeardCurve, IsTheCurveTheKernelKeepsFromTheSamePointsInAnyOrder) {
    Values descending;
    for (int i = 0; i < 40; ++i)
        descending.push_back(
            {16000.0f - 350.0f * static_cast<float>(i / 2), static_cast<float>(50 * i)});
    const Values shuffled{{5000, 800}, {20, 200}, {20000, 100}, {1000, 400}, {200, 600}};
    const Values ties{{1000, 900}, {300, 20}, {1000, 100}, {300, 1500}, {8000, 5}};
    for (const Values& values : {shuffled, ties, descending, Values{{700, 450}}}) {
        HeardCurve heard;
        prepareHeardCurve(heard, curveOf(values), kCanvas);
        ZerinExtensionDSPKernel kernel;
        kernel.setCurve(CurveSlot::a, CurveKind::delay, pairsOf(values).data(),
                        static_cast<int>(values.size()));
        const CurveData& kept = kernel.latestCurveSet().at(CurveSlot::a, CurveKind::delay);
        ASSERT_EQ(kept.count, heard.data.count) << values.size();
        for (int i = 0; i < heard.data.count; ++i)
            EXPECT_EQ(kept.points[i], heard.data.points[i]) << values.size() << " " << i;
    }
}

TEST(HeardCurve, OddPointsGiveFiniteCoordinatesAndOnlyTheFirst32AreHeard) {
    Values odd{{5, 300}, {5, 900}, {1000, 400}, {1000, 1200}, {1000, 50}, {30000, 700}, {40000, 1}};
    Values many;
    for (int i = 0; i < 40; ++i)
        many.push_back({100.0f + 400.0f * i, i % 2 == 0 ? 100.0f : 1500.0f});
    for (const Values& values : {odd, many}) {
        HeardCurve heard;
        prepareHeardCurve(heard, curveOf(values), kCanvas);
        for (const float depth : {0.0f, 0.7f}) {
            Path path;
            heardCurvePath(path, heard, lfoWobbleSize(1.0, depth));
            for (const PathElement& e : path.elements)
                EXPECT_TRUE(std::isfinite(e.points[0].x) && std::isfinite(e.points[0].y));
        }
    }
    // Past the 32nd point the kernel holds the 32nd's delay, and so does the drawing.
    HeardCurve heard;
    prepareHeardCurve(heard, curveOf(many), kCanvas);
    EXPECT_EQ(heard.data.count, 32);
    for (double u : {0.0, 0.3, 1.0})
        EXPECT_DOUBLE_EQ(heardCurvePoint(heard, 35, u).y, screenY(1500.0f, kCanvas));
    // One point: the sample is the point itself.
    prepareHeardCurve(heard, curveOf({{1000, 500}}), kCanvas);
    EXPECT_FALSE(heard.drawable());
    EXPECT_EQ(heardCurveSample(heard, 0.4).point, screenPoint(1000.0f, 500.0f, kCanvas));
}

namespace zerin {
namespace {

// The line the canvas draws for the heard curve is what the kernel plays: morph, scale, shift,
// snapping and the delay range applied the kernel's way, checked against the kernel's own
// per-bin delays and feedback shares. Slot A holds a point beyond 2 s, drawn in the 10 s range:
// in the 2 s range it is heard at 2 s, and the heard line shows it so.
TEST(HeardMacros, TheHeardCurveIsWhatTheKernelPlaysAtEveryBin) {
    const auto points = [](std::vector<std::pair<float, float>> values) {
        ControlCurve curve;
        for (const auto& [freq, value] : values)
            curve.push_back({Uuid::random(), freq, value});
        return curve;
    };
    CurveSetPoints curves;
    curves.at(CurveSlot::a, CurveKind::delay) = points({{50, 900}, {800, 150}, {6000, 6500}});
    curves.at(CurveSlot::a, CurveKind::feedback) = points({{300, 10}, {3000, 100}});
    curves.at(CurveSlot::b, CurveKind::delay) = points({{100, 300}, {10000, 3200}});
    curves.at(CurveSlot::b, CurveKind::feedback) = points({{1000, 60}});
    CurveSet set{};
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            std::vector<CurvePoint> pairs;
            for (const CurveControlPoint& p : curves.curves[s][k])
                pairs.push_back({p.freq, p.value});
            fillCurve(set.curves[s][k], pairs.data(), static_cast<int>(pairs.size()));
        }
    constexpr double kRate = 48000.0;
    const float msPerHop = 1000.0f * kHopSize / static_cast<float>(kRate);
    struct Case {
        float morph, scale, shift;
        bool sync;
        int range;
    };
    for (const Case c :
         {Case{30, 80, 5, false, 0}, Case{100, 150, -12, false, 0}, Case{0, 100, 0, true, 0},
          Case{55, 120, 0, true, 0}, Case{0, 100, 0, false, 0}, Case{30, 80, 5, false, 1},
          Case{55, 120, 0, true, 1}, Case{0, 100, 0, false, 1}}) {
        SCOPED_TRACE(testing::Message() << "morph " << c.morph << ", range " << c.range);
        ZerinExtensionDSPKernel kernel;
        kernel.setCurveSet(set);
        kernel.setParameter(parameter::morph, c.morph);
        kernel.setParameter(parameter::curveScale, c.scale);
        kernel.setParameter(parameter::curveShift, c.shift);
        kernel.setParameter(parameter::delaySync, c.sync ? 1.0f : 0.0f);
        kernel.setParameter(parameter::delayRange, static_cast<float>(c.range));
        kernel.setHostTempo(97.0);
        ASSERT_TRUE(kernel.initialize(1, kRate));
        const CurveMacros macros{c.morph / 100.0f,    c.scale / 100.0f,      c.shift,
                                 c.sync ? 97.0 : 0.0, delayRangeMs(c.range), 0.0f};
        const ControlCurve& drawn = curves.at(CurveSlot::a, CurveKind::delay);
        if (c.morph == 0.0f && c.scale == 100.0f && c.shift == 0.0f && !c.sync) {
            EXPECT_EQ(heardDiffersFromDrawn(macros, CurveSlot::a, CurveKind::delay, drawn),
                      c.range == 0)
                << "only the point beyond the range makes the heard line differ";
        }
        std::vector<float> freqs, delays, shares;
        for (int k = 1; k < kNumBins; ++k)
            if (const float f = static_cast<float>(k * kRate / kFFTSize); f <= 20000.0f)
                freqs.push_back(f);
        heardValues(curves, CurveKind::delay, macros, freqs, delays);
        heardValues(curves, CurveKind::feedback, macros, freqs, shares);
        for (std::size_t i = 0; i < freqs.size(); ++i) {
            const float ms = kernel.mBins.delayHops[i + 1] * msPerHop;
            EXPECT_NEAR(delays[i], ms, 1.0f + 0.01f * ms) << freqs[i] << " Hz, shift " << c.shift;
            EXPECT_NEAR(shares[i], kernel.mBins.feedbackWeights[i + 1] * 100.0f, 0.5f)
                << freqs[i] << " Hz";
        }
    }
}

} // namespace
} // namespace zerin

// Under a spread the left side hears every delay shorter by half the spread and the right
// longer by as much, the right no further back than the history reaches; no spread leaves both
// sides as the heard line.
TEST(HeardMacros, ASpreadHearsTheLeftShorterAndTheRightLongerAsFarAsTheHistory) {
    CurveSetPoints curves;
    for (const CurveSlot slot : {CurveSlot::a, CurveSlot::b}) {
        curves.at(slot, CurveKind::delay) = {{Uuid::random(), 1000.0f, 400.0f}};
        curves.at(slot, CurveKind::feedback) = {{Uuid::random(), 1000.0f, 50.0f}};
    }
    const std::span<const float> freqs = heardLineFrequencies();
    std::vector<float> left, right, heard;
    const auto sides = [&](const CurveMacros& macros) {
        heardSideValues(curves, macros, StereoSide::left, freqs, left);
        heardSideValues(curves, macros, StereoSide::right, freqs, right);
        heardValues(curves, CurveKind::delay, macros, freqs, heard);
        ASSERT_EQ(left.size(), freqs.size());
        ASSERT_EQ(right.size(), freqs.size());
    };
    CurveMacros macros;
    macros.spread = 1.0f;
    sides(macros);
    for (std::size_t i = 0; i < freqs.size(); ++i) {
        EXPECT_NEAR(left[i], 200.0f, 1e-3f) << freqs[i];
        EXPECT_NEAR(right[i], 600.0f, 1e-3f) << freqs[i];
    }
    macros.spread = 0.6f;
    sides(macros);
    EXPECT_NEAR(left.front(), 280.0f, 1e-3f);
    EXPECT_NEAR(right.back(), 520.0f, 1e-3f);

    // 8 s heard in the 10 s range: 12 s to the right is more than the history holds.
    for (const CurveSlot slot : {CurveSlot::a, CurveSlot::b})
        curves.at(slot, CurveKind::delay) = {{Uuid::random(), 1000.0f, 8000.0f}};
    macros.longestMs = kLongestDelayMs;
    macros.spread = 1.0f;
    sides(macros);
    EXPECT_NEAR(left.front(), 4000.0f, 1e-2f);
    EXPECT_EQ(right.front(), kLongestDelayMs);
    // At the history's end and just past it: 8000 ms at a spread of 0.5 is exactly 10 s on the
    // right; a millisecond up to 16 past it stays there, and one below it is not cut.
    EXPECT_EQ(sideDelayMs(8000.0f, 0.5f, StereoSide::right), kLongestDelayMs);
    for (const float past : {0.8f, 3.2f, 6.4f, 12.8f})
        EXPECT_EQ(sideDelayMs(8000.0f + past, 0.5f, StereoSide::right), kLongestDelayMs) << past;
    EXPECT_EQ(sideDelayMs(7999.2f, 0.5f, StereoSide::right), 9999.0f);

    macros.spread = 0.0f;
    sides(macros);
    EXPECT_EQ(left, heard);
    EXPECT_EQ(right, heard);
}

} // namespace
} // namespace zerin
