#include "shell/main_view.h"

#include "editor/background_orbs.h"
#include "editor/curve_geometry.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/layout.h"
#include "platform/ui/ui_context.h"
#include "presets/factory_presets.h"
#include "shell/controls_strip_view.h"
#include "shell/curve_choice_view.h"
#include "shell/preset_browser_view.h"
#include "shell/preset_save_dialog.h"
#include "shell/top_bar_view.h"
#include "widgets/controls.h"
#include "widgets/segmented_control.h"
#include "widgets/theme.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr Color kBrowserScrim{0.0, 0.0, 0.0, 0.3};
constexpr Color kDialogScrim{0.0, 0.0, 0.0, 0.4};
constexpr Color kClear{0.0, 0.0, 0.0, 0.0};
// The row that chooses the curve, in the canvas's top margin, and the menu under its COPY.
constexpr double kChoiceRowTop = 5.0;

// What a closed overlay leaves in its layer: nothing, not even room. An empty view as large as
// the editor would lie on top of everything and take the wheel and the hover (and with it the
// cursor) meant for what lies under it.
ViewPtr hiddenLayer() {
    return hitTestingOff(zerin::frame(std::make_unique<View>(), {.width = 0.0, .height = 0.0}));
}

void sortEach(CurveSetPoints& set) {
    for (auto& slot : set.curves)
        for (ControlCurve& curve : slot)
            sortByFrequency(curve);
}

constexpr std::array<std::pair<CurveSlot, CurveKind>, kCurveSlotCount * kCurveKindCount>
    kEveryCurve{{{CurveSlot::a, CurveKind::delay},
                 {CurveSlot::a, CurveKind::feedback},
                 {CurveSlot::b, CurveKind::delay},
                 {CurveSlot::b, CurveKind::feedback}}};

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

ZerinExtensionMainView::ZerinExtensionMainView(EditorParameters& parameterTree,
                                               EditorUnitLink* link, PreferenceStore store)
    : parameterTree(parameterTree), link(link), presets(store), preferences(std::move(store)),
      curves(setOfDelayCurve(C::defaultCurve())) {
    // Nothing of the defaults is shown as the session's while the unit has not said.
    if (link != nullptr && !link->knowsUnitState()) {
        waiting.set(true);
        curves = CurveSetPoints{};
    }
    readSpectrumChoice();
    ViewList layers = views(makeBackground(), makeColumn(), makeCopyMenuLayer(), makeBrowserLayer(),
                            makeDialogLayer());
    add(zerin::frame(zstack({}, std::move(layers)),
                     {.width = kSize.width, .height = kSize.height}));

    adoptUnitState(true);
    settledCurves = curves;
    presetChanges = presets.observe([this] { forwardPresetName(); });
    if (link != nullptr) link->onExternalChange = [this] { reloadFromUnit(); };
    canvasView->hitTestingEnabled = !waiting.peek();
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
    bar.currentPresetName = [this] {
        return waiting.get() ? std::string(kWaitingName) : presets.currentPresetName();
    };
    bar.isDirty = [this] { return !waiting.get() && presets.isDirty(); };
    bar.onModeChange = [this](SpectralMode mode) { applyModeSelection(mode); };
    // Presets load and save curves: not before the editor has the unit's.
    bar.onPresetTap = [this] {
        if (!waiting.peek()) browserShown.set(!browserShown.peek());
    };
    bar.onSaveTap = [this] {
        if (!waiting.peek()) dialogShown.set(true);
    };
    bar.playControls = makeFreezeSwitches();
    auto top = std::make_unique<TopBarView>(std::move(bar));
    topBarView = top.get();

    auto strip = std::make_unique<ControlsStripView>(parameterTree);
    stripView = strip.get();
    return vstack(0.0, HAlign::center, views(std::move(top), makeCanvasArea(), std::move(strip)));
}

