#pragma once

#include "dsp/display_frame.h"
#include "editor/canvas_input.h"
#include "editor/disc_stamps.h"
#include "editor/frequency_view.h"
#include "editor/heard_curve.h"
#include "editor/particle_system.h"
#include "editor/spectrum_plot.h"
#include "model/curve_model.h"
#include "model/uuid.h"
#include "platform/ui/binding.h"
#include "platform/ui/geometry.h"
#include "platform/ui/graphics.h"
#include "platform/ui/layer_cache.h"
#include "platform/ui/modifier_keys.h"
#include "platform/ui/path.h"
#include "platform/ui/view.h"
#include "signals/observation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

// What the owner (the main view) hands the canvas each time it rebuilds it. The canvas does
// not own the curve: it edits it through the binding and reports each edit.
struct SpectralCanvasInputs {
    // The curve being edited, and its kind: its axis, its colour and its values' range.
    Binding<std::vector<CurveControlPoint>> curvePoints;
    CurveKind kind = CurveKind::delay;
    int delayRange = 0; // the delayRange choice: how long the delay axis runs
    // The same slot's curve of the other kind, drawn faintly for reference.
    std::vector<CurveControlPoint> otherCurve;
    // The edited kind as heard after morph and the macros, at heardLineFrequencies(); empty
    // while it is heard as drawn.
    std::vector<float> heardLine;
    // Under a stereo spread, the delays the left and the right side hear, at
    // heardLineFrequencies(), drawn instead of the heard line; empty without a spread.
    std::vector<float> heardLeft;
    std::vector<float> heardRight;
    // Delays are heard snapped to note values at this tempo (BPM), and labelled so; 0: in ms.
    double syncTempo = 0.0;
    SpectralMode mode = SpectralMode::delay;
    float lfoRate = 1.0f;      // Hz
    float lfoDepth = 0.0f;     // fraction 0..1
    float scatterSpeed = 0.0f; // fraction 0..1
    std::function<void()> onCurveChanged;
    // What plays at a frequency, for the hover readout; absent: the readout leaves it out.
    std::function<HeardAt(float hz)> heardAt;
    std::optional<DisplayFrame> classification; // the frame whose bins the bands show
    std::optional<DisplayFrame> levels;         // the analyser's levels frame, drawn under all
    SpectrumShown spectrumShown = SpectrumShown::both;
    // The stretch of the frequency axis shown. The canvas zooms and pans it itself (Ctrl and
    // Shift with the wheel, a drag along the frequency labels, a double click there or its
    // reset button for the whole axis) and tells the owner each new view.
    FrequencyView frequencyView;
    std::function<void(FrequencyView)> onFrequencyViewChanged;
    // A right click on a point: the point, and where the click was (canvas coordinates).
    // Absent: right clicks do nothing.
    std::function<void(const Uuid& point, Point location)> onPointMenu;

    // The value axis of the curve edited.
    CurveAxis axis() const { return {kind, delayRange}; }
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
    std::optional<Point> hoverPosition;     // the pointer over the canvas, no button down
    // The point last pressed, dragged or right-clicked: the one Delete removes.
    std::optional<Uuid> touchedPointID;
};

// The frequency/delay display the user draws the curve on, redrawn and animated every display
// frame. Pointer events arrive in canvas coordinates (points, origin top left, y downwards).
// Main thread only; onCurveChanged is called synchronously from the handlers.
class SpectralCanvasView : public View {
public:
    // Reads Option from the host's keyboard state once the canvas is in a host.
    explicit SpectralCanvasView(std::shared_ptr<ParticleSystem> particles = nullptr);
    // Reads Option from `modifiers`, which must outlive the canvas.
    explicit SpectralCanvasView(const KeyboardModifierState& modifiers,
                                std::shared_ptr<ParticleSystem> particles = nullptr);
    ~SpectralCanvasView() override;

    SpectralCanvasInputs inputs;
    Size size; // follows the frame at layout; events between layouts use the last one

    const SpectralCanvasState& state() const { return viewState; }
    // The hover readout (spectral_canvas_hover.cpp): what plays under the pointer, while it
    // hovers over the plot and no point is dragged.
    std::optional<std::string> hoverText() const;

    // Press and every movement of a drag (the recogniser starts on the press itself).
    void handleDragChanged(Point location);
    // Release, once per drag.
    void handleDragEnded(Point location);
    // Returns whether it deleted a point.
    bool handleDoubleTap(Point location);

