// What the spectral canvas paints each frame: a gradient background, then grid,
// classification bands, the curve's fill and stroke, the particles, the control points and the
// axis labels, then the drag tooltip on top. The first three, the curve and the points are
// kept as pictures between their changes.

#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "model/curve_model.h"
#include "platform/ui/shapes.h"
#include "widgets/panel_style.h"
#include "widgets/theme.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <string_view>
#include <unordered_map>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};
constexpr double kStrongGridOpacity = 0.18;
constexpr double kFaintGridOpacity = 0.09;

constexpr double kFrequencyLabelInset = 8.0; // label centres above the canvas's bottom edge
constexpr double kLabelGap = 6.0;            // the least room between two frequency labels
constexpr double kInfinityPoints = 1e9;
constexpr double kDelayLabelX = 18.0;

constexpr double kColumnWidth = 4.0;
constexpr float kTonalAbove = 0.6f;
constexpr float kTransientBelow = 0.4f;
constexpr float kBandRamp = 0.4f;
constexpr double kBandOpacity = 0.08;

constexpr double kHaloRadius = 14.0;
constexpr double kPointRadius = 7.0;
constexpr double kPointDotRadius = 2.0;
constexpr double kHaloOpacity = 0.15;
constexpr double kRingWidth = 1.5;
// The system red, for a point that will be deleted on release.
constexpr Color kDeleteRed = Color::rgb255(255, 59, 48);

constexpr double kCurveGlowWidth = 6.0; // the widest of the curve's three strokes
// The flat ends beyond the first and last points, which the kernel holds at their values, are
// drawn as the curve is, this much fainter.
constexpr double kTailOpacity = 0.45;
constexpr double kOtherCurveOpacity = 0.3;
constexpr Color kDelayFill{0.0, 0.7, 1.0, 0.06}; // at the top of the fill's fade

constexpr double kGlowScale = 2.5;
constexpr double kGlowOpacity = 0.12;

const Font kLabelFont{8.0, FontWeight::medium, FontDesign::standard};
const Font kSideLabelFont{8.0, FontWeight::bold, FontDesign::standard};
constexpr double kSideLabelGap = 10.0;   // between the centres of L and R, at least
constexpr double kSideLabelOffset = 8.0; // from a line to its label's centre

// The analyser's scale, on the plot's right edge: a short tick and its level in dBFS, in the
// analyser's mapping (kSpectrumFloorDb at the bottom edge, 0 dB at the top).
constexpr std::array<int, 4> kDecibelMarks{0, -20, -40, -60};
constexpr double kDecibelTick = 5.0;
constexpr double kDecibelOpacity = 0.32;

// Where the analyser puts a bar's top for `db`: its share of the floor, in float as it works it
// out, down the plot, on a whole point.
double decibelY(int db, const Rect& plot) {
    const double share = static_cast<float>(db) / kSpectrumFloorDb;
    return std::round(plot.y + share * plot.height);
}

// The touched point (the one Delete removes) wears a thin ring around its own.
constexpr double kTouchedRadius = 10.5;
constexpr double kTouchedOpacity = 0.55;

// The button that shows the whole frequency axis again, in the labels' row left of the plot.
const Font kResetFont{8.0, FontWeight::bold};
constexpr std::string_view kResetTitle = "RESET";
constexpr double kResetHeight = 14.0;

// What a control point draws at most, its halo, with room for the antialiased edge.
Rect haloBox(Point at) {
    constexpr double kReach = kHaloRadius + 2.0;
    return {at.x - kReach, at.y - kReach, 2.0 * kReach, 2.0 * kReach};
}

// Each kind in its own colour: delays cyan, feedback amber.
Color curveColor(CurveKind kind) {
    return kind == CurveKind::delay ? theme::accentCyan : theme::accentAmber;
}

StrokeStyle curveStroke(double width) {
    return {width, LineCap::round, LineJoin::miter, 10.0};
}

// The curve's three strokes, glow to core, at `opacity` of their own.
void strokeCurve(Graphics& g, const Path& path, Color color, double opacity) {
    g.stroke(path, color.withAlpha(0.12 * opacity), curveStroke(kCurveGlowWidth));
    g.stroke(path, color.withAlpha(0.4 * opacity), curveStroke(3.0));
    g.stroke(path, color.withAlpha(opacity), curveStroke(1.5));
}

