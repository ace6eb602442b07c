// Draws zerin-editor's icon with the editor's own drawing code and palette: a delay curve over
// the dark canvas. The build runs it once for all the sizes it installs, so the icon follows
// the theme and no picture is kept by hand.
//
//   zerin-draw-icon OUTPUT_DIR NAME SIZE...   writes OUTPUT_DIR/SIZExSIZE/apps/NAME.png

#include "platform/ui/graphics.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/shapes.h"
#include "widgets/theme.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace zerin;

// The icon is drawn on a square of this many points and scaled to each size.
constexpr double kSide = 256.0;

// The curve from low to high frequency: short delays in the lows rising to a long hump in
// the mids, then falling off, as a drawn curve often looks.
Path curvePath() {
    Path path;
    path.moveTo({28.0, 196.0});
    path.cubicTo({76.0, 196.0}, {92.0, 70.0}, {140.0, 72.0});
    path.cubicTo({184.0, 74.0}, {190.0, 150.0}, {228.0, 150.0});
    return path;
}

void drawCanvas(Graphics& g) {
    Path square;
    addRoundedRect(square, {8.0, 8.0, kSide - 16.0, kSide - 16.0}, 44.0);
    g.fill(square, LinearGradient{{0.0, 8.0},
                                  {0.0, kSide - 8.0},
                                  {{0.0, theme::backgroundSecondary}, {1.0, theme::background}}});
    g.stroke(square, theme::borderSubtle, StrokeStyle{4.0});
}

void drawCurve(Graphics& g, bool withPoints) {
    Path fill = curvePath();
    fill.lineTo({228.0, 212.0});
    fill.lineTo({28.0, 212.0});
    fill.close();
    const Color glow = theme::accentCyan.withAlpha(0.22);
    g.fill(fill,
           LinearGradient{{0.0, 72.0}, {0.0, 212.0}, {{0.0, glow}, {1.0, glow.withAlpha(0.0)}}});
    const Path curve = curvePath();
    const StrokeStyle wide{34.0, LineCap::round, LineJoin::round};
    const StrokeStyle core{withPoints ? 12.0 : 20.0, LineCap::round, LineJoin::round};
    g.stroke(curve, theme::accentCyan.withAlpha(0.18), wide);
    g.stroke(curve,
             LinearGradient{
                 {28.0, 0.0}, {228.0, 0.0}, {{0.0, theme::accentCyan}, {1.0, theme::accentPink}}},
             core);
    if (!withPoints) return; // too small to show them
    for (const auto& [at, ring] : {std::pair{Point{28.0, 196.0}, theme::accentCyan},
                                   {Point{140.0, 72.0}, theme::accentPink},
                                   {Point{228.0, 150.0}, theme::accentPink}}) {
        Path disc;
        addCircle(disc, at, 14.0);
        g.fill(disc, theme::background);
        g.stroke(disc, ring, StrokeStyle{7.0});
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: zerin-draw-icon OUTPUT_DIR NAME SIZE...\n");
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        const int pixels = std::stoi(argv[i]);
        const std::string size = std::to_string(pixels) + "x" + std::to_string(pixels);
        const std::filesystem::path folder = std::filesystem::path(argv[1]) / size / "apps";
        std::filesystem::create_directories(folder);
        OffscreenImage image({kSide, kSide}, pixels / kSide);
        image.draw([pixels](Graphics& g) {
            drawCanvas(g);
            drawCurve(g, pixels >= 48);
        });
        std::string error;
        if (!image.writePng((folder / (std::string(argv[2]) + ".png")).string(), &error)) {
            std::fprintf(stderr, "zerin-draw-icon: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