    // --- edits of one point, each reported as one finished edit (onCurveChanged) ---
    // Deletes the point, unless it is one of the last two or is gone. Whether it did.
    bool deletePoint(const Uuid& id);
    // The Delete key: deletes the point last touched (none while a point is dragged).
    bool deleteTouchedPoint();
    // Gives the point a frequency and/or a value, each clamped to its axis; the curve stays
    // sorted by frequency. Whether the point was there.
    bool setPoint(const Uuid& id, std::optional<float> freq, std::optional<float> value);
    // The curve edited is another one: no point of it was touched yet.
    void forgetTouchedPoint() { viewState.touchedPointID.reset(); }

    // --- the frequency axis ---
    // Shows `view`, within the limits (limitedFrequencyView), and tells the owner.
    void setFrequencyView(FrequencyView view);
    // The frequency labels' row under the plot: a drag there pans, a double click shows the
    // whole axis.
    bool isOnFrequencyAxis(Point location) const;
    // The button that shows the whole axis again, while the view is zoomed.
    std::optional<Rect> resetZoomBox() const;

    // One animation frame at time `now` (seconds): the curve's LFO wobble and the particles.
    void advanceFrame(double now);

    // --- View ---
    Flexibility flexibility() const override { return {true, true}; }
    void layout(const Rect& frame) override;
    void draw(Graphics& g) override;
    // Everything the canvas draws is cut to its bounds.
    Rect drawingBounds() const override { return bounds(); }
    // The particles change at every frame, and frameTick damages what moved.
    void modelDidChange() override {}
    bool acceptsPointer() const override { return true; }
    // The left button edits and the right one opens a point's menu.
    bool acceptsButton(PointerButton button) const override {
        return button == PointerButton::left || button == PointerButton::right;
    }
    bool tracksHover() const override { return true; }
    // Ctrl (or Super) with the wheel zooms about the frequency under the pointer, Shift with it
    // pans; the wheel alone is the parent's.
    bool scrollWheel(double lines, Point local) override;
    void pointerHovered(Point location) override;
    void pointerExited() override;
    void pointerDown(const PointerEvent& event) override;
    void pointerDragged(const PointerEvent& event) override;
    void pointerUp(const PointerEvent& event) override;

private:
    // Input (spectral_canvas_view.cpp).
    ModifierKeys heldModifiers() const;
    bool optionHeld() const;
    FrequencyView view() const { return inputs.frequencyView; }
    std::vector<CurveControlPoint> readCurve() const;
    void writeCurve(std::vector<CurveControlPoint> points);
    void reportChange();
    void removePoint(const Uuid& id);
    bool pickUp(Point location, std::vector<CurveControlPoint>& points);
    void moveActivePoint(Point location, std::vector<CurveControlPoint> points);
    void followFrameClock();
    void frameTick();
    // What moves from frame to frame is the curve, its particles and the tooltip: only the
    // boxes along the curve that they cover now and covered at the last frame are drawn
    // again, and the points where they were and are when they change, unless the bands
    // changed, which redraws the whole canvas.
    void damageWhatMoved();
    void takeNewBands();
    // A new levels frame, a new choice of spectra or a new size: shapes them again.
    bool takeNewSpectrum();
    struct PointsLook {
        std::vector<CurveControlPoint> points;
        std::optional<Uuid> active;
        std::optional<Uuid> touched;
        bool deleteCandidate = false;
        FrequencyView view;
        friend bool operator==(const PointsLook&, const PointsLook&) = default;
    };
    void takePointsLook(PointsLook look);
    std::vector<Rect> movingAreas() const;
    static constexpr int kDamageColumns = 16;
    std::optional<Rect> tooltipBox() const;
    std::optional<Rect> hoverBox() const;

