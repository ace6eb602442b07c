#include "shell/main_view.h"

#include "editor/background_orbs.h"
#include "editor/curve_geometry.h"
#include "editor/point_menu_view.h"
#include "editor/spectral_canvas_view.h"
#include "platform/ui/layout.h"
#include "platform/ui/ui_context.h"
#include "presets/factory_presets.h"
#include "shell/control_tooltips.h"
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
#include <cstdio>
#include <string>
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
    : parameterTree(parameterTree), editing(parameterTree, link, std::move(store)) {
    ViewList layers = views(makeBackground(), makeColumn(), makeCopyMenuLayer(),
                            makePointMenuLayer(), makeBrowserLayer(), makeDialogLayer());
    add(zstack({}, std::move(layers)));
    editing.onUnitStateRead = [this] { unitStateRead(); };
    unitStateRead();
    describeControls(*this);
}

ZerinExtensionMainView::~ZerinExtensionMainView() {
    disappear();
    editing.onUnitStateRead = nullptr;
    // The parts call back into this view's members; they go while those are still there.
    removeAllChildren();
}

void ZerinExtensionMainView::unitStateRead() {
    canvasView->hitTestingEnabled = !editing.waitingForUnit();
    refreshCanvasInputs();
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
    bar.currentMode = {[this] { return editing.currentMode(); }, [](SpectralMode) {}};
    bar.currentPresetName = [this] {
        return editing.waitingForUnit() ? std::string(kWaitingName)
                                        : editing.presetManager().currentPresetName();
    };
    bar.isDirty = [this] { return !editing.waitingForUnit() && editing.presetManager().isDirty(); };
    bar.onModeChange = [this](SpectralMode mode) { editing.applyModeSelection(mode); };
    // Presets load and save curves: not before the editor has the unit's.
    bar.onPresetTap = [this] {
        if (!editing.waitingForUnit()) browserShown.set(!browserShown.peek());
    };
    bar.onSaveTap = [this] {
        if (!editing.waitingForUnit()) dialogShown.set(true);
    };
    bar.playControls = makeFreezeSwitches();
    bar.monitorControls = makeListenChoice();
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
        switches.push_back(makeParameterToggle(
            *hold, "HOLD",
            [this] {
                // What the unit reports, read as its controls are read: HOLD redraws when it
                // changes.
                const ControlParameter* held = parameterTree.parameter(parameter::noteHold);
                return held != nullptr && held->value() >= 0.5f;
            },
            toggleTooltip(*hold, parameterPurpose(parameter::freeze))));
        holdSwitchView = switches.back().get();
    }
    if (ControlParameter* style = parameterTree.parameter(parameter::freezeStyle))
        switches.push_back(makeParameterToggle(
            *style, "SMOOTH", nullptr,
            toggleTooltip(*style, parameterPurpose(parameter::freezeStyle), "Classic", "Smooth")));
    if (switches.empty()) return nullptr;
    return hstack(6.0, VAlign::center, std::move(switches));
}

// What the outputs carry, as one gesture on the parameter: beside the title, away from the
// modes, since it changes what is heard and not what the unit does. Null when the host's tree
// has no such parameter.
ViewPtr ZerinExtensionMainView::makeListenChoice() {
    if (parameterTree.parameter(parameter::listen) == nullptr) return nullptr;
    auto listen = zerin::listenSwitch(
        {[this] {
             const long index = std::lround(editing.parameterValue(parameter::listen));
             return static_cast<int>(std::clamp(index, 0L, 2L));
         },
         [this](int index) { editing.choose(parameter::listen, static_cast<float>(index)); }});
    listenSwitchView = listen.get();
    return listen;
}