// HOLD plays the freeze parameter and SMOOTH chooses how a freeze turns: beside the modes,
// since a hold acts on whichever mode runs. HOLD lights as well while notes hold the freeze.
// Null when the host's tree has neither.
ViewPtr ZerinExtensionMainView::makeFreezeSwitches() {
    ViewList switches;
    if (ControlParameter* hold = parameterTree.parameter(parameter::freeze)) {
        switches.push_back(makeParameterToggle(*hold, "HOLD", [this] {
            // What the unit reports, read as its controls are read: HOLD redraws when it
            // changes.
            const ControlParameter* held = parameterTree.parameter(parameter::noteHold);
            return held != nullptr && held->value() >= 0.5f;
        }));
        holdSwitchView = switches.back().get();
    }
    if (ControlParameter* style = parameterTree.parameter(parameter::freezeStyle))
        switches.push_back(makeParameterToggle(*style, "SMOOTH"));
    if (switches.empty()) return nullptr;
    return hstack(6.0, VAlign::center, std::move(switches));
}

// The canvas, with the row that chooses its curve over its top margin.
ViewPtr ZerinExtensionMainView::makeCanvasArea() {
    auto canvas = std::make_unique<EditorCanvas>([this] { commitEdit(); });
    canvas->inputs.curvePoints = {[this] { return curves.at(editedSlot, editedKind); },
                                  [this](std::vector<CurveControlPoint> points) {
                                      curves.at(editedSlot, editedKind) = std::move(points);
                                  }};
    canvas->inputs.onCurveChanged = [this] { curveEdited(); };
    // The hover readout's delay and feedback share: what the kernel plays at that frequency.
    canvas->inputs.heardAt = [this](float hz) {
        const CurveMacros macros = heardMacros();
        const float at[1] = {hz};
        std::vector<float> value;
        HeardAt heard;
        heardValues(curves, CurveKind::delay, macros, at, value);
        heard.delayMs = value.at(0);
        heardValues(curves, CurveKind::feedback, macros, at, value);
        heard.feedbackPercent = value.at(0);
        return heard;
    };
    canvasView = canvas.get();

    CurveChoiceInputs choice;
    choice.kind = {[this] { return editedKind; },
                   [this](CurveKind kind) { editCurve(editedSlot, kind); }};
    choice.slot = {[this] { return editedSlot; },
                   [this](CurveSlot slot) { editCurve(slot, editedKind); }};
    choice.onCopyTap = [this] {
        if (!waiting.peek()) copyMenuShown.set(!copyMenuShown.peek());
    };
    auto row = std::make_unique<CurveChoiceView>(std::move(choice));
    choiceView = row.get();
    auto spectra = zerin::spectrumSwitch(
        {[this] { return spectrumShown; }, [this](SpectrumShown shown) { chooseSpectrum(shown); }});
    spectrumSwitchView = spectra.get();
    ViewPtr placed =
        padding(hstack(0.0, VAlign::center, views(std::move(row), spacer(), std::move(spectra))),
                {.top = kChoiceRowTop, .leading = kPlotInsetLeft, .trailing = kPlotInsetRight});
    // The row only as tall as itself: over the plot, the pointer is the canvas's, hovering
    // too.
    return zstack({HAlign::leading, VAlign::top},
                  views(std::move(canvas), makeWaitingNotice(), std::move(placed)));
}

// Over the middle of the canvas while the unit has not said what it holds: why no curve shows.
ViewPtr ZerinExtensionMainView::makeWaitingNotice() {
    return hitTestingOff(composed([this]() -> ViewPtr {
        if (!waiting.get()) return hiddenLayer();
        ViewPtr notice =
            text("Waiting for the plug-in: its curves show when the host runs it",
                 Font{13.0, FontWeight::medium}, theme::textSecondary, TextAlignment::center);
        return vstack(
            0.0, HAlign::center,
            views(spacer(),
                  hstack(0.0, VAlign::center, views(spacer(), std::move(notice), spacer())),
                  spacer()));
    }));
}

