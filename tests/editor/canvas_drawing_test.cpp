#include "../audiounit/unit_host.h"
#include "editor/background_orbs.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/shapes.h"
#include "platform/ui/view_host.h"
#include "widgets/theme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

namespace zerin {
namespace {

constexpr Size kSize{900.0, 438.0}; // plot 846 x 400: 0 ms at y = 10, 2000 ms at y = 410
constexpr double kTolerance = 0.012;

using Values = std::vector<std::pair<float, float>>; // (Hz, ms)
using Image = std::unique_ptr<OffscreenImage>;

// `top` composited over `under` with the source-over rule, un-premultiplied.
Color over(const Color& under, const Color& top) {
    const double alpha = top.alpha + under.alpha * (1.0 - top.alpha);
    if (alpha <= 0.0) return {0, 0, 0, 0};
    const auto mix = [&](double t, double u) {
        return (t * top.alpha + u * under.alpha * (1.0 - top.alpha)) / alpha;
    };
    return {mix(top.red, under.red), mix(top.green, under.green), mix(top.blue, under.blue), alpha};
}

double distance(const Color& a, const Color& b) {
    return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green),
                     std::abs(a.blue - b.blue), std::abs(a.alpha - b.alpha)});
}

::testing::AssertionResult near(const Color& actual, const Color& expected, double tolerance) {
    if (distance(actual, expected) < tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.red << ", " << actual.green << ", " << actual.blue << ", "
           << actual.alpha << ") is not within " << tolerance << " of (" << expected.red << ", "
           << expected.green << ", " << expected.blue << ", " << expected.alpha << ")";
}

// The centre of the pixel under a point.
Point pixel(double x, double y) {
    return {std::floor(x) + 0.5, std::floor(y) + 0.5};
}

class CanvasDrawing : public ::testing::Test {
protected:
    KeyboardModifierState modifiers;
    std::vector<CurveControlPoint> curve;
    std::unique_ptr<SpectralCanvasView> canvas = makeCanvas(7);

    std::unique_ptr<SpectralCanvasView> makeCanvas(std::uint64_t seed) {
        auto view = std::make_unique<SpectralCanvasView>(
            modifiers, std::make_shared<ParticleSystem>(RandomSource(seed)));
        view->size = kSize;
        view->inputs.curvePoints = Binding<std::vector<CurveControlPoint>>::of(curve);
        return view;
    }
    void setCurve(const Values& values) {
        curve.clear();
        for (const auto& [freq, delay] : values)
            curve.push_back({Uuid::random(), freq, delay});
    }
    Image render(SpectralCanvasView& view) {
        auto image = std::make_unique<OffscreenImage>(kSize, 1.0);
        image->draw([&view](Graphics& g) { view.draw(g); });
        return image;
    }
    Image render() { return render(*canvas); }
};

TEST_F(CanvasDrawing, ClassificationTintsTonalColumnsCyanAndTransientOnesAmber) {
    setCurve({{20000, 2000}});
    const Image plain = render();
    DisplayFrame frame{.values = std::vector<float>(1025, 0.5f), .stamp = {44100.0}};
    std::vector<float>& data = frame.values; // neutral: no band
    data[46] = 1.0f;                         // at 1007 Hz
    for (std::size_t bin = 200; bin < data.size(); ++bin)
        data[bin] = 0.0f; // 4.3 kHz and up
    canvas->inputs.classification = frame;
    const Image banded = render();

    const auto column = [&](double x) { return Point{x + 2.0, 85.5}; };
    const Point tonal = column(524.0);     // 1007 Hz: bin 46
    const Point neutral = column(520.0);   // 975 Hz: bin 45
    const Point transient = column(804.0); // 9.9 kHz
    EXPECT_TRUE(near(banded->colorAt(tonal),
                     over(plain->colorAt(tonal), theme::accentCyan.withAlpha(0.08)), kTolerance));
    EXPECT_TRUE(near(banded->colorAt(neutral), plain->colorAt(neutral), 0.002));
    EXPECT_TRUE(near(banded->colorAt(transient),
                     over(plain->colorAt(transient), theme::accentAmber.withAlpha(0.08)),
                     kTolerance));
}

// The frame a unit at `rate` makes while it hears a 1 kHz tone swell by 60 dB in a second:
// the bins the tone lies in rise in every frame, so the kernel rates them transient, and the
// bins it leaves alone tonal.
DisplayFrame swellingToneFrame(double rate) {
    test::Host audio(rate, 1, {{"sourceSensitivity", 100.0f}});
    const auto length = static_cast<std::size_t>(rate);
    test::Channels tone(1, std::vector<float>(length));
    for (std::size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / rate;
        tone[0][n] =
            static_cast<float>(1e-3 * std::pow(1e3, t) * std::sin(2e3 * std::numbers::pi * t));
    }
    audio.run(tone);
    std::optional<DisplayFrame> frame = audio.unit->takeFrame(DisplayFrameKind::classification);
    EXPECT_TRUE(frame);
    return frame.value_or(DisplayFrame{});
}

// A canvas wide enough that its 4-point columns are a small part of a bin: each column's
// tint then says where the drawing puts the bins, and the band the tone makes must sit on
// 1 kHz at every rate. Read at 44.1 kHz, 48 kHz ratings put it 8.8 % low, 96 kHz ones more
// than an octave.
TEST_F(CanvasDrawing, TheBandA1kHzToneMakesIsDrawnAt1kHzAtAnyRate) {
    setCurve({{20000, 2000}});
    const Size wide{3600.0, kSize.height};
    canvas->size = wide;
    const auto draw = [&] {
        auto image = std::make_unique<OffscreenImage>(wide, 1.0);
        image->draw([this](Graphics& g) { canvas->draw(g); });
        return image;
    };
    const Image plain = draw();
    const Rect plot = plotRect(wide);
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        SCOPED_TRACE(rate);
        const DisplayFrame frame = swellingToneFrame(rate);
        EXPECT_EQ(frame.stamp.sampleRate, rate);
        canvas->inputs.classification = frame;
        const Image banded = draw();
        // Amber raises the red of the dark background; cyan lowers it.
        std::vector<double> amber; // left edges of the amber columns
        for (double x = plot.x; x < plot.maxX(); x += 4.0) {
            const Point probe{x + 2.0, 85.5};
            if (banded->colorAt(probe).red - plain->colorAt(probe).red > 0.02) amber.push_back(x);
        }
        ASSERT_FALSE(amber.empty());
        EXPECT_EQ(amber.back() - amber.front(), 4.0 * static_cast<double>(amber.size() - 1))
            << "one band";
        const double low = curveValueAt({amber.front(), 0.0}, wide).freq;
        const double high = curveValueAt({amber.back() + 4.0, 0.0}, wide).freq;
        EXPECT_LT(low, 1000.0);
        EXPECT_GT(high, 1000.0);
        // Within a bin's width at 96 kHz (4.7 %), as a column shows the bin at or below it.
        EXPECT_NEAR(std::sqrt(low * high), 1000.0, 40.0);
    }
}

