#include "editor/spectral_canvas_view.h"

#include "editor/curve_geometry.h"
#include "platform/ui/ui_context.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr double kFirstFrameStep = 1.0 / 60.0;
// A wheel notch with Ctrl widens the view by this factor (narrows it, turned the other way);
// with Shift it moves the view by this share of its width.
constexpr double kZoomStep = 1.25;
constexpr double kPanStep = 0.1;
// The wobble pattern moves at this fraction of the LFO's rate: slow enough to read.
constexpr double kLfoVisualRateFactor = 2.0 / 11.0;

std::optional<std::size_t> indexOf(const std::vector<CurveControlPoint>& points, const Uuid& id) {
    const auto found = std::find_if(points.begin(), points.end(),
                                    [&id](const CurveControlPoint& p) { return p.id == id; });
    if (found == points.end()) return std::nullopt;
    return static_cast<std::size_t>(found - points.begin());
}

std::shared_ptr<ParticleSystem> orNew(std::shared_ptr<ParticleSystem> particles) {
    return particles ? std::move(particles) : std::make_shared<ParticleSystem>();
}

} // namespace

SpectralCanvasView::SpectralCanvasView(std::shared_ptr<ParticleSystem> particles) {
    viewState.particleSystem = orNew(std::move(particles));
    backgroundPaint = LinearGradient{
        {}, {}, {{0.0, theme::background}, {1.0, theme::backgroundSecondary.withAlpha(0.9)}}};
    curveFillPaint = LinearGradient{}; // its stops follow the kind edited
}

SpectralCanvasView::SpectralCanvasView(const KeyboardModifierState& modifiers,
                                       std::shared_ptr<ParticleSystem> particles)
    : SpectralCanvasView(std::move(particles)) {
    modifierSource = &modifiers;
}

ModifierKeys SpectralCanvasView::heldModifiers() const {
    if (modifierSource) return modifierSource->current();
    return context() ? context()->modifiers().current() : ModifierKeys{};
}

bool SpectralCanvasView::optionHeld() const {
    return heldModifiers().option;
}

std::vector<CurveControlPoint> SpectralCanvasView::readCurve() const {
    return inputs.curvePoints.get ? inputs.curvePoints.get() : std::vector<CurveControlPoint>{};
}

// The canvas hands its owner the curve sorted by frequency, as the unit holds it, and once
// per pointer event: whatever listens to the curve sees each edit whole.
void SpectralCanvasView::writeCurve(std::vector<CurveControlPoint> points) {
    if (inputs.curvePoints.set) inputs.curvePoints.set(std::move(points));
}

void SpectralCanvasView::reportChange() {
    if (inputs.onCurveChanged) inputs.onCurveChanged();
}

void SpectralCanvasView::removePoint(const Uuid& id) {
    auto points = readCurve();
    std::erase_if(points, [&id](const CurveControlPoint& p) { return p.id == id; });
    if (viewState.touchedPointID == id) viewState.touchedPointID.reset();
    writeCurve(sortedByFrequency(std::move(points)));
    reportChange();
}

bool SpectralCanvasView::deletePoint(const Uuid& id) {
    const auto points = readCurve();
    if (points.size() <= 2 || !indexOf(points, id)) return false;
    removePoint(id);
    return true;
}

bool SpectralCanvasView::deleteTouchedPoint() {
    if (viewState.activePointID || !viewState.touchedPointID) return false;
    return deletePoint(*viewState.touchedPointID);
}

bool SpectralCanvasView::setPoint(const Uuid& id, std::optional<float> freq,
                                  std::optional<float> value) {
    auto points = readCurve();
    const auto index = indexOf(points, id);
    if (!index) return false;
    viewState.touchedPointID = id;
    CurveControlPoint& point = points[*index];
    const CurveControlPoint before = point;
    if (freq && !std::isnan(*freq)) point.freq = std::clamp(*freq, C::minFreq, C::maxFreq);
    if (value && !std::isnan(*value)) point.value = std::clamp(*value, 0.0f, inputs.axis().top);
    if (point == before) return true;
    writeCurve(sortedByFrequency(std::move(points)));
    reportChange();
    return true;
}