// Under the COPY button, with a clear scrim that closes it.
ViewPtr ZerinExtensionMainView::makeCopyMenuLayer() {
    return composed([this]() -> ViewPtr {
        copyItems = {};
        if (!copyMenuShown.get()) return hiddenLayer();
        ViewPtr menu = copyMenu(
            [this](CurveSlot from) {
                copyMenuShown.set(false);
                copySlot(from);
            },
            &copyItems[0], &copyItems[1]);
        const View& button = choiceView->copyButton();
        const Point origin = originInRoot();
        const Point at = button.originInRoot();
        ViewPtr placed = padding(std::move(menu), {.top = at.y - origin.y + button.frame().height,
                                                   .leading = at.x - origin.x});
        return zstack(
            {}, views(tapArea(kClear, [this] { copyMenuShown.set(false); }),
                      vstack(0.0, HAlign::leading,
                             views(hstack(0.0, VAlign::center, views(std::move(placed), spacer())),
                                   spacer()))));
    });
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
    // A curve read from the unit is already there, and one still to come is the session's:
    // pushing anything else would lose it.
    if (!curveFromUnit && !waiting.peek()) pushCurveToAudioUnit();
    classificationTimer =
        context()->mainQueue().scheduleRepeating(kPollInterval, [this] { tick(); });
    frameSubscription = context()->onFrame([this] {
        takeLevels();
        refreshCanvasInputs();
        // A drag whose release this view did not see (the canvas dropped the point).
        if (editStart && !canvasView->state().activePointID) commitEdit();
    });
}

void ZerinExtensionMainView::disappear() {
    classificationTimer.invalidate();
    bands.stop(link);
    spectra.stop(link);
    frameSubscription.cancel();
    appeared = false;
}

bool ZerinExtensionMainView::isPolling() const {
    return classificationTimer.isValid();
}

void ZerinExtensionMainView::tick() {
    if (link == nullptr) return;
    link->poll();
    // The canvas sees new bands at its next layout and draws all of itself again.
    if (bands.update(*link, context()->mainQueue().now(), true))
        canvasView->inputs.classification = bands.shown();
}

float ZerinExtensionMainView::parameterValue(parameter::Address address) const {
    // A parameter the host tree lacks reads as its default: the canvas draws as it would
    // with the control untouched.
    const ControlParameter* leaf = parameterTree.parameter(address);
    return leaf != nullptr ? leaf->value() : parameter::defaultValue(address);
}

SpectralMode ZerinExtensionMainView::currentMode() const {
    return spectralModeOfValue(parameterValue(parameter::mode));
}

CurveMacros ZerinExtensionMainView::heardMacros() const {
    const auto fraction = [this](parameter::Address address, float low, float high) {
        const float value = parameterValue(address);
        return std::isfinite(value) ? std::clamp(value, low, high)
                                    : parameter::defaultValue(address);
    };
    CurveMacros macros;
    macros.morph = fraction(parameter::morph, 0.0f, 100.0f) / 100.0f;
    macros.scale = fraction(parameter::curveScale, 0.0f, 200.0f) / 100.0f;
    macros.shift = fraction(parameter::curveShift, -24.0f, 24.0f);
    // The tempo the unit reports, its default until it has.
    const double tempo = parameterValue(parameter::tempo);
    if (parameterValue(parameter::delaySync) >= 0.5f && tempo > 0.0) macros.syncTempo = tempo;
    return macros;
}