TEST_F(CanvasDrawing, TheDraggedPointHasAHaloAndAPinkRingThatTurnsRedOverTheDeleteBand) {
    for (const bool lastTwo : {false, true}) {
        SCOPED_TRACE(lastTwo ? "two points" : "three points");
        setCurve(lastTwo ? Values{{1000, 600}, {10000, 600}}
                         : Values{{100, 600}, {1000, 600}, {10000, 600}});
        const std::size_t dragged = lastTwo ? 0 : 1;
        const Point at = screenPoint(curve[dragged], kSize);
        const Point below{at.x, at.y + 11.0}; // inside the halo, outside the ring
        const Image idle = render();
        EXPECT_TRUE(near(idle->colorAt(pixel(at.x, at.y)), theme::accentCyan, kTolerance));

        canvas->handleDragChanged(at);
        const Image held = render();
        EXPECT_TRUE(near(held->colorAt(pixel(at.x, at.y)), theme::accentPink, kTolerance));
        EXPECT_TRUE(
            near(held->colorAt(pixel(below.x, below.y)),
                 over(idle->colorAt(pixel(below.x, below.y)), theme::accentCyan.withAlpha(0.15)),
                 kTolerance));

        canvas->handleDragChanged({at.x, kSize.height - 19.5}); // the point goes to 2000 ms
        const Image deleting = render();
        const Point moved = screenPoint(curve[dragged], kSize);
        EXPECT_TRUE(near(deleting->colorAt(pixel(moved.x, moved.y)),
                         lastTwo ? theme::accentPink : Color::rgb255(255, 59, 48), kTolerance));
        canvas->handleDragEnded({at.x, 100.0});
    }
}

