#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/shapes.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace zerin {
namespace {

Path rectPath(const Rect& r) {
    Path p;
    addRect(p, r);
    return p;
}

void expectColor(const Color& actual, const Color& expected, double tolerance) {
    EXPECT_NEAR(actual.red, expected.red, tolerance);
    EXPECT_NEAR(actual.green, expected.green, tolerance);
    EXPECT_NEAR(actual.blue, expected.blue, tolerance);
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance);
}

Point cubicAt(Point a, Point b, Point c, Point d, double t) {
    const double u = 1 - t;
    return {u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x,
            u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y};
}

// Points along the path, 32 per curve or line.
std::vector<Point> sample(const Path& path) {
    std::vector<Point> points;
    Point current, start;
    for (const PathElement& e : path.elements) {
        const auto& p = e.points;
        if (e.verb == PathVerb::move) start = current = p[0];
        for (int i = 1; i <= 32 && e.verb != PathVerb::move; ++i) {
            const double t = i / 32.0;
            const Point to = e.verb == PathVerb::cubic  ? p[2]
                             : e.verb == PathVerb::line ? p[0]
                                                        : start;
            points.push_back(e.verb == PathVerb::cubic ? cubicAt(current, p[0], p[1], p[2], t)
                                                       : Point{current.x + t * (to.x - current.x),
                                                               current.y + t * (to.y - current.y)});
        }
        if (e.verb == PathVerb::cubic) current = p[2];
        if (e.verb == PathVerb::line) current = p[0];
        if (e.verb == PathVerb::close) current = start;
        if (e.verb == PathVerb::move) points.push_back(current);
    }
    return points;
}

// Distance to the polyline through the samples.
double distanceToPath(const std::vector<Point>& points, Point target) {
    double best = 1e9;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const Point a = points[i - 1], b = points[i];
        const double length2 = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
        double t = length2 > 0
                       ? ((target.x - a.x) * (b.x - a.x) + (target.y - a.y) * (b.y - a.y)) / length2
                       : 0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(
            best, std::hypot(a.x + t * (b.x - a.x) - target.x, a.y + t * (b.y - a.y) - target.y));
    }
    return best;
}

// The bounds, in points, of every pixel with some ink.
struct Ink {
    Rect bounds;
    int pixels = 0;
};

Ink inkOf(const OffscreenImage& image, double threshold = 0.2) {
    const double s = image.scale();
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    int count = 0;
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            if (image.colorAt({(x + 0.5) / s, (y + 0.5) / s}).alpha < threshold) continue;
            ++count;
            minX = std::min(minX, x / s);
            minY = std::min(minY, y / s);
            maxX = std::max(maxX, (x + 1) / s);
            maxY = std::max(maxY, (y + 1) / s);
        }
    }
    if (count == 0) return {};
    return {{minX, minY, maxX - minX, maxY - minY}, count};
}

TEST(Group, CompositesOnceWithItsOpacity) {
    OffscreenImage image({40, 20}, 1.0);
    image.draw([&](Graphics& g) {
        g.beginGroup();
        g.fill(rectPath({0, 0, 30, 20}), Color{1, 0, 0, 1});
        g.fill(rectPath({10, 0, 30, 20}), Color{0, 1, 0, 1});
        g.endGroup(0.5);
    });
    expectColor(image.colorAt({5, 10}), {1, 0, 0, 0.5}, 0.01);
    expectColor(image.colorAt({20, 10}), {0, 1, 0, 0.5}, 0.01); // no red shows through
}

TEST(Shadow, FadesOutsideTheShapeOnly) {
    for (double scale : {1.0, 2.0}) {
        OffscreenImage image({120, 100}, scale);
        Path panel;
        addRoundedRect(panel, {30, 30, 60, 40}, 8);
        for (int frame = 0; frame < 2; ++frame) { // the second frame comes from the kept mask
            image.clear();
            image.draw([&](Graphics& g) { g.shadow(panel, {0, 0, 0, 0.8}, 10, 0, 4); });
            EXPECT_EQ(image.colorAt({60, 50}).alpha, 0.0);
            const double below = image.colorAt({60, 71}).alpha;
            EXPECT_GT(below, 0.4);
            EXPECT_LT(below, 0.8);
            EXPECT_LT(image.colorAt({60, 29}).alpha, below - 0.1); // offset downwards
            EXPECT_LT(image.colorAt({60, 82}).alpha, below / 2);
            EXPECT_GT(image.colorAt({95, 50}).alpha, image.colorAt({102, 50}).alpha);
            EXPECT_LT(image.colorAt({115, 50}).alpha, 0.02);
            expectColor(image.colorAt({25, 50}), {0, 0, 0, image.colorAt({25, 50}).alpha}, 0.01);
        }
    }
}