// "1k", "1.5k", "200", "62.5": a frequency label.
std::string frequencyLabel(double hz) {
    char text[32];
    if (hz >= 1000.0)
        std::snprintf(text, sizeof text, "%gk", std::round(hz / 10.0) / 100.0);
    else
        std::snprintf(text, sizeof text, "%g", std::round(hz * 10.0) / 10.0);
    return text;
}

// 1, 2, 2.5 or 5 times a power of ten, the nearest at or below `step`.
double niceStep(double step) {
    const double power = std::pow(10.0, std::floor(std::log10(step)));
    for (const double m : {5.0, 2.5, 2.0})
        if (step >= m * power) return m * power;
    return power;
}

double clampUnit(double v) {
    return std::fmin(std::fmax(v, 0.0), 1.0);
}

// The device pixels per point of a context that only translates and scales evenly; 0 for any
// other context.

} // namespace

SpectralCanvasView::~SpectralCanvasView() = default;

void SpectralCanvasView::draw(Graphics& g) {
    const auto points = readCurve();
    takeNewLook();
    prepareFrame(points);
    // A layout has taken the bands and the points' look already, unless the canvas is drawn
    // without one.
    if (inputs.classification != bandsShown) takeNewBands();
    takeNewSpectrum();
    // What lies under the curve changes with the bands (a few times a second), the curve with
    // its points and the wobble's steps; the particles over them move at every frame.
    underLayer.paint(g, size, [this](Graphics& layer) {
        drawBackground(layer);
        drawGrid(layer);
        drawClassification(layer);
        drawDecibelScale(layer);
    });
    // The spectra change some 30 times a second, under everything the curve draws; their
    // picture is patched where bars moved, and only there is the canvas drawn again.
    if (spectrumShownNow != SpectrumShown::off && levelsShown) spectrum.draw(g, spectrumShownNow);
    // Particles drifting sideways and the wobble near the top can reach past the canvas.
    g.save();
    g.clipRect(curveClip());
    curveLayer.paint(g, size, [this](Graphics& layer) {
        drawOtherCurve(layer);
        drawCurveFill(layer);
        drawCurveStroke(layer);
        drawHeardLine(layer);
    });
    drawParticles(g);
    takePointsLook({points, viewState.activePointID, viewState.touchedPointID,
                    viewState.deleteCandidate, lookShown.view});
    pointsLayer.paint(g, size, [&](Graphics& layer) { drawControlPoints(layer, points); });
    g.restore();
    g.save();
    g.clipRect({0.0, 0.0, size.width, size.height});
    drawLabels(g);
    drawSideLabels(g);
    drawResetZoom(g);
    g.restore();
    drawTooltip(g);
}

void SpectralCanvasView::takeNewBands() {
    bandsShown = inputs.classification;
    underLayer.invalidate();
}

Rect SpectralCanvasView::curveClip() const {
    if (lookShown.view.isFull()) return {0.0, 0.0, size.width, size.height};
    const Rect plot = plotRect(size);
    return {plot.x, 0.0, plot.width, size.height};
}

bool SpectralCanvasView::takeNewSpectrum() {
    if (inputs.levels == levelsShown && inputs.spectrumShown == spectrumShownNow &&
        size == spectrumSize && lookShown.view == spectrumView)
        return false;
    levelsShown = inputs.levels;
    spectrumShownNow = inputs.spectrumShown;
    spectrumSize = size;
    spectrumView = lookShown.view;
    if (levelsShown && spectrumShownNow != SpectrumShown::off)
        spectrum.prepare(*levelsShown, plotRect(size), spectrumView);
    else
        spectrum.clear();
    return true;
}

// The points stand still unless dragged: drawn again, where they were and are, only when they
// or the dragged one's look change.
void SpectralCanvasView::takePointsLook(PointsLook look) {
    if (look == pointsShown) return;
    for (const PointsLook* shown : {&pointsShown, &look})
        for (const CurveControlPoint& point : shown->points)
            setNeedsDisplay(haloBox(screenPoint(point, size, inputs.axis(), shown->view)));
    pointsShown = std::move(look);
    pointsLayer.invalidate();
}