// A lone point is heard at every frequency, and a curve's end points hold beyond them: the
// line runs flat from edge to edge of the plot at the point's delay, and nothing is drawn above
// it but the point.
TEST_F(CanvasDrawing, OnePointIsDrawnAsTheFlatLineItIsHeardAs) {
    const Image empty = render();
    setCurve({{1000, 600}});
    const Image one = render();
    const Point at = screenPoint(curve[0], kSize);
    const Rect plot = plotRect(kSize);
    for (double x = plot.x + 2.0; x < plot.maxX() - 2.0; x += 37.0) {
        if (std::abs(x - at.x) < 12.0) continue; // the point's own disc
        const Point on{x, at.y};
        const Point above{x, at.y - 12.0};
        EXPECT_GT(distance(one->colorAt(on), empty->colorAt(on)), 0.1) << x;
        EXPECT_LT(distance(one->colorAt(above), empty->colorAt(above)), 0.004) << x;
    }
}

// Below its first point and above its last the kernel holds their values: the line runs on
// from the plot's left edge to the first point and from the last to the right edge at those
// values, in the curve's colour but fainter than between the points. So for a feedback curve,
// which the kernel holds flat the same way (evaluateCurve), in amber.
TEST_F(CanvasDrawing, TheFlatEndsAreDrawnWhereTheyAreHeardFainterThanTheCurve) {
    for (const CurveKind kind : {CurveKind::delay, CurveKind::feedback}) {
        SCOPED_TRACE(kind == CurveKind::delay ? "delay" : "feedback");
        const CurveAxis axis{kind};
        canvas->inputs.kind = kind;
        curve.clear();
        const Image empty = render();
        setCurve(kind == CurveKind::delay ? Values{{161, 385}, {1000, 100}, {4000, 700}}
                                          : Values{{161, 40}, {1000, 90}, {4000, 20}});
        const Image drawn = render();
        const Color color = kind == CurveKind::delay ? theme::accentCyan : theme::accentAmber;
        const Rect plot = plotRect(kSize);
        const Point first = screenPoint(curve.front(), kSize, axis);
        const Point last = screenPoint(curve.back(), kSize, axis);
        // The evaluation the kernel makes there is the end point's value.
        CurveData heard{};
        for (const CurveControlPoint& p : curve)
            heard.points[heard.count++] = {p.freq, p.value};
        EXPECT_EQ(evaluateCurve(heard, 100.0f, axis.top), curve.front().value);
        EXPECT_EQ(evaluateCurve(heard, 15000.0f, axis.top), curve.back().value);
        int checked = 0;
        const auto expectTail = [&](double x, double y) {
            const Point on = pixel(x, y);
            const Color c = drawn->colorAt(on);
            EXPECT_GT(distance(c, empty->colorAt(on)), 0.15) << x;
            // The curve's hue: cyan has no red, amber little blue.
            if (kind == CurveKind::delay)
                EXPECT_GT(c.green - c.red, 0.3) << x;
            else
                EXPECT_GT(c.red - c.blue, 0.3) << x;
            EXPECT_GT(distance(c, color), 0.2) << x << ": as bright as the curve itself";
            const Point above = pixel(x, y - 12.0);
            EXPECT_LT(distance(drawn->colorAt(above), empty->colorAt(above)), 0.004) << x;
            ++checked;
        };
        for (double x = plot.x + 2.0; x < first.x - 14.0; x += 9.0)
            expectTail(x, first.y);
        for (double x = last.x + 14.0; x < plot.maxX() - 2.0; x += 9.0)
            expectTail(x, last.y);
        EXPECT_GT(checked, 30);
    }
}