// The canvas, with the row that chooses its curve over its top margin.
ViewPtr ZerinExtensionMainView::makeCanvasArea() {
    auto canvas = std::make_unique<EditorCanvas>([this] { editing.commitEdit(); });
    canvas->inputs.curvePoints = {[this] { return editing.editedCurve(); },
                                  [this](std::vector<CurveControlPoint> points) {
                                      editing.setEditedCurve(std::move(points));
                                  }};
    canvas->inputs.onCurveChanged = [this] {
        editing.curveEdited(canvasView->state().activePointID.has_value());
    };
    // The hover readout's delay and feedback share: what the kernel plays at that frequency.
    canvas->inputs.heardAt = [this](float hz) { return editing.heardAt(hz); };
    // The zoom and pan of the frequency axis are the session's.
    canvas->inputs.onFrequencyViewChanged = [this](FrequencyView view) {
        editing.setFrequencyView(view);
    };
    canvas->inputs.onPointMenu = [this](const Uuid& point, Point location) {
        const Point origin = canvasView->originInRoot();
        showPointMenu(point, {origin.x + location.x, origin.y + location.y});
    };
    canvasView = canvas.get();

    CurveChoiceInputs choice;
    choice.kind = {[this] { return editing.editedKind(); },
                   [this](CurveKind kind) { editCurve(editing.editedSlot(), kind); }};
    choice.slot = {[this] { return editing.editedSlot(); },
                   [this](CurveSlot slot) { editCurve(slot, editing.editedKind()); }};
    choice.onCopyTap = [this] {
        if (!editing.waitingForUnit()) copyMenuShown.set(!copyMenuShown.peek());
    };
    choice.delayRange = {
        [this] { return editing.delayRange(); },
        [this](int range) { editing.choose(parameter::delayRange, static_cast<float>(range)); }};
    auto row = std::make_unique<CurveChoiceView>(std::move(choice));
    choiceView = row.get();
    auto spectra = zerin::spectrumSwitch({[this] { return editing.spectrumChoice(); },
                                          [this](SpectrumShown shown) { chooseSpectrum(shown); }});
    spectrumSwitchView = spectra.get();
    ViewPtr placed =
        padding(hstack(0.0, VAlign::center,
                       views(std::move(row), spacer(), makeFrameSizeChoice(), spacer(),
                             std::move(spectra))),
                {.top = kChoiceRowTop, .leading = kPlotInsetLeft, .trailing = kPlotInsetRight});
    // The row only as tall as itself: over the plot, the pointer is the canvas's, hovering
    // too.
    return zstack({HAlign::leading, VAlign::top},
                  views(std::move(canvas), makeWaitingNotice(), std::move(placed)));
}

// The frame size, as one gesture on the parameter, and the latency it gives: the time every
// repeat and the dry sound come late by, which a host compensates.
ViewPtr ZerinExtensionMainView::makeFrameSizeChoice() {
    auto sizes = zerin::frameSizeSwitch(
        {[this] { return editing.fftSizeIndex(); },
         [this](int index) { editing.choose(parameter::fftSize, static_cast<float>(index)); }});
    frameSizeSwitchView = sizes.get();
    ViewPtr latency = text(
        [this] {
            const double ms = editing.latencyMs();
            if (!std::isfinite(ms)) return std::string();
            char line[32];
            std::snprintf(line, sizeof line, ms < 20.0 ? "%.1f ms" : "%.0f ms", ms);
            return std::string(line);
        },
        Font{9.0, FontWeight::bold, FontDesign::standard, 1.2},
        [] { return theme::textSecondary; });
    // As wide as the widest latency ("171 ms"), so that the sizes stay put as it changes.
    return hstack(
        8.0, VAlign::center,
        views(std::move(sizes),
              zerin::frame(std::move(latency),
                           {.width = 44.0, .alignment = {HAlign::leading, VAlign::center}})));
}