// The curve is sorted, mapped and flattened once, then shared by fill, stroke and particles.
void SpectralCanvasView::prepareFrame(const std::vector<CurveControlPoint>& points) {
    // The layout that works out what moved has prepared this very frame already.
    PreparedFrame key{points,         inputs.axis(),
                      lookShown.view, lfoWobbleSize(viewState.lfoPhase, inputs.lfoDepth),
                      size,           viewState.particleSystem->lastTime()};
    if (key == prepared) return;
    const bool curveMoved = !prepared || prepared->points != key.points ||
                            prepared->axis != key.axis || prepared->view != key.view ||
                            prepared->wobble != key.wobble || prepared->size != key.size;
    const bool resized = !prepared || prepared->size != key.size;
    prepared = std::move(key);
    if (resized) prepareLook();
    if (curveMoved) {
        prepareHeardCurve(heard, points, size, inputs.axis(), lookShown.view);
        heardCurvePath(curvePath, heard, prepared->wobble);
        curveLayer.invalidate();
    }
    placeParticles();
}

// Each particle rides the curve at its t, with the curve's wobble and its own offsets, coloured
// by where it is across the plot.
void SpectralCanvasView::placeParticles() {
    particleDots.clear();
    if (!heard.drawable()) return;
    const Rect plot = plotRect(size);
    for (const Particle& p : viewState.particleSystem->particles()) {
        if (!(p.alpha > 0.0f)) continue; // freeze mode's pulse dips below zero: invisible
        const CurveSample s = heardCurveSample(heard, p.t);
        const double wobble = lfoWobble(s.segment, s.u, prepared->wobble);
        const Point at{s.point.x + p.scatterOffset, s.point.y + wobble + p.wobbleY};
        const Color color = theme::spectrumColor(clampUnit((at.x - plot.x) / plot.width));
        particleDots.push_back({at, p.size, color.withAlpha(p.alpha)});
    }
}

void SpectralCanvasView::drawBackground(Graphics& g) {
    auto& gradient = std::get<LinearGradient>(backgroundPaint);
    gradient.start = {0.0, 0.0};
    gradient.end = {0.0, size.height};
    scratchPath.elements.clear();
    addRect(scratchPath, {0.0, 0.0, size.width, size.height});
    g.fill(scratchPath, backgroundPaint);
}

// Lines of one strength never overlap, so each strength is stroked as one path: the same
// pixels as a stroke per line.
void SpectralCanvasView::drawGrid(Graphics& g) {
    const Rect plot = plotRect(size);
    for (const bool strong : {true, false}) {
        const Color color = kWhite.withAlpha(strong ? kStrongGridOpacity : kFaintGridOpacity);
        scratchPath.elements.clear();
        for (const FrequencyMark& mark : frequencyMarks) {
            if (mark.strong != strong) continue;
            const double x = screenX(mark.hz, size, lookShown.view);
            addLine(scratchPath, {x, plot.y}, {x, plot.maxY()});
        }
        g.stroke(scratchPath, color, StrokeStyle{});
    }
    for (const bool strong : {true, false}) {
        const Color color = kWhite.withAlpha(strong ? kStrongGridOpacity : kFaintGridOpacity);
        scratchPath.elements.clear();
        for (const AxisMark& mark : axisMarks) {
            if (mark.strong != strong) continue;
            const double y = screenY(mark.value, size, lookShown.axis());
            addLine(scratchPath, {plot.x, y}, {plot.maxX(), y});
        }
        g.stroke(scratchPath, color, StrokeStyle{});
    }
}