// The analyser's scale: a tick on the plot's right edge where each of 0, -20, -40 and -60 dBFS
// puts the bars' tops, shown with the analyser and gone with it.
TEST_F(CanvasDrawing, TheDecibelScaleMarksWhereTheAnalysersLevelsReach) {
    setCurve({{20000, 2000}});
    const Rect plot = plotRect(kSize);
    const auto flat = [](float db) {
        DisplayFrame frame;
        frame.kind = DisplayFrameKind::levels;
        frame.stamp.sampleRate = 48000.0;
        frame.fftSize = 2048;
        frame.values.assign(4 * 1025, db);
        return frame;
    };
    canvas->inputs.spectrumShown = SpectrumShown::off;
    const Image off = render();
    canvas->inputs.spectrumShown = SpectrumShown::both;
    const Image scale = render();
    for (const float db : {0.0f, -20.0f, -40.0f, -60.0f}) {
        SCOPED_TRACE(db);
        const double y = std::round(plot.y + db / kSpectrumFloorDb * plot.height);
        const Point tick{plot.maxX() - 2.5, y + 0.5};
        EXPECT_GT(distance(scale->colorAt(tick), off->colorAt(tick)), 0.08);
        // Beside the tick, above and below it, nothing.
        for (const double dy : {-3.0, 3.0})
            EXPECT_LT(distance(scale->colorAt({tick.x, tick.y + dy}),
                               off->colorAt({tick.x, tick.y + dy})),
                      0.004);
        // The analyser at that level: its bars rise to the tick's row and no higher.
        canvas->inputs.levels = flat(db);
        const Image bars = render();
        canvas->inputs.levels.reset();
        const Point inside{plot.x + plot.width / 2.0 + 0.5, y + 1.5};
        const Point outside{plot.x + plot.width / 2.0 + 0.5, y - 1.5};
        EXPECT_GT(distance(bars->colorAt(inside), scale->colorAt(inside)), 0.02);
        if (db < 0.0f) {
            EXPECT_LT(distance(bars->colorAt(outside), scale->colorAt(outside)), 0.004);
        }
    }
    // The labels keep to the right, clear of the delay labels on the left.
    int changedLeft = 0;
    for (double y = plot.y; y < plot.maxY(); y += 1.0)
        for (double x = 0.5; x < plot.x + plot.width / 2.0; x += 1.0)
            changedLeft += distance(scale->colorAt({x, y}), off->colorAt({x, y})) > 0.004;
    EXPECT_EQ(changedLeft, 0);
}