void SpectralCanvasView::setFrequencyView(FrequencyView newView) {
    newView = limitedFrequencyView(newView);
    if (newView == inputs.frequencyView) return;
    inputs.frequencyView = newView;
    if (inputs.onFrequencyViewChanged) inputs.onFrequencyViewChanged(newView);
    setNeedsDisplay();
}

bool SpectralCanvasView::isOnFrequencyAxis(Point location) const {
    const Rect plot = plotRect(size);
    return location.y >= plot.maxY() && location.y <= size.height && location.x >= plot.x &&
           location.x <= plot.maxX();
}

bool SpectralCanvasView::scrollWheel(double lines, Point local) {
    const Rect plot = plotRect(size);
    if (local.x < plot.x || local.x > plot.maxX() || local.y < plot.y || local.y > size.height)
        return false;
    const ModifierKeys keys = heldModifiers();
    if (keys.control || keys.command) {
        const float anchor = frequencyAt(local.x, plot, view());
        setFrequencyView(zoomedFrequencyView(view(), anchor, std::pow(kZoomStep, lines)));
        return true;
    }
    if (keys.shift) {
        setFrequencyView(pannedFrequencyView(view(), lines * kPanStep * view().octaves()));
        return true;
    }
    return false;
}

void SpectralCanvasView::handleDragChanged(Point location) {
    auto points = readCurve();
    if (!viewState.activePointID && !pickUp(location, points)) return;
    moveActivePoint(location, std::move(points));
}

// Until a point is active, each update may delete (Option), pick a point up or create one.
// An Option-drag therefore deletes every point it crosses until only two are left. A point
// created joins `points` and is written with the move that follows, in the same update.
bool SpectralCanvasView::pickUp(Point location, std::vector<CurveControlPoint>& points) {
    const bool option = optionHeld();
    if (const auto hit = zerin::hitTest(points, location, size, inputs.axis(), view())) {
        if (option && points.size() > 2) {
            removePoint(points[*hit].id);
            return false;
        }
        viewState.activePointID = points[*hit].id;
        viewState.touchedPointID = viewState.activePointID;
        return true;
    }
    if (option) return false;

    const CurvePoint value = curveValueAt(location, size, inputs.axis(), view());
    const CurveControlPoint created{Uuid::random(), value.freq, value.value};
    points.push_back(created);
    viewState.activePointID = created.id;
    viewState.touchedPointID = created.id;
    return true;
}

void SpectralCanvasView::moveActivePoint(Point location, std::vector<CurveControlPoint> points) {
    const Uuid id = *viewState.activePointID;
    sortByFrequency(points);
    const auto index = indexOf(points, id);
    if (!index) return; // the curve was replaced during the drag

    const CurvePoint value = curveValueAt(location, size, inputs.axis(), view());
    float freq = value.freq;
    // Keep the point between its neighbours so the list stays sorted as it moves; when they
    // are under 2 Hz apart the upper bound wins.
    const std::size_t j = *index;
    if (j > 0) freq = std::max(freq, points[j - 1].freq + 1.0f);
    if (j + 1 < points.size()) freq = std::min(freq, points[j + 1].freq - 1.0f);
    // A neighbour at an end of the axis would otherwise push the point off it.
    freq = std::clamp(freq, C::minFreq, C::maxFreq);

    points[j].freq = freq;
    points[j].value = value.value;
    writeCurve(points);

    viewState.deleteCandidate = isInDeleteBand(location, size) && points.size() > 2;
    viewState.tooltipText = viewState.deleteCandidate
                                ? std::string("Release to delete")
                                : formatTooltip(freq, value.value, inputs.axis(), inputs.syncTempo);
    viewState.tooltipPosition = location;
    reportChange();
}

void SpectralCanvasView::handleDragEnded(Point location) {
    if (viewState.activePointID && readCurve().size() > 2 && isInDeleteBand(location, size))
        removePoint(*viewState.activePointID);
    viewState.activePointID.reset();
    viewState.tooltipText.reset();
    viewState.deleteCandidate = false;
}

bool SpectralCanvasView::handleDoubleTap(Point location) {
    const auto points = readCurve();
    if (points.size() <= 2) return false;
    const auto hit = zerin::hitTest(points, location, size, inputs.axis(), view());
    if (!hit) return false;
    removePoint(points[*hit].id);
    return true;
}

