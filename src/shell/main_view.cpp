#include "shell/main_view.h"

#include "editor/background_orbs.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/layout.h"
#include "platform/ui/ui_context.h"
#include "presets/factory_presets.h"
#include "shell/controls_strip_view.h"
#include "shell/preset_browser_view.h"
#include "shell/preset_save_dialog.h"
#include "shell/top_bar_view.h"
#include "widgets/controls.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr Color kBrowserScrim{0.0, 0.0, 0.0, 0.3};
constexpr Color kDialogScrim{0.0, 0.0, 0.0, 0.4};

CurvePairs pairsOf(const std::vector<CurveControlPoint>& points) {
    CurvePairs pairs;
    pairs.reserve(points.size());
    for (const CurveControlPoint& p : points)
        pairs.emplace_back(p.freq, p.value);
    return pairs;
}

// Same frequencies and delays in the same order, within what the dirty marker tells apart;
// ids do not count. A press on a point that does not move it settles it a rounding away,
// which is no step worth undoing.
bool sameCurve(const std::vector<CurveControlPoint>& a, const std::vector<CurveControlPoint>& b) {
    constexpr float tolerance = PresetManager::dirtyTolerance;
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const CurveControlPoint& p, const CurveControlPoint& q) {
                          return std::fabs(p.freq - q.freq) <= tolerance &&
                                 std::fabs(p.value - q.value) <= tolerance;
                      });
}

std::vector<CurveControlPoint> pointsOf(const CurvePairs& pairs) {
    std::vector<CurveControlPoint> points;
    points.reserve(pairs.size());
    for (const auto& [freq, delay] : pairs)
        points.push_back({Uuid::random(), freq, delay});
    return points;
}

// What a closed overlay leaves in its layer: nothing, not even room. An empty view as large as
// the editor would lie on top of everything and take the wheel and the hover (and with it the
// cursor) meant for what lies under it.
ViewPtr hiddenLayer() {
    return hitTestingOff(zerin::frame(std::make_unique<View>(), {.width = 0.0, .height = 0.0}));
}

const Preset* findPreset(const std::vector<Preset>& list, const std::string& name) {
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const Preset& p) { return p.name == name; });
    return found == list.end() ? nullptr : &*found;
}

} // namespace

// The canvas with a word for the end of every press, so that a whole drag becomes one step
// of the undo history however many movements it reported.
class ZerinExtensionMainView::EditorCanvas : public SpectralCanvasView {
public:
    explicit EditorCanvas(std::function<void()> onPressEnded)
        : onPressEnded(std::move(onPressEnded)) {}
    void pointerUp(const PointerEvent& event) override {
        SpectralCanvasView::pointerUp(event);
        if (onPressEnded) onPressEnded();
    }

private:
    std::function<void()> onPressEnded;
};

ZerinExtensionMainView::ZerinExtensionMainView(ObservableAUParameterGroup& parameterTree,
                                               EditorUnitLink* link, PreferenceStore store)
    : parameterTree(parameterTree), link(link), presets(std::move(store)),
      curve(C::defaultCurve()) {
    ViewList layers = views(makeBackground(), makeColumn(), makeBrowserLayer(), makeDialogLayer());
    add(zerin::frame(zstack({}, std::move(layers)),
                     {.width = kSize.width, .height = kSize.height}));

    adoptUnitState(true);
    settledCurve = curve;
    presetChanges = presets.observe([this] { forwardPresetName(); });
    if (link != nullptr) link->onExternalChange = [this] { reloadFromUnit(); };
    refreshCanvasInputs();
}

ZerinExtensionMainView::~ZerinExtensionMainView() {
    disappear();
    if (link != nullptr) link->onExternalChange = nullptr;
    // The parts call back into this view's members; they go while those are still there.
    removeAllChildren();
}

SpectralCanvasView& ZerinExtensionMainView::canvas() const {
    return *canvasView;
}

// --- building ---

ViewPtr ZerinExtensionMainView::makeBackground() {
    return std::make_unique<BackgroundOrbsView>();
}