// Zoomed to 200 Hz..2 kHz, the curve, its points and the grid are drawn on the zoomed axis:
// a point's ring where hit testing finds it, the held ends at the plot's edges, and nothing of
// a point outside the view in the margins.
TEST_F(CanvasDrawing, AZoomedViewDrawsEverythingOnTheZoomedAxis) {
    const FrequencyView view{200.0f, 2000.0f};
    canvas->inputs.frequencyView = view;
    curve.clear();
    const Image empty = render();
    setCurve({{60, 1500}, {400, 600}, {1000, 200}});
    const Image zoomed = render();
    const Rect plot = plotRect(kSize);
    const Point at = screenPoint(curve[1], kSize, {}, view);
    EXPECT_NEAR(at.x, plot.x + plot.width * std::log10(2.0), 1e-3);
    EXPECT_EQ(hitTest(curve, at, kSize, {}, view), 1u);
    // The ring (7 points out) and the dot, where the point is hit.
    EXPECT_TRUE(near(zoomed->colorAt(pixel(at.x, at.y)), theme::accentCyan, kTolerance));
    EXPECT_TRUE(near(zoomed->colorAt(pixel(at.x + 7.0, at.y)), theme::accentCyan, 0.15));
    // The last point's held end runs on to the right edge of the plot.
    const Point last = screenPoint(curve[2], kSize, {}, view);
    for (double x = last.x + 14.0; x < plot.maxX() - 2.0; x += 11.0)
        EXPECT_GT(distance(zoomed->colorAt(pixel(x, last.y)), empty->colorAt(pixel(x, last.y))),
                  0.15)
            << x;
    // 60 Hz lies left of the view: the curve comes in from the left edge at the delay heard
    // there, and nothing is drawn in the margin left of the plot.
    for (double y = plot.y; y < plot.maxY(); y += 1.0)
        for (double x = plot.x - 30.0; x < plot.x - 1.0; x += 1.0)
            ASSERT_LT(distance(zoomed->colorAt({x, y}), empty->colorAt({x, y})), 0.004)
                << x << ", " << y;
    // The grid's lines at 1 kHz (strong) and 500 Hz, on the zoomed axis.
    const double x1k = std::floor(screenX(1000.0f, kSize, view)) + 0.5;
    const double x300 = std::floor(screenX(300.0f, kSize, view)) + 0.5;
    const double unzoomed1k = std::floor(screenX(1000.0f, kSize)) + 0.5;
    const double y = plot.y + 3.0;
    EXPECT_GT(distance(empty->colorAt({x1k, y}), empty->colorAt({x1k + 3.0, y})), 0.02);
    EXPECT_GT(distance(empty->colorAt({x300, y}), empty->colorAt({x300 + 3.0, y})), 0.01);
    EXPECT_LT(distance(empty->colorAt({unzoomed1k, y}), empty->colorAt({unzoomed1k + 3.0, y})),
              0.004);
}

// Dragged into a corner or against a side, the whole tooltip stays on the canvas: drawn into
// an image with room around the canvas, nothing of it shows outside, and all of it inside.
TEST_F(CanvasDrawing, TheTooltipStaysInsideTheCanvasAtItsEdges) {
    constexpr double kMargin = 60.0;
    const Size padded{kSize.width + 2.0 * kMargin, kSize.height + 2.0 * kMargin};
    const auto renderPadded = [&] {
        auto image = std::make_unique<OffscreenImage>(padded, 1.0);
        image->draw([&](Graphics& g) {
            g.translate(kMargin, kMargin);
            canvas->draw(g);
        });
        return image;
    };
    const Font font{10.0, FontWeight::medium, FontDesign::monospaced};
    for (const Point pointer :
         {Point{3.0, 3.0}, Point{kSize.width - 3.0, 3.0}, Point{3.0, 200.0},
          Point{kSize.width - 3.0, kSize.height - 40.0}, Point{-30.0, -30.0}}) {
        SCOPED_TRACE(testing::Message() << pointer.x << ", " << pointer.y);
        setCurve({{100, 600}, {10000, 600}});
        canvas->handleDragChanged(pointer);
        ASSERT_TRUE(canvas->state().tooltipText);
        const Size text = measureText(*canvas->state().tooltipText, font);
        const Image shown = renderPadded();
        canvas->handleDragEnded(pointer);
        const Image hidden = renderPadded();
        double minX = padded.width, minY = padded.height, maxX = 0.0, maxY = 0.0;
        for (int y = 0; y < shown->pixelHeight(); ++y) {
            for (int x = 0; x < shown->pixelWidth(); ++x) {
                const Point p{x + 0.5, y + 0.5};
                if (distance(shown->colorAt(p), hidden->colorAt(p)) < 0.02) continue;
                minX = std::min(minX, p.x);
                minY = std::min(minY, p.y);
                maxX = std::max(maxX, p.x);
                maxY = std::max(maxY, p.y);
            }
        }
        ASSERT_LT(minX, maxX);
        EXPECT_GE(minX, kMargin);
        EXPECT_GE(minY, kMargin);
        EXPECT_LE(maxX, kMargin + kSize.width);
        EXPECT_LE(maxY, kMargin + kSize.height);
        // The box with its padding, stroke included.
        EXPECT_GE(maxX - minX + 1.0, text.width + 16.0);
        EXPECT_GE(maxY - minY + 1.0, text.height + 8.0);
    }
}