void SpectralCanvasView::advanceFrame(double now) {
    const double dt = viewState.lastTime > 0.0 ? now - viewState.lastTime : kFirstFrameStep;
    viewState.lastTime = now;
    viewState.lfoPhase += 2.0 * std::numbers::pi * inputs.lfoRate * dt * kLfoVisualRateFactor;
    viewState.particleSystem->update(inputs.mode, now, inputs.scatterSpeed);
}

// The first press of a double click drags (it picks up or adds a point, as any press does);
// the second one deletes the point under it, and when it does, that press is not also a drag,
// which would put a new point where the old one was.
//
// A right click on a point opens its menu (the owner's), and touches it. A press on the
// frequency labels' row under the plot, off any point, pans the view as it drags, and a double
// click there shows the whole axis again, as the reset button does while the view is zoomed.
void SpectralCanvasView::pointerDown(const PointerEvent& event) {
    pressConsumed = false;
    axisDrag.reset();
    if (event.button != PointerButton::left) {
        pressConsumed = true;
        if (event.button != PointerButton::right) return;
        const auto points = readCurve();
        if (const auto hit = zerin::hitTest(points, event.location, size, inputs.axis(), view())) {
            viewState.touchedPointID = points[*hit].id;
            if (inputs.onPointMenu) inputs.onPointMenu(points[*hit].id, event.location);
        }
        return;
    }
    if (const std::optional<Rect> reset = resetZoomBox();
        reset && reset->contains(event.location)) {
        pressConsumed = true;
        setFrequencyView({});
        return;
    }
    if (event.clickCount == 2 && handleDoubleTap(event.location)) {
        pressConsumed = true;
        return;
    }
    if (isOnFrequencyAxis(event.location) &&
        !zerin::hitTest(readCurve(), event.location, size, inputs.axis(), view())) {
        pressConsumed = true;
        if (event.clickCount == 2)
            setFrequencyView({});
        else
            axisDrag = AxisDrag{event.location.x, view()};
        return;
    }
    handleDragChanged(event.location);
}

void SpectralCanvasView::pointerDragged(const PointerEvent& event) {
    if (axisDrag) {
        // The frequency under the press stays under the pointer: dragging right shows lower
        // frequencies.
        const double width = plotRect(size).width;
        if (!(width > 0.0)) return;
        const double octaves =
            -(event.location.x - axisDrag->startX) / width * axisDrag->startView.octaves();
        setFrequencyView(pannedFrequencyView(axisDrag->startView, octaves));
        return;
    }
    if (!pressConsumed) handleDragChanged(event.location);
}

void SpectralCanvasView::pointerUp(const PointerEvent& event) {
    if (!pressConsumed) handleDragEnded(event.location);
    pressConsumed = false;
    axisDrag.reset();
}

void SpectralCanvasView::layout(const Rect& frame) {
    View::layout(frame);
    size = {frame.width, frame.height};
    followFrameClock();
    // After the frame's callbacks and the owner's layout, which hand the canvas its inputs.
    if (moved || inputs.classification != bandsShown || inputs.levels != levelsShown ||
        inputs.spectrumShown != spectrumShownNow || inputs.frequencyView != lookShown.view)
        damageWhatMoved();
    moved = false;
}

// Subscribes once per host. The frame the canvas first appears in only sets the clock's
// starting point; every later new frame time advances the animation.
void SpectralCanvasView::followFrameClock() {
    UIContext* current = context();
    if (current == clockContext) return;
    clockContext = current;
    previousFrameTime.reset();
    frameSubscription.cancel();
    if (!current) return;
    if (current->frameTime() > 0.0) previousFrameTime = current->frameTime();
    frameSubscription = current->onFrame([this] { frameTick(); });
}

void SpectralCanvasView::frameTick() {
    const double now = clockContext->frameTime();
    if (previousFrameTime && *previousFrameTime != now) {
        advanceFrame(now);
        // The particles never rest: every new frame time moves them.
        moved = true;
    }
    previousFrameTime = now;
}

} // namespace zerin