ViewPtr ZerinExtensionMainView::makeColumn() {
    TopBarInputs bar;
    // The selector shows the parameter, so a host change or a restored state shows too. A
    // click is sent by applyModeSelection alone, as one gesture: the binding writes nothing.
    bar.currentMode = {[this] { return currentMode(); }, [](SpectralMode) {}};
    bar.currentPresetName = [this] { return presets.currentPresetName(); };
    bar.isDirty = [this] { return presets.isDirty(); };
    bar.onModeChange = [this](SpectralMode mode) { applyModeSelection(mode); };
    bar.onPresetTap = [this] { browserShown.set(!browserShown.peek()); };
    bar.onSaveTap = [this] { dialogShown.set(true); };
    auto top = std::make_unique<TopBarView>(std::move(bar));
    topBarView = top.get();

    auto canvas = std::make_unique<EditorCanvas>([this] { commitEdit(); });
    canvas->inputs.curvePoints = {
        [this] { return curve; },
        [this](std::vector<CurveControlPoint> points) { curve = std::move(points); }};
    canvas->inputs.onCurveChanged = [this] { curveEdited(); };
    canvasView = canvas.get();

    auto strip = std::make_unique<ControlsStripView>(parameterTree);
    stripView = strip.get();
    return vstack(0.0, HAlign::center, views(std::move(top), std::move(canvas), std::move(strip)));
}

ViewPtr ZerinExtensionMainView::makeBrowserLayer() {
    return composed([this]() -> ViewPtr {
        browserView = nullptr;
        if (!browserShown.get()) return hiddenLayer();
        auto browser = std::make_unique<PresetBrowserView>(
            Binding<bool>::of(browserShown), presets,
            [this](const Preset& preset) { loadPreset(preset); });
        browserView = browser.get();
        ViewPtr placed = padding(padding(std::move(browser), {.top = 48.0}), {.trailing = 16.0});
        ViewPtr corner = vstack(
            0.0, HAlign::center,
            views(hstack(kDefaultSpacing, VAlign::center, views(spacer(), std::move(placed))),
                  spacer()));
        return zstack({}, views(tapArea(kBrowserScrim, [this] { browserShown.set(false); }),
                                std::move(corner)));
    });
}

ViewPtr ZerinExtensionMainView::makeDialogLayer() {
    return composed([this]() -> ViewPtr {
        dialogView = nullptr;
        if (!dialogShown.get()) return hiddenLayer();
        auto dialog = std::make_unique<PresetSaveDialog>(
            Binding<bool>::of(dialogShown), std::string(),
            [this](const std::string& name) { savePreset(name); });
        dialogView = dialog.get();
        return zstack({}, views(tapArea(kDialogScrim, [this] { dialogShown.set(false); }),
                                std::move(dialog)));
    });
}

// --- view ---

Size ZerinExtensionMainView::sizeThatFits(Size) {
    return kSize;
}

void ZerinExtensionMainView::layout(const Rect& frame) {
    if (!appeared && context() != nullptr) appear();
    refreshCanvasInputs();
    View::layout(frame);
}

bool ZerinExtensionMainView::keyDown(const KeyEvent& event) {
    return handleShortcut(event);
}

bool ZerinExtensionMainView::handleShortcut(const KeyEvent& event) {
    if (!event.modifiers.control || event.modifiers.option || event.modifiers.command) return false;
    if (event.keysym == U'z') {
        if (event.modifiers.shift)
            redo();
        else
            undo();
        return true;
    }
    if (event.keysym == U'y' && !event.modifiers.shift) {
        redo();
        return true;
    }
    return false;
}

// --- lifecycle ---

void ZerinExtensionMainView::appear() {
    if (appeared || context() == nullptr) return;
    appeared = true;
    // A curve read from the unit is already there; pushing anything else would lose it.
    if (!curveFromUnit) pushCurveToAudioUnit();
    classificationTimer =
        context()->mainQueue().scheduleRepeating(kPollInterval, [this] { tick(); });
    frameSubscription = context()->onFrame([this] {
        refreshCanvasInputs();
        // A drag whose release this view did not see (the canvas dropped the point).
        if (editStart && !canvasView->state().activePointID) commitEdit();
    });
}

