#pragma once

// What the editor is editing and what it hears from the unit, without a view: the curve set
// (both slots, both kinds) and which curve is edited, the undo history, the presets, the
// editor's own preferences, and the link to the unit, with the display frames it feeds. The
// main view lays this out and binds its controls to it; tests drive it directly. Main thread
// only.

#include "dsp/modes.h"
#include "dsp/parameters.h"
#include "editor/canvas_input.h"
#include "editor/frequency_view.h"
#include "editor/heard_macros.h"
#include "editor/spectrum_plot.h"
#include "model/curve_model.h"
#include "presets/preference_store.h"
#include "presets/preset.h"
#include "presets/preset_manager.h"
#include "shell/curve_history.h"
#include "shell/editor_parameters.h"
#include "shell/editor_unit_link.h"
#include "shell/frame_feed.h"
#include "signals/observable.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

class EditorSession {
public:
    // `parameters` and `link` (null: no unit, every call to it skipped) must outlive the
    // session. Starts from the unit's curves and preset name when the link knows them, else
    // from the default curve as "Init"; a link that has not yet heard what the unit holds
    // leaves the session waiting for it (no curve held or sent) until it has. User presets and
    // the editor's preferences come from `store`.
    EditorSession(EditorParameters& parameters, EditorUnitLink* link,
                  PreferenceStore store = PreferenceStore());
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    // Called after the curves were read from the unit again (a state restore, a host preset,
    // the first answer of a unit the session waited for).
    std::function<void()> onUnitStateRead;

    // --- what is edited ---
    const CurveSetPoints& curveSet() const { return curves; }
    const ControlCurve& editedCurve() const { return curves.at(slot, kind); }
    CurveSlot editedSlot() const { return slot; }
    CurveKind editedKind() const { return kind; }
    // The curve edited and the frequencies the axis shows, as the unit keeps them.
    EditorView view() const;
    // Whether the session still waits to hear what the unit holds; a read from a view that
    // tracks its reads redraws it when that ends.
    bool waitingForUnit() const { return waiting.get(); }
    const PresetManager& presetManager() const { return presets; }
    PresetManager& presetManager() { return presets; }
    const CurveHistory& history() const { return curveHistory; }

    // --- the parameters, as the editor shows them ---
    // A parameter the host tree lacks reads as its default: the editor draws as it would with
    // the control untouched.
    float parameterValue(parameter::Address address) const;
    SpectralMode currentMode() const;
    // One gesture on a choice: touch with its new value, then release.
    void choose(parameter::Address address, float value);
    void applyModeSelection(SpectralMode mode);
    // The delay range chosen (a delayRange index): how long the delay axis runs.
    int delayRange() const;
    // The frame size chosen (an fftSize index), and the latency it gives in ms at the unit's
    // rate (NaN while the rate is not known).
    int fftSizeIndex() const;
    double latencyMs() const;
    // Morph, scale, shift, the tempo delays snap to and the stereo spread, as the unit hears
    // the curves now. A unit known to be mono hears no spread.
    CurveMacros heardMacros() const;
    // What plays at `hz`: the delay (each side's under a spread) and the feedback share.
    HeardAt heardAt(float hz) const;
    // The edited curve as heard under `macros`, at heardLineFrequencies(), into `out`; empty
    // while it is heard as drawn, and for delays under a spread, which no side hears.
    void heardLine(const CurveMacros& macros, std::vector<float>& out) const;
    // The edited delays as the left and the right side hear them under the macros' spread, at
    // heardLineFrequencies(); both empty without a spread or while feedback is edited.
    void heardSides(const CurveMacros& macros, std::vector<float>& left,
                    std::vector<float>& right) const;