// A scene with edges, gradients, strokes, a clip, a shadow and text.
void scene(Graphics& g) {
    g.fill(rectPath({0, 0, 80, 60}), LinearGradient{{0, 0}, {0, 60}, {{0, {0.1, 0.2, 0.3, 1}}}});
    Path panel;
    addRoundedRect(panel, {10, 10, 50, 30}, 8);
    g.shadow(panel, {0, 0, 0, 0.6}, 6, 0, 2);
    g.save();
    g.clip(panel);
    g.fill(rectPath({0, 0, 80, 60}), Color{0.8, 0.5, 0.2, 1});
    g.restore();
    Path arc;
    addArc(arc, {40, 30}, 15, 0, 3);
    g.stroke(arc, Color{0, 1, 1, 1}, {2.5, LineCap::round});
    g.drawText("Ab", {10}, {1, 1, 1, 1}, {68, 50});
}

TEST(Scale, DoubledPixelsMatchTheSameDrawing) {
    OffscreenImage single({80, 60}, 1.0), twice({80, 60}, 2.0);
    single.draw(scene);
    twice.draw(scene);
    ASSERT_EQ(twice.pixelWidth(), 160);
    int compared = 0, matching = 0;
    for (double y = 0.5; y < 60; y += 1) {
        for (double x = 0.5; x < 80; x += 1) {
            const Color a = single.colorAt({x, y});
            const Color b = twice.colorAt({x, y});
            ++compared;
            matching +=
                std::abs(a.red - b.red) + std::abs(a.green - b.green) + std::abs(a.blue - b.blue) <
                0.06;
        }
    }
    // Edges are antialiased differently; everything else matches.
    EXPECT_GT(matching, compared * 0.93);
    EXPECT_NEAR(OffscreenImage({10.2, 3}, 1.5).pixelWidth(), 16, 0); // rounded up
}

TEST(Shapes, RoundedRectanglesStayInsideAndCornersDiffer) {
    const Rect r{10, 20, 100, 40};
    for (double radius : {0.0, 8.0, 13.0, 30.0, 500.0}) {
        for (bool continuous : {true, false}) {
            Path p;
            addRoundedRect(p, r, radius, continuous);
            const std::vector<Point> points = sample(p);
            for (Point q : points) {
                EXPECT_GE(q.x, r.x - 1e-9);
                EXPECT_LE(q.x, r.maxX() + 1e-9);
                EXPECT_GE(q.y, r.y - 1e-9);
                EXPECT_LE(q.y, r.maxY() + 1e-9);
            }
            for (Point mid : {Point{60, 20}, Point{60, 60}, Point{10, 40}, Point{110, 40}})
                EXPECT_LT(distanceToPath(points, mid), 1e-9) << radius << continuous;
            if (radius == 0) continue;
            // Tangents never jump: each piece leaves the way the previous one arrived.
            Point previous = p.elements[0].points[0], arriving{};
            for (const PathElement& e : p.elements) {
                if (e.verb != PathVerb::line && e.verb != PathVerb::cubic) continue;
                const Point first = e.points[0];
                const Point leaving{first.x - previous.x, first.y - previous.y};
                if (std::hypot(leaving.x, leaving.y) > 1e-9 &&
                    std::hypot(arriving.x, arriving.y) > 1e-9) {
                    const double cross = leaving.x * arriving.y - leaving.y * arriving.x;
                    EXPECT_NEAR(cross / std::hypot(leaving.x, leaving.y) /
                                    std::hypot(arriving.x, arriving.y),
                                0, 1e-6);
                }
                const Point end = e.verb == PathVerb::cubic ? e.points[2] : e.points[0];
                const Point lastHandle = e.verb == PathVerb::cubic ? e.points[1] : previous;
                if (std::hypot(end.x - lastHandle.x, end.y - lastHandle.y) > 1e-9)
                    arriving = {end.x - lastHandle.x, end.y - lastHandle.y};
                previous = end;
            }
        }
    }
    // 1.2 radii before the corner the circular outline is still on the side, the continuous
    // one has already begun to turn.
    Path circular, continuous;
    addRoundedRect(circular, r, 10, false);
    addRoundedRect(continuous, r, 10, true);
    EXPECT_LT(distanceToPath(sample(circular), {98, 20}), 1e-9);
    EXPECT_GT(distanceToPath(sample(continuous), {98, 20}), 0.01);
}