// The stroke's core is opaque cyan; particles riding the curve can cover it, so three particle
// draws are searched and any row that is core in one of them counts.
TEST_F(CanvasDrawing, TheStrokeRunsThroughTheDelayTheKernelApplies) {
    const Values uneven{{50, 100}, {300, 1500}, {400, 200}, {8000, 900}};
    setCurve(uneven);
    CurveData heard{};
    for (const auto& [freq, delay] : uneven)
        heard.points[heard.count++] = {freq, delay};
    std::vector<Image> images;
    for (const std::uint64_t seed : {1u, 2u, 3u})
        images.push_back(render(*makeCanvas(seed)));

    // At 70 Hz and 4 kHz the 2-D spline through the points lies 21 and 11 points off.
    for (const float freq : {70.0f, 4000.0f}) {
        SCOPED_TRACE(freq);
        const double x = std::floor(screenPoint(freq, 0.0f, kSize).x) + 0.5;
        const double expected =
            screenY(evaluateCurve(heard, curveValueAt({x, 0.0}, kSize).freq), kSize);
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < static_cast<int>(kSize.height); ++y) {
            bool core = false;
            for (const Image& image : images)
                core = core || distance(image->colorAt({x, y + 0.5}), theme::accentCyan) < 0.12;
            if (!core) continue;
            if (top < 0) top = y;
            bottom = y;
        }
        ASSERT_GE(top, 0);
        EXPECT_NEAR((top + bottom + 1) / 2.0, expected, 1.5);
    }
}

TEST(CanvasInAHost, FramesAnimateFromTheSecondWithAFirstStepOfA60th) {
    double clock = 0.0;
    MainQueue queue([&clock] { return clock; });
    ViewHost host(queue, kSize);
    auto owned =
        std::make_unique<SpectralCanvasView>(std::make_shared<ParticleSystem>(RandomSource(5)));
    SpectralCanvasView* canvas = owned.get();
    host.setRoot(std::move(owned));
    std::vector<CurveControlPoint> curve{
        {Uuid::random(), 100, 600}, {Uuid::random(), 1000, 600}, {Uuid::random(), 10000, 600}};
    canvas->inputs.curvePoints = Binding<std::vector<CurveControlPoint>>::of(curve);
    canvas->inputs.lfoRate = 3.0f;

    host.advance(1000.0); // the first frame shown only starts the clock
    EXPECT_EQ(canvas->size, kSize);
    host.advance(1000.0);
    EXPECT_EQ(canvas->state().lfoPhase, 0.0);
    host.advance(1000.25); // the first step is a 60th of a second, whatever the gap
    EXPECT_NEAR(canvas->state().lfoPhase, 2.0 * std::numbers::pi * 3.0 / 60.0 * 2.0 / 11.0, 1e-12);
    EXPECT_EQ(canvas->state().particleSystem->lastTime(), 1000.25);
}