// One 4-point column per step across the plot, tinted cyan where the input is tonal and amber
// where it is transient; the columns in between are left clear.
void SpectralCanvasView::drawClassification(Graphics& g) {
    const auto& frame = inputs.classification;
    const Rect plot = plotRect(size);
    if (!frame || frame->kind != DisplayFrameKind::classification || !isPlaceable(*frame) ||
        !(plot.maxX() > plot.x))
        return;
    const FrequencyView& view = lookShown.view;
    for (double x = plot.x; x < plot.maxX(); x += kColumnWidth) {
        const auto fraction = static_cast<float>((x - plot.x) / plot.width);
        const float freq = std::pow(10.0f, view.logLow() + view.logRange() * fraction);
        const float c = frame->values[binAt(*frame, freq)];
        Color color;
        if (c > kTonalAbove)
            color = theme::accentCyan.withAlpha((c - kTonalAbove) / kBandRamp * kBandOpacity);
        else if (c < kTransientBelow)
            color = theme::accentAmber.withAlpha((kTransientBelow - c) / kBandRamp * kBandOpacity);
        else
            continue;
        scratchPath.elements.clear();
        addRect(scratchPath, {x, plot.y, kColumnWidth, plot.height});
        g.fill(scratchPath, color);
    }
}

// The stroke's polyline, closed down to the plot's bottom edge under the first and last point.
void SpectralCanvasView::drawCurveFill(Graphics& g) {
    if (curvePath.empty()) return;
    const Rect plot = plotRect(size);
    const double firstX = curvePath.elements.front().points[0].x;
    const double lastX = curvePath.elements.back().points[0].x;
    curvePath.lineTo({lastX, plot.maxY()});
    curvePath.lineTo({firstX, plot.maxY()});
    curvePath.close();
    auto& gradient = std::get<LinearGradient>(curveFillPaint);
    gradient.start = {size.width / 2.0, plot.y};
    gradient.end = {size.width / 2.0, plot.maxY()};
    const Color fill = inputs.kind == CurveKind::delay
                           ? kDelayFill
                           : curveColor(inputs.kind).withAlpha(kDelayFill.alpha);
    gradient.stops = {{0.0, fill}, {1.0, fill.withAlpha(0.0)}};
    g.fill(curvePath, curveFillPaint);
    // Back to the open polyline for the stroke.
    curvePath.elements.resize(curvePath.elements.size() - 3);
}

// Between its first and last points the curve is stroked in full; the flat ends the kernel
// holds beyond them, fainter (all of a lone point's line).
void SpectralCanvasView::drawCurveStroke(Graphics& g) {
    if (curvePath.empty()) return;
    const Color color = curveColor(inputs.kind);
    const std::vector<PathElement>& line = curvePath.elements;
    const std::size_t n = line.size();
    // heardCurvePath: the left edge, the first point, ..., the last point, the right edge.
    if (!heard.drawable() || n < 4) {
        strokeCurve(g, curvePath, color, kTailOpacity);
        return;
    }
    tailPath.elements.assign(line.begin() + 1, line.end() - 1);
    tailPath.elements.front().verb = PathVerb::move;
    strokeCurve(g, tailPath, color, 1.0);
    tailPath.elements.clear();
    tailPath.moveTo(line[0].points[0]);
    tailPath.lineTo(line[1].points[0]);
    tailPath.moveTo(line[n - 2].points[0]);
    tailPath.lineTo(line[n - 1].points[0]);
    strokeCurve(g, tailPath, color, kTailOpacity);
}

// Over the analyser's bars: where 0, -20, -40 and -60 dBFS reach, on the plot's right edge,
// while the analyser shows. Kept in the picture under the curve with the grid.
void SpectralCanvasView::drawDecibelScale(Graphics& g) {
    if (!lookShown.decibels) return;
    const Rect plot = plotRect(size);
    const Color color = kWhite.withAlpha(kDecibelOpacity);
    scratchPath.elements.clear();
    for (const int db : kDecibelMarks) {
        const double y = decibelY(db, plot);
        addLine(scratchPath, {plot.maxX() - kDecibelTick, y + 0.5}, {plot.maxX(), y + 0.5});
    }
    g.stroke(scratchPath, color, StrokeStyle{});
    for (const int db : kDecibelMarks) {
        const double y = decibelY(db, plot);
        char text[24];
        // A real minus sign, as the readout prints levels; the top one names the unit.
        if (db == 0)
            std::snprintf(text, sizeof text, "0 dB");
        else
            std::snprintf(text, sizeof text, "\u2212%d", -db);
        const Size measured = measureText(text, kLabelFont);
        const double right = plot.maxX() - kDecibelTick - 3.0;
        // The top label under its tick, inside the plot; the others beside theirs.
        const double centreY = db == 0 ? y + 0.5 + measured.height / 2.0 + 1.0 : y + 0.5;
        g.drawText(text, kLabelFont, color, {right - measured.width / 2.0, centreY});
    }
}

