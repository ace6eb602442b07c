#pragma once

// The editor's root: the top bar, the spectral canvas under its choice of curve and the
// controls strip over the animated background, with the preset browser, the save dialog and
// the copy menu on demand. It owns the curve set being edited (both slots, both kinds), its
// undo history and the preset manager; it reaches the audio unit only through an
// EditorUnitLink. Main thread only.

#include "dsp/parameters.h"
#include "editor/heard_macros.h"
#include "editor/spectrum_plot.h"
#include "model/curve_model.h"
#include "platform/ui/layout.h"
#include "platform/ui/main_queue.h"
#include "platform/ui/view.h"
#include "presets/preference_store.h"
#include "presets/preset.h"
#include "presets/preset_manager.h"
#include "shell/curve_history.h"
#include "shell/editor_parameters.h"
#include "shell/editor_unit_link.h"
#include "shell/frame_feed.h"
#include "signals/observable.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zerin {

class ControlsStripView;
class CurveChoiceView;
class SegmentedControl;
class PresetBrowserView;
class PresetSaveDialog;
class SpectralCanvasView;
class TopBarView;

class ZerinExtensionMainView : public View {
public:
    static constexpr Size kSize{900.0, 600.0};
    // The preset name's place while the editor waits for the unit.
    static constexpr std::string_view kWaitingName = "Waiting\u2026";
    // Seconds between two reads of the display frames (and polls of the link).
    static constexpr double kPollInterval = 0.1;

    // `parameterTree` and `link` (null: no unit, every call to it skipped) must outlive the
    // view. Starts from the unit's curve and preset name when the link knows a curve, else
    // from the default curve as "Init"; a link that has not yet heard what the unit holds
    // leaves the editor waiting for it (no curve shown or sent, curve edits off) until it has.
    // User presets come from `store`.
    ZerinExtensionMainView(EditorParameters& parameterTree, EditorUnitLink* link,
                           PreferenceStore store = PreferenceStore());
    ~ZerinExtensionMainView() override;

    // --- View: a fixed 900 x 600 ---
    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override { return {}; }
    // The first layout in a host is when the view appears.
    void layout(const Rect& frame) override;
    bool keyDown(const KeyEvent& event) override;

    // Appear: starts the 0.1 s poll on the host's main queue and, unless the curve came from
    // the unit, pushes the curve to it. Disappear stops the poll. Both are idempotent;
    // the first layout in a host appears, destruction disappears.
    void appear();
    void disappear();
    bool isPolling() const;

    // The editor's shortcuts: Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo. Returns whether the
    // key was one of them. Hand it to ViewHost::unhandledKey.
    bool handleShortcut(const KeyEvent& event);

    // --- operations ---
    // Hands every curve of the set, each sorted by frequency (stable), to the unit; an empty
    // curve too.
    void pushCurveToAudioUnit();
    // Chooses the curve the canvas edits. The set and the history stay as they are.
    void editCurve(CurveSlot slot, CurveKind kind);
    // Copies both curves of slot `from` over the other slot's, as one step of the history.
    void copySlot(CurveSlot from);
    // One gesture on the mode parameter: touch with the mode's value, then release.
    void applyModeSelection(SpectralMode mode);
    // The browser's load flow: the preset's curves replace the editor's and are pushed.
    void loadPreset(const Preset& preset);
    // The save dialog's flow: stores the curve set as a user preset under `name`.
    void savePreset(const std::string& name);
    // Whether there was a step (never in the middle of a drag).
    bool undo();
    bool redo();
    // Reads the unit's curves and preset name again (the link's onExternalChange).
    void reloadFromUnit();
    // Whether the editor still waits to hear what the unit holds.
    bool waitingForUnit() const { return waiting.peek(); }