// The orbs sit behind everything without taking a click, and move at most 10 times a second
// however often the editor draws.
TEST(BackgroundOrbs, LetClicksThroughAndBreatheAtMost10TimesASecond) {
    MainQueue queue;
    ViewHost host(queue, kSize);
    host.setRoot(std::make_unique<BackgroundOrbsView>());
    EXPECT_EQ(host.root()->hitTest({450.0, 200.0}), nullptr);
    OrbClock clock;
    EXPECT_EQ(clock.advance(100.0), 100.0);
    EXPECT_EQ(clock.advance(100.06), 100.0);
    EXPECT_EQ(clock.advance(100.125), 100.125);
    EXPECT_EQ(clock.advance(100.2), 100.125);
}

// Kept as a picture between moves, the backdrop paints the very pixels drawing it would,
// at any scale, and moves on when the clock does.
TEST(BackgroundOrbs, TheKeptPictureIsWhatDrawingGives) {
    for (const double scale : {1.0, 1.5, 2.0}) {
        MainQueue queue;
        ViewHost host(queue, kSize);
        host.setRoot(std::make_unique<BackgroundOrbsView>());
        for (const double t : {100.0, 100.05, 100.5}) {
            host.advance(t);
            OffscreenImage kept(kSize, scale);
            kept.draw(host);
            kept.draw(host); // the second time from the picture
            OffscreenImage drawn(kSize, scale);
            drawn.draw([&](Graphics& g) {
                Path backdrop;
                addRect(backdrop, {0.0, 0.0, kSize.width, kSize.height});
                g.fill(backdrop, theme::background);
                drawBackgroundOrbs(g, kSize, t == 100.05 ? 100.0 : t);
            });
            int differing = 0;
            for (double y = 0.25; y < kSize.height; y += 2.5)
                for (double x = 0.25; x < kSize.width; x += 2.5)
                    differing += kept.colorAt({x, y}) == drawn.colorAt({x, y}) ? 0 : 1;
            EXPECT_EQ(differing, 0) << "scale " << scale << ", t " << t;
        }
    }
}

// Between two moves of the orbs, every pixel that changes lies in what the backdrop says
// changed: it redraws only that, and a pixel missed there would keep the old orb.
TEST(BackgroundOrbs, EveryPixelThatChangesIsInWhatTheyDamage) {
    constexpr Size kWindow{900.0, 600.0};
    const auto backdrop = [&](OffscreenImage& image, double t) {
        image.draw([&](Graphics& g) {
            Path all;
            addRect(all, {0.0, 0.0, kWindow.width, kWindow.height});
            g.fill(all, theme::background);
            drawBackgroundOrbs(g, kWindow, t);
        });
    };
    for (const double scale : {1.0, 2.0}) {
        int changedPixels = 0;
        // Steps a few seconds apart: their places, sizes and colours all differ.
        for (double t = 1000.0; t < 1060.0; t += 3.0 * scale) {
            OffscreenImage before(kWindow, scale), after(kWindow, scale);
            backdrop(before, t);
            backdrop(after, t + 0.1);
            std::vector<Rect> damaged;
            const auto was = backgroundOrbs(kWindow, t), now = backgroundOrbs(kWindow, t + 0.1);
            for (std::size_t i = 0; i < was.size(); ++i)
                orbChanges(was[i], now[i], damaged);
            for (int y = 0; y < before.pixelHeight(); ++y)
                for (int x = 0; x < before.pixelWidth(); ++x) {
                    const Point at{(x + 0.5) / scale, (y + 0.5) / scale};
                    if (before.colorAt(at) == after.colorAt(at)) continue;
                    ++changedPixels;
                    const bool inDamage =
                        std::any_of(damaged.begin(), damaged.end(),
                                    [&](const Rect& r) { return r.contains(at); });
                    ASSERT_TRUE(inDamage)
                        << "t " << t << " scale " << scale << " at " << at.x << ", " << at.y;
                }
        }
        EXPECT_GT(changedPixels, 0);
    }
}

} // namespace
} // namespace zerin
