// Redraw on demand, through a view host and the offscreen image a window's frame draws into:
// what is drawn at each frame is what changed, and nothing else.

#include "platform/ui/damage.h"
#include "platform/ui/graphics.h"
#include "platform/ui/layer_cache.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/path.h"
#include "platform/ui/shapes.h"
#include "platform/ui/view_host.h"
#include "signals/observable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace zerin {
namespace {

// A square in a colour read from a model, counting its draws; `animating` has it ask for
// every frame, as a moving view does.
class Swatch : public View {
public:
    explicit Swatch(Observable<int>& shade) : shade(shade) {}
    Size sizeThatFits(Size) override { return {40.0, 40.0}; }
    void draw(Graphics& g) override {
        ++draws;
        Path square;
        addRect(square, bounds());
        g.fill(square, Color{shade.get() / 10.0, 0.0, 0.0, 1.0});
        if (animating) setNeedsDisplay();
    }
    Observable<int>& shade;
    bool animating = false;
    int draws = 0;
};

// Two swatches side by side, one at (0, 0) and one at (100, 0), each 40 points square.
class Pair : public View {
public:
    Pair(Observable<int>& a, Observable<int>& b) {
        left = add(std::make_unique<Swatch>(a));
        right = add(std::make_unique<Swatch>(b));
    }
    void layout(const Rect& frame) override {
        setFrame(frame);
        left->layout({0.0, 0.0, 40.0, 40.0});
        right->layout({100.0, 0.0, 40.0, 40.0});
    }
    Swatch* left = nullptr;
    Swatch* right = nullptr;
};

struct Window {
    double now = 10.0;
    MainQueue queue{[this] { return now; }};
    ViewHost host{queue, {200.0, 50.0}};
    OffscreenImage image{{200.0, 50.0}, 2.0};
    Observable<int> a{1};
    Observable<int> b{1};
    Pair* pair = nullptr;

