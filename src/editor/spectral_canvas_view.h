#pragma once

#include "editor/curve_model.h"
#include "editor/particle_system.h"
#include "platform/ui/binding.h"
#include "platform/ui/geometry.h"
#include "platform/ui/modifier_keys.h"
#include "platform/ui/uuid.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

// A press this close to a point's centre (points, strictly less) picks the point up.
inline constexpr double kHitRadius = 14.0;
// Dragging a point into the bottom strip of this height marks it for deletion on release.
inline constexpr double kDeleteBandHeight = 20.0;

// What the owner (the main view) hands the canvas each time it rebuilds it. The canvas does
// not own the curve: it edits it through the binding and reports each edit.
struct SpectralCanvasInputs {
    Binding<std::vector<CurveControlPoint>> curvePoints;
    SpectralMode mode = SpectralMode::delay;
    float lfoRate = 1.0f;      // Hz
    float lfoDepth = 0.0f;     // fraction 0..1
    float scatterSpeed = 0.0f; // fraction 0..1
    std::function<void()> onCurveChanged;
    std::optional<std::vector<float>> classificationData; // newest snapshot, one value per bin
};

// The canvas's own state, kept across rebuilds for the canvas's lifetime. Input handling
// writes it; the drawing reads it.
struct SpectralCanvasState {
    std::optional<Uuid> activePointID; // the point being dragged
    std::shared_ptr<ParticleSystem> particleSystem;
    std::optional<std::string> tooltipText; // shown only while a point is dragged
    Point tooltipPosition;                  // the pointer, which the tooltip follows
    bool deleteCandidate = false;           // releasing now would delete the dragged point
    double lfoPhase = 0.0;                  // radians, never wrapped
    double lastTime = 0.0;                  // previous animation frame, seconds
};

// The frequency/delay display the user draws the curve on. Pointer events arrive in canvas
// coordinates (points, origin top left, y downwards). Main thread only; onCurveChanged is
// called synchronously from the handlers.
class SpectralCanvasView {
public:
    explicit SpectralCanvasView(const KeyboardModifierState& modifiers,
                                std::shared_ptr<ParticleSystem> particles = nullptr);

    SpectralCanvasInputs inputs;
    Size size; // set by layout before events arrive

    const SpectralCanvasState& state() const { return viewState; }

    // Press and every movement of a drag (the recogniser starts on the press itself).
    void handleDragChanged(Point location);
    // Release, once per drag.
    void handleDragEnded(Point location);
    void handleDoubleTap(Point location);

    // One animation frame at time `now` (seconds): the curve's LFO wobble and the particles.
    void advanceFrame(double now);

private:
    std::vector<CurveControlPoint> readCurve() const;
    void writeCurve(std::vector<CurveControlPoint> points);
    // An insertion or deletion: the edited list, then the same list sorted, then the report.
    void writeReordered(std::vector<CurveControlPoint> points, bool report);
    void reportChange();
    void removePoint(const Uuid& id);
    void pickUp(Point location);
    void moveActivePoint(Point location);

    const KeyboardModifierState& modifiers;
    SpectralCanvasState viewState;
};

// "440 Hz | 350 ms", "12.3k Hz | 0 ms": kilohertz from 1000 Hz on (by f, not by the text).
std::string formatTooltip(float freq, float delay);

// Index of the first point, in list order, whose screen position lies within kHitRadius.
std::optional<std::size_t> hitTest(const std::vector<CurveControlPoint>& points, Point location,
                                   Size canvas);

bool isInDeleteBand(Point location, Size canvas);

} // namespace zerin