void SpectralCanvasView::drawOtherCurve(Graphics& g) {
    if (otherPath.empty()) return;
    g.stroke(otherPath, curveColor(other.axis.kind).withAlpha(kOtherCurveOpacity),
             curveStroke(1.5));
}

// Over the drawn curve, which stays to be edited: the curve as heard, white and thin.
// Under a stereo spread, the two sides instead, dashed, thinner and no brighter than it, since
// neither is the whole sound.
void SpectralCanvasView::drawHeardLine(Graphics& g) {
    if (!heardPath.empty()) {
        g.stroke(heardPath, kWhite.withAlpha(0.3), curveStroke(4.0));
        g.stroke(heardPath, kWhite.withAlpha(0.9), curveStroke(1.25));
    }
    for (const Path* side : {&heardLeftPath, &heardRightPath}) {
        if (side->empty()) continue;
        g.stroke(*side, kWhite.withAlpha(0.25), curveStroke(3.5));
        g.stroke(*side, kWhite.withAlpha(0.85), curveStroke(1.0));
    }
}

void SpectralCanvasView::drawSideLabels(Graphics& g) {
    if (heardLeftPath.empty() || heardRightPath.empty()) return;
    const Rect plot = plotRect(size);
    if (plot.height < 3.0 * kSideLabelGap) return;
    const double x = plot.x + kSideLabelInset;
    const double top = plot.y + kSideLabelGap / 2.0;
    const double bottom = plot.maxY() - kSideLabelGap / 2.0;
    const double left = std::clamp(heardLeftLabelY - kSideLabelOffset, top, bottom - kSideLabelGap);
    const double right =
        std::clamp(heardRightLabelY + kSideLabelOffset, left + kSideLabelGap, bottom);
    g.drawText("L", kSideLabelFont, kWhite.withAlpha(0.85), {x, left});
    g.drawText("R", kSideLabelFont, kWhite.withAlpha(0.85), {x, right});
}

void SpectralCanvasView::drawParticles(Graphics& g) {
    if (const double scale = g.uniformDeviceScale(); scale > 0.0) {
        if (!discStamps) discStamps = std::make_unique<DiscStamps>();
        DiscStamps& stamps = *discStamps;
        for (const ParticleDot& dot : particleDots) {
            stamps.draw(g.context(), scale, dot.center, dot.radius * kGlowScale,
                        dot.color.withAlpha(dot.color.alpha * kGlowOpacity));
            stamps.draw(g.context(), scale, dot.center, dot.radius, dot.color);
        }
        return;
    }
    for (const ParticleDot& dot : particleDots) {
        scratchPath.elements.clear();
        addCircle(scratchPath, dot.center, dot.radius * kGlowScale);
        g.fill(scratchPath, dot.color.withAlpha(dot.color.alpha * kGlowOpacity));
        scratchPath.elements.clear();
        addCircle(scratchPath, dot.center, dot.radius);
        g.fill(scratchPath, dot.color);
    }
}

void SpectralCanvasView::drawControlPoints(Graphics& g,
                                           const std::vector<CurveControlPoint>& points) {
    for (const CurveControlPoint& point : points) {
        const Point at = screenPoint(point, size, inputs.axis(), lookShown.view);
        if (!g.mayShow(haloBox(at))) continue;
        const bool active = viewState.activePointID == point.id;
        if (!active && viewState.touchedPointID == point.id) {
            scratchPath.elements.clear();
            addCircle(scratchPath, at, kTouchedRadius);
            g.stroke(scratchPath, curveColor(inputs.kind).withAlpha(kTouchedOpacity),
                     StrokeStyle{1.0});
        }
        if (active) {
            scratchPath.elements.clear();
            addCircle(scratchPath, at, kHaloRadius);
            g.fill(scratchPath, curveColor(inputs.kind).withAlpha(kHaloOpacity));
        }
        Color ring = curveColor(inputs.kind);
        if (active) ring = viewState.deleteCandidate ? kDeleteRed : theme::accentPink;
        scratchPath.elements.clear();
        addCircle(scratchPath, at, kPointRadius);
        g.fill(scratchPath, theme::background);
        g.stroke(scratchPath, ring, StrokeStyle{kRingWidth});
        scratchPath.elements.clear();
        addCircle(scratchPath, at, kPointDotRadius);
        g.fill(scratchPath, ring);
    }
}