TEST(Text, IsCentredMeasuredAndEllipsized) {
    const Font font{14};
    for (double scale : {1.0, 1.5, 2.0}) {
        OffscreenImage image({200, 60}, scale);
        image.draw([&](Graphics& g) { g.drawText("HOH 404", font, {1, 1, 1, 1}, {100, 30}); });
        const Ink ink = inkOf(image);
        ASSERT_GT(ink.pixels, 20);
        EXPECT_NEAR(ink.bounds.x + ink.bounds.width / 2, 100, 1.0) << scale;
        EXPECT_NEAR(ink.bounds.y + ink.bounds.height / 2, 30, 2.0) << scale;
        EXPECT_NEAR(ink.bounds.width, measureText("HOH 404", font).width, 2.5);
    }
    // Tracking goes between characters only, so that a tracked caption centres true.
    EXPECT_NEAR(measureText("FEEDBACK", {9, FontWeight::regular, FontDesign::standard, 1.0}).width,
                measureText("FEEDBACK", {9}).width + 7, 0.05);
    EXPECT_EQ(measureText("", {9}).width, 0);

    OffscreenImage image({200, 40}, 2.0);
    const Rect box{20, 10, 60, 20};
    image.draw([&](Graphics& g) {
        g.drawTextInBox("A rather long preset name that cannot fit", font, {1, 1, 1, 1}, box,
                        TextAlignment::leading);
        g.drawTextInBox("ok", font, {1, 1, 1, 1}, {100, 10, 80, 20}, TextAlignment::trailing);
    });
    const Ink ink = inkOf(image);
    EXPECT_LT(ink.bounds.x + 0.5, box.x + 2);
    EXPECT_GT(ink.bounds.maxX(), 178); // the short text ends at its box's right edge
    image.clear();
    image.draw([&](Graphics& g) {
        g.drawTextInBox("A rather long preset name that cannot fit", font, {1, 1, 1, 1}, box,
                        TextAlignment::leading);
    });
    EXPECT_LE(inkOf(image, 0.05).bounds.maxX(), box.maxX() + 0.5);
    EXPECT_GT(inkOf(image).bounds.maxX(), box.maxX() - 12); // it did fill the box
}

TEST(Symbols, DrawInsideTheirBoxAndGetBolder) {
    for (const char* name : {"chevron.down", "square.and.arrow.down", "xmark"}) {
        EXPECT_TRUE(isKnownSymbol(name));
        int previous = 0;
        for (FontWeight weight : {FontWeight::regular, FontWeight::bold}) {
            OffscreenImage image({60, 60}, 2.0);
            const Font font{20, weight};
            image.draw([&](Graphics& g) { g.drawSymbol(name, font, {1, 1, 1, 1}, {30, 30}); });
            const Ink ink = inkOf(image, 0.05);
            const Size box = measureSymbol(name, font);
            EXPECT_GT(box.height, 5);
            EXPECT_LT(box.height, 20);
            EXPECT_GE(ink.bounds.x, 30 - box.width / 2 - 0.5) << name;
            EXPECT_LE(ink.bounds.maxY(), 30 + box.height / 2 + 0.5) << name;
            EXPECT_GT(ink.pixels, previous) << name;
            previous = ink.pixels;
        }
    }
    EXPECT_FALSE(isKnownSymbol("gear"));
    EXPECT_EQ(measureSymbol("gear", {20}), (Size{}));
    OffscreenImage image({60, 60}, 1.0);
    image.draw([&](Graphics& g) { g.drawSymbol("gear", {20}, {1, 1, 1, 1}, {30, 30}); });
    EXPECT_EQ(inkOf(image, 0.01).pixels, 0);
}

TEST(Png, WritesWholeFilesOrNothing) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zerin-png-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    OffscreenImage image({30, 20}, 1.5);
    image.draw([&](Graphics& g) { g.fill(rectPath({0, 0, 10, 10}), Color{0, 1, 0, 1}); });
    const std::string path = (folder / "shot.png").string();
    std::string error;
    ASSERT_TRUE(image.writePng(path, &error)) << error;
    cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read), 45);
    EXPECT_EQ(cairo_image_surface_get_height(read), 30);
    cairo_surface_destroy(read);

    const std::string missing = (folder / "nowhere" / "shot.png").string();
    EXPECT_FALSE(image.writePng(missing, &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(folder / "nowhere"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace zerin