    // --- edits ---
    // Chooses the curve edited; a pending edit ends first. False when it already was.
    bool editCurve(CurveSlot slot, CurveKind kind);
    // The canvas's writes of the edited curve, and its word that it changed: each reaches the
    // unit at once; the edit becomes one step of the history when it ends, at once unless a
    // point is still held (a drag ends with commitEdit).
    void setEditedCurve(ControlCurve points) { curves.at(slot, kind) = std::move(points); }
    void curveEdited(bool pointHeld);
    void commitEdit();
    bool editInProgress() const { return editStart.has_value(); }
    // Copies both curves of slot `from` over the other slot's, as one step of the history.
    void copySlot(CurveSlot from);
    // The preset's curves replace the set and are sent, as one step.
    void loadPreset(const Preset& preset);
    // Stores the curve set as a user preset under `name`.
    void savePreset(const std::string& name);
    // Whether there was a step.
    bool undo();
    bool redo();

    // --- the unit ---
    // Hands every curve of the set, each sorted by frequency, to the unit; an empty curve too.
    void pushCurveToAudioUnit();
    // The editor shows: sends its curves unless they came from the unit or are still to come
    // (either way they are the session's, and sending anything else would lose them).
    void start();
    // Every kPollInterval: lets the link notice changes and takes the newest bands. True when
    // the bands shown changed.
    bool poll(double now);
    // At display frames: the analyser's levels, wanted only while the spectrum shows. True
    // when they changed.
    bool takeLevels(double now);
    // The editor goes: the unit need make no more display frames.
    void stopFeeds();
    // Reads the unit's curves and preset name again (the link's onExternalChange).
    void reloadFromUnit();
    // The bands and the levels as they show, until stale.
    const std::optional<DisplayFrame>& classification() const { return bands.shown(); }
    const std::optional<DisplayFrame>& levels() const { return spectra.shown(); }

    // --- the view ---
    // The stretch of the frequency axis the canvas shows (its zoom and pan), the whole axis
    // at first. Kept for the session's life only, not with the unit's state nor the
    // preferences (yet); a view that tracks its reads redraws when it changes.
    FrequencyView frequencyView() const { return visibleFrequencies.get(); }
    // Within the limits (limitedFrequencyView): at least an octave, inside 20 Hz..20 kHz.
    void setFrequencyView(FrequencyView view);
    const Observable<FrequencyView>& frequencyViewModel() const { return visibleFrequencies; }

    // --- preferences ---
    // Which spectra the canvas shows (OFF / IN / OUT / BOTH), kept in the preference store.
    SpectrumShown spectrumChoice() const { return spectrumShown; }
    void chooseSpectrum(SpectrumShown shown);

private:
    void adoptUnitState(bool initial);
    void adoptView(const EditorView& unitView);
    // Tells the unit where the editor stands now.
    void forwardView();
    void adoptPresetName(const std::string& name);
    void forwardPresetName();
    void replaceCurves(CurveSetPoints set);
    void pushCurve(CurveSlot slot, CurveKind kind);
    CurveHistory::PresetMark presetMark() const;
    // Undoes (back) or redoes a step: its curves and, for a load, its preset come back.
    bool takeStep(bool back);
    void readSpectrumChoice();

    EditorParameters& parameters;
    EditorUnitLink* link;
    PresetManager presets;
    PreferenceStore preferences; // the editor's own settings
    CurveSetPoints curves;
    CurveSlot slot = CurveSlot::a;
    CurveKind kind = CurveKind::delay;
    Observable<bool> waiting{false}; // for the unit to say what it holds
    FrameFeed bands{DisplayFrameKind::classification};
    FrameFeed spectra{DisplayFrameKind::levels};
    SpectrumShown spectrumShown = SpectrumShown::both;
    Observable<FrequencyView> visibleFrequencies;

    CurveHistory curveHistory;
    // The set as it stood after the last finished edit, and the one before the edit in
    // progress (a drag reports every movement; it becomes one step when it ends).
    CurveSetPoints settledCurves;
    std::optional<CurveSetPoints> editStart;

    bool curveFromUnit = false;
    std::string forwardedName;
    Subscription presetChanges;
};

} // namespace zerin