    Window() {
        auto made = std::make_unique<Pair>(a, b);
        pair = made.get();
        host.setRoot(std::move(made));
    }
    // One display frame; whether anything was drawn.
    bool frame() {
        now += 1.0 / 60.0;
        host.advance(now);
        return image.drawDamage(host);
    }
};

TEST(Redisplay, AViewThatNeverChangesIsDrawnOnce) {
    Window window;
    for (int i = 0; i < 20; ++i)
        window.frame();
    EXPECT_EQ(window.pair->left->draws, 1);
    EXPECT_EQ(window.pair->right->draws, 1);
    EXPECT_FALSE(window.frame()) << "a frame where nothing changed drew something";
}

TEST(Redisplay, AChangeDamagesOnlyTheViewThatShowsIt) {
    Window window;
    window.frame();
    window.b.set(9);
    ASSERT_TRUE(window.host.needsDisplay());
    const Damage damage = window.host.context().damage();
    ASSERT_EQ(damage.rects().size(), 1u);
    const Rect& r = damage.rects().front();
    // The right swatch with the margin for soft edges, never the left one at 0..40.
    EXPECT_GT(r.x, 40.0);
    EXPECT_LE(r.x, 100.0);
    EXPECT_GE(r.maxX(), 140.0);
    window.frame();
    EXPECT_EQ(window.pair->left->draws, 1);
    EXPECT_EQ(window.pair->right->draws, 2);
    EXPECT_NEAR(window.image.colorAt({120.0, 20.0}).red, 0.9, 0.01);
    EXPECT_NEAR(window.image.colorAt({20.0, 20.0}).red, 0.1, 0.01);

    // An animating view is drawn at every frame, its neighbour still never.
    window.pair->left->animating = true;
    window.pair->left->setNeedsDisplay();
    for (int i = 0; i < 5; ++i)
        window.frame();
    EXPECT_EQ(window.pair->left->draws, 6);
    EXPECT_EQ(window.pair->right->draws, 2);
}

TEST(Redisplay, TwoHostsKeepTheirOwnDamage) {
    Window first;
    Window second;
    first.frame();
    second.frame();
    first.a.set(5);
    EXPECT_TRUE(first.host.needsDisplay());
    EXPECT_FALSE(second.host.needsDisplay());
    EXPECT_FALSE(second.frame());
}

// Damage is grown to whole pixels: a rectangle ending inside a pixel takes that pixel, or its
// edge would keep the old picture.
TEST(Redisplay, DamageCoversEveryPixelItTouchesAndNoMoreThanTheSurface) {
    Damage damage;
    damage.add({10.25, 5.5, 10.0, 0.2});
    damage.add({-30.0, 90.0, 50.0, 50.0});
    const std::vector<PixelRect> pixels = damage.pixelRects(2.0, 200, 200);
    ASSERT_EQ(pixels.size(), 2u);
    EXPECT_EQ(pixels[0], (PixelRect{20, 11, 21, 1}));
    EXPECT_EQ(pixels[1], (PixelRect{0, 180, 40, 20}));
    // Past the limit, the nearest boxes merge: every one added stays covered, and boxes in two
    // rows far apart are not merged into one box spanning the gap between them.
    Damage many;
    std::vector<Rect> added;
    for (int i = 0; i < 40; ++i)
        added.push_back({i * 10.0, i % 2 == 0 ? 0.0 : 500.0, 4.0, 4.0});
    for (const Rect& r : added)
        many.add(r);
    EXPECT_LE(many.rects().size(), Damage::kMaxRects);
    double area = 0.0;
    for (const Rect& kept : many.rects())
        area += kept.width * kept.height;
    EXPECT_LT(area, 400.0 * 20.0);
    for (const Rect& r : added)
        EXPECT_TRUE(std::any_of(many.rects().begin(), many.rects().end(),
                                [&](const Rect& kept) { return kept.contains(r); }));
    damage.add({0.0, 0.0, std::numeric_limits<double>::infinity(), 1.0});
    EXPECT_TRUE(damage.isAll());
}

// A kept picture is drawn once and painted back until it goes stale or the scale changes. An
// opaque one gives the very pixels of drawing; a translucent one, composited over what is
// under it, is off by at most the rounding of that composite.
TEST(Redisplay, AKeptPictureIsDrawnOnceAndLooksLikeDrawing) {
    const Size size{60.0, 30.0};
    const auto under = [&](Graphics& g) {
        Path all;
        addRect(all, {0.0, 0.0, size.width, size.height});
        g.fill(all, LinearGradient{{0.0, 0.0},
                                   {size.width, 0.0},
                                   {{0.0, {0.1, 0.2, 0.5, 1.0}}, {1.0, {0.9, 0.6, 0.1, 1.0}}}});
    };
    const auto over = [&](Graphics& g) {
        Path wave;
        wave.moveTo({0.0, 25.0});
        for (int i = 1; i <= 12; ++i)
            wave.lineTo({5.0 * i, 15.0 + 10.0 * std::sin(i * 0.9)});
        g.stroke(wave, Color{0.0, 0.8, 1.0, 0.12}, StrokeStyle{6.0});
        g.stroke(wave, Color{0.0, 0.8, 1.0, 0.4}, StrokeStyle{3.0});
        g.fill(wave, Color{1.0, 0.3, 0.6, 0.3});
    };
    for (const LayerKind kind : {LayerKind::opaque, LayerKind::translucent}) {
        const std::function<void(Graphics&)> picture =
            kind == LayerKind::opaque ? std::function<void(Graphics&)>(under) : over;
        LayerCache cache(kind);
        int draws = 0;
        for (const double scale : {1.0, 2.0}) {
            OffscreenImage kept(size, scale);
            OffscreenImage drawn(size, scale);
            for (int frame = 0; frame < 3; ++frame) {
                if (frame == 2) cache.invalidate();
                kept.draw([&](Graphics& g) {
                    under(g);
                    cache.paint(g, size, [&](Graphics& layer) {
                        ++draws;
                        picture(layer);
                    });
                });
            }
            drawn.draw([&](Graphics& g) {
                under(g);
                picture(g);
            });
            double worst = 0.0;
            for (double y = 0.25; y < size.height; y += 0.5)
                for (double x = 0.25; x < size.width; x += 0.5) {
                    const Color a = kept.colorAt({x, y}), b = drawn.colorAt({x, y});
                    worst = std::max({worst, std::abs(a.red - b.red), std::abs(a.green - b.green),
                                      std::abs(a.blue - b.blue)});
                }
            if (kind == LayerKind::opaque)
                EXPECT_EQ(worst, 0.0) << "scale " << scale;
            else
                EXPECT_LE(worst * 255.0, 2.01) << "scale " << scale;
        }
        // Once per scale, and once more for each invalidation.
        EXPECT_EQ(draws, 4);
    }
}

} // namespace
} // namespace zerin