void ZerinExtensionMainView::disappear() {
    classificationTimer.invalidate();
    frameSubscription.cancel();
    appeared = false;
}

bool ZerinExtensionMainView::isPolling() const {
    return classificationTimer.isValid();
}

void ZerinExtensionMainView::tick() {
    if (link == nullptr) return;
    link->poll();
    const double now = context()->mainQueue().now();
    if (std::optional<DisplayFrame> fresh = link->takeDisplayFrame()) {
        classification = std::move(fresh);
        classificationArrival = now;
    } else if (classification && now - classificationArrival >= kFrameStaleAfter) {
        classification.reset();
    } else {
        return; // the canvas keeps what it shows
    }
    // The canvas sees the new bands at its next layout and draws all of itself again.
    canvasView->inputs.classification = classification;
}

float ZerinExtensionMainView::parameterValue(parameter::Address address) const {
    // A parameter the host tree lacks reads as its default: the canvas draws as it would
    // with the control untouched.
    const ObservableAUParameter* leaf = parameterTree.parameter(address);
    return leaf != nullptr ? leaf->value() : parameter::defaultValue(address);
}

SpectralMode ZerinExtensionMainView::currentMode() const {
    const float value = parameterValue(parameter::mode);
    if (!std::isfinite(value)) return SpectralMode::delay;
    const int raw = static_cast<int>(std::lround(std::clamp(value, 0.0f, 2.0f)));
    return spectralModeFromRawValue(raw).value_or(SpectralMode::delay);
}

void ZerinExtensionMainView::refreshCanvasInputs() {
    SpectralCanvasInputs& in = canvasView->inputs;
    in.mode = currentMode();
    in.lfoRate = parameterValue(parameter::lfoRate);
    in.lfoDepth = parameterValue(parameter::lfoDepth) / 100.0f;
    in.scatterSpeed = parameterValue(parameter::scatterSpeed) / 100.0f;
}

// --- the unit ---

void ZerinExtensionMainView::pushCurveToAudioUnit() {
    std::vector<CurveControlPoint> sorted = curve;
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const CurveControlPoint& a, const CurveControlPoint& b) { return a.freq < b.freq; });
    if (link != nullptr) link->setSpectralCurve(pairsOf(sorted));
}

void ZerinExtensionMainView::applyModeSelection(SpectralMode mode) {
    ObservableAUParameter* leaf = parameterTree.parameter(parameter::mode);
    if (leaf == nullptr) return;
    leaf->setEditing(true);
    leaf->setValue(static_cast<float>(rawValue(mode)));
    leaf->setEditing(false);
}

void ZerinExtensionMainView::adoptUnitState(bool initial) {
    if (link == nullptr) return;
    const CurvePairs held = link->getSpectralCurve();
    // A unit that holds no curve yet (never allocated) gets the editor's on appear.
    if (held.empty()) {
        adoptPresetName(link->presetName());
        return;
    }
    std::vector<CurveControlPoint> before = curve;
    curve = pointsOf(held);
    if (initial)
        curveFromUnit = true;
    else if (!sameCurve(before, curve))
        curveHistory.record(std::move(before), presetMark());
    settledCurve = curve;
    adoptPresetName(link->presetName());
}

// The preset manager takes the name and, when a preset of that name is known, its curve as
// the reference, so the dirty marker tells whether the unit's curve still is that preset.
// An unknown name (a user preset stored elsewhere, or deleted) takes the curve as it is.
void ZerinExtensionMainView::adoptPresetName(const std::string& name) {
    forwardedName = name; // the unit knows it already
    const Preset* known = findPreset(factoryPresetList(), name);
    if (known == nullptr) known = findPreset(presets.userPresets(), name);
    ControlCurve points = known != nullptr ? known->points() : curve;
    // The unit holds its curve sorted by frequency; a user preset keeps its points in the
    // order they were drawn. Compared in the unit's order, the preset it plays is clean.
    std::stable_sort(
        points.begin(), points.end(),
        [](const CurveControlPoint& a, const CurveControlPoint& b) { return a.freq < b.freq; });
    const Preset reference = presetOfDelayCurve(name, std::move(points));
    std::vector<CurveControlPoint> scratch;
    presets.loadPreset(reference, scratch);
    presets.updateDirtyState(curve);
}