// Over the middle of the canvas while the unit has not said what it holds: why no curve shows.
ViewPtr ZerinExtensionMainView::makeWaitingNotice() {
    return hitTestingOff(composed([this]() -> ViewPtr {
        if (!editing.waitingForUnit()) return hiddenLayer();
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
                editing.copySlot(from);
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

// Beside the point right-clicked, inside the editor, with a clear scrim that cancels it.
ViewPtr ZerinExtensionMainView::makePointMenuLayer() {
    return composed([this]() -> ViewPtr {
        pointMenuView = nullptr;
        const std::optional<PointMenuRequest>& request = pointMenuRequest.get();
        if (!request) return hiddenLayer();
        const ControlCurve& curve = editing.editedCurve();
        const auto point =
            std::find_if(curve.begin(), curve.end(),
                         [&](const CurveControlPoint& p) { return p.id == request->point; });
        if (point == curve.end()) return hiddenLayer();
        PointMenuInputs inputs;
        inputs.freq = point->freq;
        inputs.value = point->value;
        inputs.axis = {editing.editedKind(), editing.delayRange()};
        inputs.syncTempo =
            editing.editedKind() == CurveKind::delay ? canvasView->inputs.syncTempo : 0.0;
        inputs.canDelete = curve.size() > 2;
        const Uuid id = request->point;
        // Each is one edit of the canvas's, and so one step of the history.
        inputs.onSet = [this, id](std::optional<float> freq, std::optional<float> value) {
            closePointMenu();
            if (!editing.waitingForUnit()) canvasView->setPoint(id, freq, value);
        };
        inputs.onDelete = [this, id] {
            closePointMenu();
            if (!editing.waitingForUnit()) canvasView->deletePoint(id);
        };
        inputs.onCancel = [this] { closePointMenu(); };
        auto menu = std::make_unique<PointMenuView>(std::move(inputs));
        pointMenuView = menu.get();
        // Below and right of the click, or wherever the editor leaves it room.
        constexpr double kOffset = 6.0, kEdge = 4.0;
        const Size size = menu->sizeThatFits({kInfinity, kInfinity});
        const Point origin = originInRoot();
        const Point at{request->at.x - origin.x, request->at.y - origin.y};
        double x = at.x + kOffset, y = at.y + kOffset;
        if (x + size.width > kSize.width - kEdge) x = at.x - kOffset - size.width;
        if (y + size.height > kSize.height - kEdge) y = at.y - kOffset - size.height;
        x = std::clamp(x, kEdge, std::max(kEdge, kSize.width - size.width - kEdge));
        y = std::clamp(y, kEdge, std::max(kEdge, kSize.height - size.height - kEdge));
        ViewPtr placed = padding(std::move(menu), {.top = y, .leading = x});
        return zstack(
            {}, views(tapArea(kClear, [this] { closePointMenu(); }),
                      vstack(0.0, HAlign::leading,
                             views(hstack(0.0, VAlign::center, views(std::move(placed), spacer())),
                                   spacer()))));
    });
}

void ZerinExtensionMainView::showPointMenu(const Uuid& point, Point at) {
    if (editing.waitingForUnit()) return;
    pointMenuRequest.set(PointMenuRequest{point, at});
}

ViewPtr ZerinExtensionMainView::makeBrowserLayer() {
    return composed([this]() -> ViewPtr {
        browserView = nullptr;
        if (!browserShown.get()) return hiddenLayer();
        auto browser = std::make_unique<PresetBrowserView>(
            Binding<bool>::of(browserShown), editing.presetManager(),
            [this](const Preset& preset) { editing.loadPreset(preset); });
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
            [this](const std::string& name) { editing.savePreset(name); },
            [this](const std::string& name) -> std::optional<std::string> {
                // As stored now: a preset another editor saved under the name counts too.
                PresetManager& presets = editing.presetManager();
                presets.reloadIfChanged();
                const Preset* existing = presets.userPresetNamed(userPresetName(name));
                if (existing == nullptr) return std::nullopt;
                return existing->name;
            });
        dialogView = dialog.get();
        return zstack({}, views(tapArea(kDialogScrim, [this] { dialogShown.set(false); }),
                                std::move(dialog)));
    });
}

// --- view ---

Size ZerinExtensionMainView::sizeThatFits(Size proposal) {
    const auto side = [](double offered, double least, double usual) {
        return std::isfinite(offered) ? std::max(offered, least) : usual;
    };
    return {side(proposal.width, kMinimumSize.width, kSize.width),
            side(proposal.height, kMinimumSize.height, kSize.height)};
}

void ZerinExtensionMainView::layout(const Rect& frame) {
    if (!appeared && context() != nullptr) appear();
    refreshCanvasInputs();
    setFrame(frame);
    // A window below the minimum (a host that ignores the size hints) shows the editor at its
    // minimum, cut, rather than squeezed.
    const Size fits = sizeThatFits({frame.width, frame.height});
    for (const auto& child : children())
        child->layout({0.0, 0.0, fits.width, fits.height});
}

bool ZerinExtensionMainView::keyDown(const KeyEvent& event) {
    return handleShortcut(event);
}

bool ZerinExtensionMainView::handleShortcut(const KeyEvent& event) {
    const ModifierKeys& keys = event.modifiers;
    if (event.key == Key::escape && pointMenuShown()) {
        closePointMenu();
        return true;
    }
    // An open panel hears the keys first, also when nothing in it has the focus: Escape
    // closes it, Return confirms it, Ctrl+Z in the browser puts back a deleted preset.
    if (dialogView != nullptr && dialogShown.peek()) {
        if (dialogView->keyDown(event)) return true;
    } else if (browserView != nullptr && browserShown.peek()) {
        if (browserView->keyDown(event)) return true;
    } else if (event.key == Key::escape && copyMenuShown.peek()) {
        copyMenuShown.set(false);
        return true;
    }
    if ((event.key == Key::backspace || event.key == Key::deleteForward) && !keys.control &&
        !keys.option && !keys.command) {
        const bool covered = browserShown.peek() || dialogShown.peek() || copyMenuShown.peek() ||
                             pointMenuShown() || editing.waitingForUnit();
        return !covered && canvasView->deleteTouchedPoint();
    }
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
    editing.start();
    classificationTimer =
        context()->mainQueue().scheduleRepeating(kPollInterval, [this] { tick(); });
    frameSubscription = context()->onFrame([this] {
        takeLevels();
        refreshCanvasInputs();
        // A drag whose release this view did not see (the canvas dropped the point).
        if (editing.editInProgress() && !canvasView->state().activePointID) editing.commitEdit();
    });
}

void ZerinExtensionMainView::disappear() {
    classificationTimer.invalidate();
    editing.stopFeeds();
    frameSubscription.cancel();
    appeared = false;
}

bool ZerinExtensionMainView::isPolling() const {
    return classificationTimer.isValid();
}

void ZerinExtensionMainView::tick() {
    // The canvas sees new bands at its next layout and draws all of itself again.
    if (editing.poll(context()->mainQueue().now()))
        canvasView->inputs.classification = editing.classification();
}

// The unit measures only while the spectrum shows.
void ZerinExtensionMainView::takeLevels() {
    if (editing.takeLevels(context()->mainQueue().now()))
        canvasView->inputs.levels = editing.levels();
}

void ZerinExtensionMainView::refreshCanvasInputs() {
    SpectralCanvasInputs& in = canvasView->inputs;
    in.spectrumShown = editing.spectrumChoice();
    in.mode = editing.currentMode();
    in.lfoRate = editing.parameterValue(parameter::lfoRate);
    in.lfoDepth = editing.parameterValue(parameter::lfoDepth) / 100.0f;
    in.scatterSpeed = editing.parameterValue(parameter::scatterSpeed) / 100.0f;
    in.kind = editing.editedKind();
    in.delayRange = editing.delayRange();
    const CurveKind other = in.kind == CurveKind::delay ? CurveKind::feedback : CurveKind::delay;
    in.otherCurve = editing.curveSet().at(editing.editedSlot(), other);
    const CurveMacros macros = editing.heardMacros();
    in.syncTempo = macros.syncTempo;
    in.frequencyView = editing.frequencyView();
    editing.heardLine(macros, in.heardLine);
    editing.heardSides(macros, in.heardLeft, in.heardRight);
}

// --- what the view adds to the session ---

void ZerinExtensionMainView::editCurve(CurveSlot slot, CurveKind kind) {
    if (!editing.editCurve(slot, kind)) return;
    canvasView->handleDragEnded({-1.0, -1.0});
    // The points touched and the menu open were the other curve's.
    canvasView->forgetTouchedPoint();
    closePointMenu();
    refreshCanvasInputs();
}

bool ZerinExtensionMainView::undo() {
    return !canvasView->state().activePointID && editing.undo();
}

bool ZerinExtensionMainView::redo() {
    return !canvasView->state().activePointID && editing.redo();
}

void ZerinExtensionMainView::chooseSpectrum(SpectrumShown shown) {
    editing.chooseSpectrum(shown);
    canvasView->inputs.spectrumShown = shown;
}

} // namespace zerin