void ZerinExtensionMainView::refreshCanvasInputs() {
    SpectralCanvasInputs& in = canvasView->inputs;
    in.spectrumShown = spectrumShown;
    in.mode = currentMode();
    in.lfoRate = parameterValue(parameter::lfoRate);
    in.lfoDepth = parameterValue(parameter::lfoDepth) / 100.0f;
    in.scatterSpeed = parameterValue(parameter::scatterSpeed) / 100.0f;
    in.kind = editedKind;
    const CurveKind other = editedKind == CurveKind::delay ? CurveKind::feedback : CurveKind::delay;
    in.otherCurve = curves.at(editedSlot, other);
    const CurveMacros macros = heardMacros();
    in.syncTempo = macros.syncTempo;
    if (heardDiffersFromDrawn(macros, editedSlot, editedKind))
        heardValues(curves, editedKind, macros, heardLineFrequencies(), in.heardLine);
    else
        in.heardLine.clear();
}

// --- the unit ---

void ZerinExtensionMainView::pushCurve(CurveSlot slot, CurveKind kind) {
    if (link != nullptr) link->setCurve(slot, kind, curvePointsOf(curves.at(slot, kind)));
}

void ZerinExtensionMainView::pushCurveToAudioUnit() {
    for (const auto& [slot, kind] : kEveryCurve)
        pushCurve(slot, kind);
}

void ZerinExtensionMainView::applyModeSelection(SpectralMode mode) {
    ControlParameter* leaf = parameterTree.parameter(parameter::mode);
    if (leaf == nullptr) return;
    leaf->setEditing(true);
    leaf->setValue(static_cast<float>(rawValue(mode)));
    leaf->setEditing(false);
}

void ZerinExtensionMainView::adoptUnitState(bool initial) {
    if (link == nullptr || waiting.peek()) return;
    // A unit that holds no curve yet (never allocated) gets the editor's on appear.
    if (link->getCurve(CurveSlot::a, CurveKind::delay).empty()) {
        adoptPresetName(link->presetName());
        return;
    }
    const CurveSetPoints before = curves;
    // A curve the link does not know yet keeps the editor's.
    for (const auto& [slot, kind] : kEveryCurve) {
        const CurvePoints held = link->getCurve(slot, kind);
        ControlCurve points = controlPointsOf(held);
        if (!held.empty() && !sameCurve(points, curves.at(slot, kind)))
            curves.at(slot, kind) = std::move(points);
    }
    if (initial)
        curveFromUnit = true;
    else if (!sameCurves(before, curves))
        curveHistory.record(before, presetMark());
    settledCurves = curves;
    adoptPresetName(link->presetName());
}

// The preset manager takes the name and, when a preset of that name is known, its curve as
// the reference, so the dirty marker tells whether the unit's curve still is that preset.
// An unknown name (a user preset stored elsewhere, or deleted) takes the curve as it is.
void ZerinExtensionMainView::adoptPresetName(const std::string& name) {
    forwardedName = name; // the unit knows it already
    const Preset* known = findPreset(factoryPresetList(), name);
    if (known == nullptr) known = findPreset(presets.userPresets(), name);
    Preset reference{Uuid::random(), name, known != nullptr ? known->curves : curves};
    // The unit holds its curves sorted by frequency; a user preset keeps its points in the
    // order they were drawn. Compared in the unit's order, the preset it plays is clean.
    sortEach(reference.curves);
    CurveSetPoints scratch;
    presets.loadPreset(reference, scratch);
    presets.updateDirtyState(curves);
}

void ZerinExtensionMainView::forwardPresetName() {
    const std::string& name = presets.currentPresetName();
    if (name == forwardedName) return;
    forwardedName = name;
    if (link != nullptr) link->setPresetName(name);
}

void ZerinExtensionMainView::reloadFromUnit() {
    if (waiting.peek()) {
        if (!link->knowsUnitState()) return;
        // The first answer is where the editor starts, as if it had been there at opening:
        // no step of the history, nothing sent back.
        waiting.set(false);
        canvasView->hitTestingEnabled = true;
        adoptUnitState(true);
        refreshCanvasInputs();
        return;
    }
    commitEdit();
    adoptUnitState(false);
}

} // namespace zerin
