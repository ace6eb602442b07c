// The analyser's bars, drawn as the window draws them: only where the plot says they moved,
// over what was there, against the bars drawn afresh.

#include "editor/spectrum_plot.h"
#include "platform/ui/damage.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace zerin {
namespace {

constexpr Size kSize{900.0, 438.0};
const Rect kPlot{40.0, 10.0, 846.0, 400.0};
constexpr Color kBackground{0.05, 0.06, 0.1, 1.0};
constexpr int kBins = 1025;

// A levels frame of four rows (input, output and their peaks), each `row(bin)` dBFS.
template <typename Row> DisplayFrame levels(Row row) {
    DisplayFrame frame;
    frame.kind = DisplayFrameKind::levels;
    frame.stamp.sampleRate = 48000.0;
    frame.fftSize = 2048;
    for (int r = 0; r < 4; ++r)
        for (int bin = 0; bin < kBins; ++bin)
            frame.values.push_back(row(r, bin));
    return frame;
}

// Draws the plot's bars over the background in `only` (points), grown to whole pixels as the
// window grows what it draws again.
void drawOn(OffscreenImage& image, SpectrumPlot& plot, SpectrumShown shown,
            const std::vector<Rect>& only) {
    Damage damage;
    for (const Rect& r : only)
        damage.add(r);
    const double scale = image.scale();
    image.draw([&](Graphics& g) {
        Path area;
        for (const PixelRect& r : damage.pixelRects(scale, image.pixelWidth(), image.pixelHeight()))
            addRect(area, {r.x / scale, r.y / scale, r.width / scale, r.height / scale});
        g.clip(area);
        g.fill(area, kBackground);
        plot.draw(g, shown);
    });
}

int differingPixels(const OffscreenImage& a, const OffscreenImage& b, double scale) {
    int differing = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const Point at{(x + 0.5) / scale, (y + 0.5) / scale};
            differing += a.colorAt(at) == b.colorAt(at) ? 0 : 1;
        }
    return differing;
}

// Frame after frame of noisy levels that rise and fall a few dB, with a switch of spectra
// between: the picture kept and patched where the damage says shows what drawing it whole
// shows, and the damage is a small part of the plot.
TEST(SpectrumPlot, DrawingOnlyWhereBarsMovedShowsWhatDrawingThemWholeShows) {
    for (const double scale : {1.0, 1.5, 2.0}) {
        SCOPED_TRACE(scale);
        std::mt19937 random(5);
        std::normal_distribution<float> wobble(0.0f, 1.5f);
        std::vector<float> base(4 * kBins);
        for (int bin = 0; bin < kBins; ++bin)
            for (int r = 0; r < 4; ++r)
                base[r * kBins + bin] =
                    -30.0f - 0.03f * static_cast<float>(bin) - 8.0f * static_cast<float>(r);
        SpectrumPlot kept;
        OffscreenImage window(kSize, scale);
        const std::vector<Rect> all = {{0.0, 0.0, kSize.width, kSize.height}};
        drawOn(window, kept, SpectrumShown::both, all);
        for (int step = 0; step < 6; ++step) {
            const SpectrumShown shown = step == 4 ? SpectrumShown::input : SpectrumShown::both;
            const DisplayFrame frame = levels([&](int r, int bin) {
                // Now and then a bin falls silent or goes past full scale.
                if (bin == 100 + step) return -INFINITY;
                if (bin == 900 - step) return 6.0f;
                return base[r * kBins + bin] + wobble(random);
            });
            kept.prepare(frame, kPlot);
            std::vector<Rect> damage;
            kept.changedAreas(damage);
            double damaged = 0.0;
            for (const Rect& r : damage)
                damaged += r.width * r.height;
            if (step > 0) {
                EXPECT_LT(damaged, 0.5 * kPlot.width * kPlot.height) << step;
            }
            drawOn(window, kept, shown, step == 4 || step == 5 ? all : damage);

            SpectrumPlot fresh;
            fresh.prepare(frame, kPlot);
            OffscreenImage drawn(kSize, scale);
            drawOn(drawn, fresh, shown, all);
            EXPECT_EQ(differingPixels(window, drawn, scale), 0) << "step " << step;
        }
    }
}

// A level's bar reaches from its place on the -90..0 dBFS scale down to the plot's bottom,
// its peak a point-tall cap; silence and levels under the floor draw nothing.
TEST(SpectrumPlot, BarsStandOnTheDecibelScale) {
    SpectrumPlot plot;
    plot.prepare(levels([](int r, int) {
                     constexpr float kRows[] = {-45.0f, -200.0f, -18.0f, -INFINITY};
                     return kRows[r];
                 }),
                 kPlot);
    OffscreenImage image(kSize, 1.0);
    drawOn(image, plot, SpectrumShown::both, {{0.0, 0.0, kSize.width, kSize.height}});
    const double x = kPlot.x + 300.5;
    const Color clear = image.colorAt({x, 20.5});
    EXPECT_EQ(clear, image.colorAt({x, kPlot.y + 0.4 * kPlot.height - 1.5}))
        << "between the cap and the bar";
    EXPECT_NE(clear, image.colorAt({x, kPlot.y + 0.2 * kPlot.height + 0.5})) << "the cap";
    EXPECT_EQ(clear, image.colorAt({x, kPlot.y + 0.5 * kPlot.height - 1.5})) << "above the bar";
    const Color bar = image.colorAt({x, kPlot.y + 0.5 * kPlot.height + 0.5});
    EXPECT_NE(clear, bar);
    EXPECT_EQ(bar, image.colorAt({x, kPlot.maxY() - 1.5})) << "down to the bottom";
    EXPECT_EQ(clear, image.colorAt({x, kPlot.maxY() + 1.5})) << "and no further";
}

} // namespace
} // namespace zerin