    // --- state ---
    // The curve the canvas edits, and the whole set.
    const std::vector<CurveControlPoint>& curvePoints() const {
        return curves.at(editedSlot, editedKind);
    }
    const CurveSetPoints& curveSet() const { return curves; }
    // The mode parameter's value, rounded and clamped to a mode.
    SpectralMode currentMode() const;
    PresetManager& presetManager() { return presets; }
    const PresetManager& presetManager() const { return presets; }
    bool showPresetBrowser() const { return browserShown.peek(); }
    void setShowPresetBrowser(bool shown) { browserShown.set(shown); }
    bool showSaveDialog() const { return dialogShown.peek(); }
    void setShowSaveDialog(bool shown) { dialogShown.set(shown); }
    bool showCopyMenu() const { return copyMenuShown.peek(); }
    void setShowCopyMenu(bool shown) { copyMenuShown.set(shown); }
    // The classification frame the canvas shows, until it goes stale.
    const std::optional<DisplayFrame>& classificationData() const { return bands.shown(); }
    // Which spectra the canvas shows (OFF / IN / OUT / BOTH), kept in the preference store.
    SpectrumShown spectrumChoice() const { return spectrumShown; }
    void chooseSpectrum(SpectrumShown shown);
    const CurveHistory& history() const { return curveHistory; }

    // --- parts, for hosts and tests ---
    TopBarView& topBar() const { return *topBarView; }
    SpectralCanvasView& canvas() const;
    ControlsStripView& controlsStrip() const { return *stripView; }
    CurveChoiceView& curveChoice() const { return *choiceView; }
    SegmentedControl& spectrumSwitch() const { return *spectrumSwitchView; }
    // HOLD in the top bar; null when the host's tree has no freeze parameter.
    const View* holdSwitch() const { return holdSwitchView; }
    // The overlays as last laid out; null while hidden.
    PresetBrowserView* presetBrowser() const { return browserView; }
    PresetSaveDialog* saveDialog() const { return dialogView; }
    // The copy menu's items as last laid out; null while it is hidden.
    View* copyMenuItem(CurveSlot from) const { return copyItems[static_cast<int>(from)]; }

private:
    class EditorCanvas;

    ViewPtr makeBackground();
    ViewPtr makeColumn();
    ViewPtr makeBrowserLayer();
    ViewPtr makeDialogLayer();
    ViewPtr makeCopyMenuLayer();
    ViewPtr makeCanvasArea();
    ViewPtr makeFreezeSwitches();
    ViewPtr makeWaitingNotice();

    void adoptUnitState(bool initial);
    void adoptPresetName(const std::string& name);
    void forwardPresetName();
    void refreshCanvasInputs();
    void tick();
    void takeLevels();
    void readSpectrumChoice();
    void curveEdited();
    void commitEdit();
    void replaceCurves(CurveSetPoints set);
    void pushCurve(CurveSlot slot, CurveKind kind);
    CurveMacros heardMacros() const;
    CurveHistory::PresetMark presetMark() const;
    // Shows an undone or redone step: its curve and, for a load, its preset.
    void applyStep(CurveHistory::Step step);
    float parameterValue(parameter::Address address) const;

    EditorParameters& parameterTree;
    EditorUnitLink* link;
    PresetManager presets;
    PreferenceStore preferences; // the editor's own settings
    CurveSetPoints curves;
    CurveSlot editedSlot = CurveSlot::a;
    CurveKind editedKind = CurveKind::delay;
    Observable<bool> browserShown{false};
    Observable<bool> dialogShown{false};
    Observable<bool> copyMenuShown{false};
    Observable<bool> waiting{false};                   // for the unit to say what it holds
    FrameFeed bands{DisplayFrameKind::classification}; // taken at every poll
    FrameFeed spectra{DisplayFrameKind::levels};       // taken at every display frame
    SpectrumShown spectrumShown = SpectrumShown::both;
    Timer classificationTimer;

    CurveHistory curveHistory;
    // The set as it stood after the last finished edit, and the one before the edit in
    // progress (a drag reports every movement; it becomes one step when it ends).
    CurveSetPoints settledCurves;
    std::optional<CurveSetPoints> editStart;

    bool curveFromUnit = false;
    bool appeared = false;
    std::string forwardedName;
    Subscription presetChanges;
    Subscription frameSubscription;

    TopBarView* topBarView = nullptr;
    EditorCanvas* canvasView = nullptr;
    ControlsStripView* stripView = nullptr;
    CurveChoiceView* choiceView = nullptr;
    SegmentedControl* spectrumSwitchView = nullptr;
    View* holdSwitchView = nullptr;
    std::array<View*, kCurveSlotCount> copyItems{};
    PresetBrowserView* browserView = nullptr;
    PresetSaveDialog* dialogView = nullptr;
};

} // namespace zerin