void SpectralCanvasView::drawLabels(Graphics& g) {
    // Short labels in a small font: none reaches this far from its centre.
    const auto draw = [&](std::string_view text, Point center) {
        if (g.mayShow({center.x - 20.0, center.y - 10.0, 40.0, 20.0}))
            g.drawText(text, kLabelFont, theme::textTertiary, center);
    };
    for (const FrequencyMark& mark : frequencyMarks)
        if (!mark.text.empty())
            draw(mark.text,
                 {screenX(mark.hz, size, lookShown.view), size.height - kFrequencyLabelInset});
    for (const AxisMark& mark : axisMarks)
        draw(mark.text, {kDelayLabelX, screenY(mark.value, size, lookShown.axis())});
}

std::optional<Rect> SpectralCanvasView::resetZoomBox() const {
    if (lookShown.view.isFull() && inputs.frequencyView.isFull()) return std::nullopt;
    const double width = measureText(kResetTitle, kResetFont).width + 10.0;
    return Rect{plotRect(size).x - width - 2.0,
                size.height - kFrequencyLabelInset - kResetHeight / 2.0, width, kResetHeight};
}

void SpectralCanvasView::drawResetZoom(Graphics& g) {
    const std::optional<Rect> box = resetZoomBox();
    if (!box || !g.mayShow(*box)) return;
    drawButtonBackground(g, *box, 4.0);
    g.drawText(kResetTitle, kResetFont, theme::textSecondary,
               {box->x + box->width / 2.0, box->y + box->height / 2.0});
}

// The frequency axis's lines for the view, and which of them are labelled: across most of the
// axis 1, 2 and 5 in every decade (the whole axis: 50 Hz to 10 kHz, the decades strong); zoomed
// to a decade or so, every whole multiple of each decade; narrower, evenly spaced round steps.
// Labels that would crowd the one before them are left out, and so are those that would leave
// the canvas or meet the reset button.
void SpectralCanvasView::markFrequencies() {
    frequencyMarks.clear();
    const Rect plot = plotRect(size);
    const FrequencyView& view = lookShown.view;
    const double low = view.lowHz, high = view.highHz;
    const double decades = view.logRange();
    if (!(plot.width > 0.0) || !(decades > 0.0)) return;
    std::vector<double> lines;
    const auto strongAt = [](double hz) {
        const double decade = std::round(std::log10(hz));
        return std::abs(hz - std::pow(10.0, decade)) < 1e-3 * hz;
    };
    if (decades >= 0.7) {
        static constexpr double kWide[] = {1.0, 2.0, 5.0};
        static constexpr double kNarrow[] = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0};
        const bool wide = decades >= 1.5;
        for (double decade = std::pow(10.0, std::floor(std::log10(low))); decade <= high;
             decade *= 10.0) {
            for (const double m :
                 wide ? std::span<const double>(kWide) : std::span<const double>(kNarrow))
                lines.push_back(m * decade);
        }
    } else {
        const double step = niceStep((high - low) / 8.0);
        for (double k = std::ceil(low / step); k * step <= high; k += 1.0)
            lines.push_back(k * step);
    }
    double lastRight = -kInfinityPoints;
    const std::optional<Rect> reset = resetZoomBox();
    for (const double hz : lines) {
        const double x = screenX(static_cast<float>(hz), size, view);
        // The plot's own edges need no line.
        if (x <= plot.x + 1.0 || x >= plot.maxX() - 1.0) continue;
        FrequencyMark mark{static_cast<float>(hz), strongAt(hz), frequencyLabel(hz)};
        const double half = measureText(mark.text, kLabelFont).width / 2.0;
        const bool crowds = x - half < lastRight + kLabelGap;
        const bool leaves = x - half < 2.0 || x + half > size.width - 2.0;
        const bool meetsReset = reset && x - half < reset->maxX() + kLabelGap;
        if (crowds || leaves || meetsReset)
            mark.text.clear();
        else
            lastRight = x + half;
        frequencyMarks.push_back(std::move(mark));
    }
}

