#pragma once

// The editor's root: the top bar, the spectral canvas under its choice of curve and the
// controls strip over the animated background, with the preset browser, the save dialog and
// the copy menu on demand. What it edits and what it hears from the unit is its
// EditorSession's; the view lays that out, binds its controls to it and drives its polls.
// Main thread only.

#include "model/uuid.h"
#include "platform/ui/layout.h"
#include "platform/ui/main_queue.h"
#include "platform/ui/view.h"
#include "shell/editor_session.h"
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
class PointMenuView;
class PresetBrowserView;
class PresetSaveDialog;
class SpectralCanvasView;
class TopBarView;

class ZerinExtensionMainView : public View {
public:
    // Where a new editor starts, and the least it can be: the strip's knobs need the width,
    // the canvas a useful height. Beyond it the canvas takes the room.
    static constexpr Size kSize{900.0, 600.0};
    static constexpr Size kMinimumSize{900.0, 520.0};
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

    // --- View: whatever it is offered above kMinimumSize (kSize when offered anything) ---
    Size sizeThatFits(Size proposal) override;
    Flexibility flexibility() const override { return {true, true}; }
    // The first layout in a host is when the view appears.
    void layout(const Rect& frame) override;
    bool keyDown(const KeyEvent& event) override;

    // Appear: starts the 0.1 s poll on the host's main queue and, unless the curve came from
    // the unit, pushes the curve to it. Disappear stops the poll. Both are idempotent;
    // the first layout in a host appears, destruction disappears.
    void appear();
    void disappear();
    bool isPolling() const;

    // The editor's shortcuts: Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo; while a panel is
    // open, its keys first (Escape closes it, Return confirms it; see PresetSaveDialog and
    // PresetBrowserView); Delete or Backspace deletes the curve point last touched (while no
    // panel or menu is open), Escape closes a point's menu. Returns whether the key was one of
    // them. Hand it to ViewHost::unhandledKey.
    bool handleShortcut(const KeyEvent& event);

    // The session the view shows and edits.
    EditorSession& session() { return editing; }
    const EditorSession& session() const { return editing; }

    // --- what the view adds to the session ---
    // Chooses the curve the canvas edits; a drag in progress ends with the curve it moved.
    void editCurve(CurveSlot slot, CurveKind kind);
    // Never in the middle of a drag. Whether there was a step.
    bool undo();
    bool redo();
    void chooseSpectrum(SpectrumShown shown);
    bool showPresetBrowser() const { return browserShown.peek(); }
    void setShowPresetBrowser(bool shown) { browserShown.set(shown); }
    bool showSaveDialog() const { return dialogShown.peek(); }
    void setShowSaveDialog(bool shown) { dialogShown.set(shown); }
    bool showCopyMenu() const { return copyMenuShown.peek(); }
    void setShowCopyMenu(bool shown) { copyMenuShown.set(shown); }
    // The menu of a curve point (a right click on it opens it), at `at` (root coordinates).
    void showPointMenu(const Uuid& point, Point at);
    void closePointMenu() { pointMenuRequest.set(std::nullopt); }
    bool pointMenuShown() const { return pointMenuRequest.peek().has_value(); }

    // --- parts, for hosts and tests ---
    TopBarView& topBar() const { return *topBarView; }
    SpectralCanvasView& canvas() const;
    ControlsStripView& controlsStrip() const { return *stripView; }
    CurveChoiceView& curveChoice() const { return *choiceView; }
    SegmentedControl& spectrumSwitch() const { return *spectrumSwitchView; }
    // 512 | 1K | 2K | 4K | 8K over the plot, and the latency beside it.
    SegmentedControl& frameSizeSwitch() const { return *frameSizeSwitchView; }
    // HOLD in the top bar; null when the host's tree has no freeze parameter.
    const View* holdSwitch() const { return holdSwitchView; }
    // MIX | WET | SPARED beside the title; null when the host's tree has no listen parameter.
    SegmentedControl* listenSwitch() const { return listenSwitchView; }
    // The overlays as last laid out; null while hidden.
    PresetBrowserView* presetBrowser() const { return browserView; }
    PresetSaveDialog* saveDialog() const { return dialogView; }
    // The copy menu's items as last laid out; null while it is hidden.
    View* copyMenuItem(CurveSlot from) const { return copyItems[static_cast<int>(from)]; }
    // A point's menu as last laid out; null while it is hidden.
    PointMenuView* pointMenu() const { return pointMenuView; }

private:
    class EditorCanvas;

    ViewPtr makeBackground();
    ViewPtr makeColumn();
    ViewPtr makeBrowserLayer();
    ViewPtr makeDialogLayer();
    ViewPtr makeCopyMenuLayer();
    ViewPtr makePointMenuLayer();
    ViewPtr makeCanvasArea();
    ViewPtr makeFreezeSwitches();
    ViewPtr makeListenChoice();
    ViewPtr makeWaitingNotice();
    ViewPtr makeFrameSizeChoice();

    void refreshCanvasInputs();
    void tick();
    void takeLevels();
    // The session's word that it read the unit again: the canvas takes edits once the unit
    // has said what it holds.
    void unitStateRead();

    EditorParameters& parameterTree;
    EditorSession editing;
    Observable<bool> browserShown{false};
    Observable<bool> dialogShown{false};
    Observable<bool> copyMenuShown{false};
    struct PointMenuRequest {
        Uuid point;
        Point at; // root coordinates
        friend bool operator==(const PointMenuRequest&, const PointMenuRequest&) = default;
    };
    Observable<std::optional<PointMenuRequest>> pointMenuRequest;
    Timer classificationTimer;
    bool appeared = false;
    Subscription frameSubscription;

    TopBarView* topBarView = nullptr;
    EditorCanvas* canvasView = nullptr;
    ControlsStripView* stripView = nullptr;
    CurveChoiceView* choiceView = nullptr;
    SegmentedControl* spectrumSwitchView = nullptr;
    SegmentedControl* frameSizeSwitchView = nullptr;
    View* holdSwitchView = nullptr;
    SegmentedControl* listenSwitchView = nullptr;
    std::array<View*, kCurveSlotCount> copyItems{};
    PointMenuView* pointMenuView = nullptr;
    PresetBrowserView* browserView = nullptr;
    PresetSaveDialog* dialogView = nullptr;
};

} // namespace zerin