void ZerinExtensionMainView::forwardPresetName() {
    const std::string& name = presets.currentPresetName();
    if (name == forwardedName) return;
    forwardedName = name;
    if (link != nullptr) link->setPresetName(name);
}

void ZerinExtensionMainView::reloadFromUnit() {
    commitEdit();
    adoptUnitState(false);
}

// --- edits and history ---

void ZerinExtensionMainView::curveEdited() {
    if (!editStart) editStart = settledCurve;
    pushCurveToAudioUnit();
    presets.updateDirtyState(curve);
    // Adding by a click, deleting by a double click or with Option: finished at once. A drag
    // finishes when the press ends.
    if (!canvasView->state().activePointID) commitEdit();
}

void ZerinExtensionMainView::commitEdit() {
    if (!editStart) return;
    if (!sameCurve(*editStart, curve)) curveHistory.record(std::move(*editStart));
    editStart.reset();
    settledCurve = curve;
}

void ZerinExtensionMainView::replaceCurve(std::vector<CurveControlPoint> points) {
    curve = std::move(points);
    settledCurve = curve;
    pushCurveToAudioUnit();
    presets.updateDirtyState(curve);
}

void ZerinExtensionMainView::loadPreset(const Preset& preset) {
    commitEdit();
    std::vector<CurveControlPoint> before = curve;
    CurveHistory::PresetMark presetBefore = presetMark();
    std::vector<CurveControlPoint> loaded;
    presets.loadPreset(preset, loaded);
    if (!sameCurve(before, loaded) || presetBefore.name != preset.name)
        curveHistory.record(std::move(before), std::move(presetBefore));
    replaceCurve(std::move(loaded));
    // The rest of the preset's set goes to the unit as it is.
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            if ((s == 0 && k == 0) || link == nullptr) continue;
            ControlCurve sorted = preset.curves.curves[s][k];
            std::stable_sort(sorted.begin(), sorted.end(),
                             [](const CurveControlPoint& a, const CurveControlPoint& b) {
                                 return a.freq < b.freq;
                             });
            link->setCurve(static_cast<CurveSlot>(s), static_cast<CurveKind>(k), pairsOf(sorted));
        }
}

CurveHistory::PresetMark ZerinExtensionMainView::presetMark() const {
    return {presets.currentPresetName(), presets.snapshotPoints()};
}

void ZerinExtensionMainView::applyStep(CurveHistory::Step step) {
    if (step.preset)
        presets.restorePreset(std::move(step.preset->name), std::move(step.preset->points));
    replaceCurve(std::move(step.curve));
}

void ZerinExtensionMainView::savePreset(const std::string& name) {
    commitEdit();
    // The curve drawn here, and the rest of the set as the unit plays it.
    CurveSetPoints curves = setOfDelayCurve(curve);
    for (int s = 0; s < kCurveSlotCount && link != nullptr; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const CurvePairs held =
                link->getCurve(static_cast<CurveSlot>(s), static_cast<CurveKind>(k));
            if ((s == 0 && k == 0) || held.empty()) continue;
            curves.curves[s][k] = pointsOf(held);
        }
    presets.savePreset(name, curves);
}

bool ZerinExtensionMainView::undo() {
    if (canvasView->state().activePointID) return false;
    commitEdit();
    std::optional<CurveHistory::Step> previous = curveHistory.undo(curve, presetMark());
    if (!previous) return false;
    applyStep(std::move(*previous));
    return true;
}

bool ZerinExtensionMainView::redo() {
    if (canvasView->state().activePointID) return false;
    commitEdit();
    std::optional<CurveHistory::Step> next = curveHistory.redo(curve, presetMark());
    if (!next) return false;
    applyStep(std::move(*next));
    return true;
}

} // namespace zerin