void SpectralCanvasView::damageWhatMoved() {
    const auto points = readCurve();
    const bool newLook = takeNewLook();
    prepareFrame(points);
    std::vector<Rect> moving = movingAreas();
    takePointsLook({points, viewState.activePointID, viewState.touchedPointID,
                    viewState.deleteCandidate, lookShown.view});
    const bool newBands = inputs.classification != bandsShown;
    if (newBands) takeNewBands();
    // Where the spectra's bars rose or fell is drawn again, with what lies over it.
    if (takeNewSpectrum()) {
        spectrumDamage.clear();
        spectrum.changedAreas(spectrumDamage);
        for (const Rect& area : spectrumDamage)
            setNeedsDisplay(area);
    }
    if (newLook || newBands || lastMoving.size() != moving.size()) {
        setNeedsDisplay();
    } else {
        for (std::size_t k = 0; k < moving.size(); ++k)
            setNeedsDisplay(unionOf(lastMoving[k], moving[k]));
    }
    lastMoving = std::move(moving);
}

// Everything that moves, with room for what is drawn around it (the curve's glow, the
// particles' glows, antialiased edges), as one box per column of the
// canvas. What moves lies along the curve, so a column's box is only as tall as the curve's
// course through it, where one box around all of it would take in most of the canvas.
std::vector<Rect> SpectralCanvasView::movingAreas() const {
    struct Extent {
        double y0 = std::numeric_limits<double>::infinity();
        double y1 = -std::numeric_limits<double>::infinity();
    };
    std::array<Extent, kDamageColumns> columns;
    const double columnWidth = size.width / kDamageColumns;
    if (!(columnWidth > 0.0)) return {};
    const auto take = [&](double x0, double x1, double y0, double y1) {
        const auto column = [&](double x) {
            return std::clamp(static_cast<int>(std::floor(x / columnWidth)), 0, kDamageColumns - 1);
        };
        if (!std::isfinite(x0) || !std::isfinite(x1)) return;
        for (int k = column(x0); k <= column(x1); ++k) {
            columns[k].y0 = std::fmin(columns[k].y0, y0);
            columns[k].y1 = std::fmax(columns[k].y1, y1);
        }
    };
    const auto around = [&](Point at, double reach) {
        take(at.x - reach, at.x + reach, at.y - reach, at.y + reach);
    };
    constexpr double kEdge = 2.0;
    constexpr double kCurveReach = kCurveGlowWidth / 2.0 + kEdge;
    const std::vector<PathElement>& curve = curvePath.elements;
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const Point a = curve[i].points[0];
        const Point b = i + 1 < curve.size() ? curve[i + 1].points[0] : a;
        // A piece beside a zoomed canvas is never drawn.
        if (std::fmax(a.x, b.x) < -kCurveReach || std::fmin(a.x, b.x) > size.width + kCurveReach)
            continue;
        take(std::fmin(a.x, b.x) - kCurveReach, std::fmax(a.x, b.x) + kCurveReach,
             std::fmin(a.y, b.y) - kCurveReach, std::fmax(a.y, b.y) + kCurveReach);
    }
    for (const ParticleDot& dot : particleDots)
        around(dot.center, dot.radius * kGlowScale + kEdge);
    for (const std::optional<Rect>& box : {tooltipBox(), hoverBox()})
        if (box) take(box->x - kEdge, box->maxX() + kEdge, box->y - kEdge, box->maxY() + kEdge);
    std::vector<Rect> areas(kDamageColumns);
    for (int k = 0; k < kDamageColumns; ++k) {
        const double y0 = std::fmax(columns[k].y0, 0.0);
        const double y1 = std::fmin(columns[k].y1, size.height);
        if (y1 > y0) areas[k] = {k * columnWidth, y0, columnWidth, y1 - y0};
    }
    return areas;
}

} // namespace zerin