    // Drawing (spectral_canvas_drawing.cpp). What several layers share, once per frame.
    void prepareFrame(const std::vector<CurveControlPoint>& points);
    // Everything the inputs change besides the edited points: the axis, the faint curve and
    // the heard line. A change redraws the whole canvas.
    struct CanvasLook {
        CurveKind kind = CurveKind::delay;
        int delayRange = 0;
        double syncTempo = 0.0;
        std::vector<CurveControlPoint> otherCurve;
        std::vector<float> heardLine;
        std::vector<float> heardLeft;
        std::vector<float> heardRight;
        FrequencyView view;
        bool decibels = false; // the analyser's scale shows
        CurveAxis axis() const { return {kind, delayRange}; }
        friend bool operator==(const CanvasLook&, const CanvasLook&) = default;
    };
    bool takeNewLook();
    void prepareLook();
    void markNoteValues();
    void markFrequencies();
    void placeParticles();
    // The layers, bottom to top.
    void drawBackground(Graphics& g);
    void drawGrid(Graphics& g);
    void drawClassification(Graphics& g);
    void drawCurveFill(Graphics& g);
    void drawCurveStroke(Graphics& g);
    void drawOtherCurve(Graphics& g);
    void drawHeardLine(Graphics& g);
    // "L" over the left side's line and "R" under the right side's, near the plot's left edge:
    // outside the band between them, where the drawn curve runs.
    void drawSideLabels(Graphics& g);
    void drawParticles(Graphics& g);
    void drawControlPoints(Graphics& g, const std::vector<CurveControlPoint>& points);
    void drawDecibelScale(Graphics& g);
    void drawCurveTails(Graphics& g);
    void drawLabels(Graphics& g);
    void drawResetZoom(Graphics& g);
    void drawTooltip(Graphics& g);
    // Where the curve, its particles and points are cut: the canvas, or the plot's width while
    // the view is zoomed (what lies beyond it is off the axis shown).
    Rect curveClip() const;

    const KeyboardModifierState* modifierSource = nullptr;
    SpectralCanvasState viewState;

    // The frame clock, once the canvas is in a host.
    UIContext* clockContext = nullptr;
    Subscription frameSubscription;
    std::optional<double> previousFrameTime;
    // A press that deleted with a double click, or opened a point's menu, is over: its
    // movements and release are not a drag.
    bool pressConsumed = false;
    // A drag along the frequency labels: where it started and the view then.
    struct AxisDrag {
        double startX;
        FrequencyView startView;
    };
    std::optional<AxisDrag> axisDrag;

    struct ParticleDot {
        Point center;
        double radius; // of the core
        Color color;   // of the core; the glow is fainter
    };

    // What the prepared curve, path and particles were made from.
    struct PreparedFrame {
        std::vector<CurveControlPoint> points;
        CurveAxis axis;
        FrequencyView view;
        double wobble = 0.0; // lfoWobbleSize
        Size size;
        double particleTime = 0.0;
        friend bool operator==(const PreparedFrame&, const PreparedFrame&) = default;
    };
    std::optional<PreparedFrame> prepared;

    // Reused from frame to frame so that drawing allocates little.
    HeardCurve heard;
    // The particles' disc masks (made on the first frame that draws particles).
    std::unique_ptr<DiscStamps> discStamps;
    Path curvePath; // the stroke's polyline, shared with the fill
    Path tailPath;  // scratch: a flat end, or the part between the end points
    CanvasLook lookShown;
    // The value axis's lines and labels for the look shown.
    struct AxisMark {
        float value; // in the kind's unit
        bool strong;
        std::string text;
    };
    std::vector<AxisMark> axisMarks;
    // The frequency axis's lines and labels for the view shown.
    struct FrequencyMark {
        float hz;
        bool strong;
        std::string text; // empty: a line without a label
    };
    std::vector<FrequencyMark> frequencyMarks;
    HeardCurve other;
    Path otherPath;
    Path heardPath;
    // The sides' lines, dashed, and the y of each where its label goes (kSideLabelInset into
    // the plot).
    Path heardLeftPath;
    Path heardRightPath;
    double heardLeftLabelY = 0.0;
    double heardRightLabelY = 0.0;
    std::vector<ParticleDot> particleDots;
    Path scratchPath;
    bool moved = false;                     // the animation advanced since the last layout
    std::vector<Rect> lastMoving;           // what moved at the last frame, canvas coordinates
    PointsLook pointsShown;                 // the points in pointsLayer
    std::optional<DisplayFrame> bandsShown; // the bands in underLayer
    // The spectra drawn: the frame, the choice and the size they were shaped for.
    std::optional<DisplayFrame> levelsShown;
    SpectrumShown spectrumShownNow = SpectrumShown::both;
    Size spectrumSize;
    FrequencyView spectrumView;
    SpectrumPlot spectrum;
    std::vector<Rect> spectrumDamage; // scratch
    // Background, grid and bands; the curve's fill and stroke; the control points.
    LayerCache underLayer{LayerKind::translucent};
    LayerCache curveLayer{LayerKind::translucent};
    LayerCache pointsLayer{LayerKind::translucent};
    Paint backgroundPaint;
    Paint curveFillPaint;
};

} // namespace zerin
