#include "shell/editor_session.h"

#include "dsp/constants.h"
#include "model/curve_point.h"
#include "presets/factory_presets.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <utility>

namespace zerin {

namespace {

namespace C = ZerinCurveConstants;

constexpr std::string_view kSpectrumKey = "ZerinSpectrum";

constexpr std::array<std::pair<CurveSlot, CurveKind>, kCurveSlotCount * kCurveKindCount>
    kEveryCurve{{{CurveSlot::a, CurveKind::delay},
                 {CurveSlot::a, CurveKind::feedback},
                 {CurveSlot::b, CurveKind::delay},
                 {CurveSlot::b, CurveKind::feedback}}};

void sortEach(CurveSetPoints& set) {
    for (auto& curvesOfSlot : set.curves)
        for (ControlCurve& curve : curvesOfSlot)
            sortByFrequency(curve);
}

const Preset* findPreset(const std::vector<Preset>& list, const std::string& name) {
    const auto found =
        std::find_if(list.begin(), list.end(), [&](const Preset& p) { return p.name == name; });
    return found == list.end() ? nullptr : &*found;
}

} // namespace

EditorSession::EditorSession(EditorParameters& parameters, EditorUnitLink* link,
                             PreferenceStore store)
    : parameters(parameters), link(link), presets(store), preferences(std::move(store)),
      curves(setOfDelayCurve(C::defaultCurve())) {
    // Nothing of the defaults is taken for the session's while the unit has not said.
    if (link != nullptr && !link->knowsUnitState()) {
        waiting.set(true);
        curves = CurveSetPoints{};
    }
    readSpectrumChoice();
    adoptUnitState(true);
    settledCurves = curves;
    presetChanges = presets.observe([this] { forwardPresetName(); });
    if (link != nullptr) link->onExternalChange = [this] { reloadFromUnit(); };
}

EditorSession::~EditorSession() {
    stopFeeds();
    if (link != nullptr) link->onExternalChange = nullptr;
}

// --- the parameters ---

float EditorSession::parameterValue(parameter::Address address) const {
    const ControlParameter* leaf = parameters.parameter(address);
    return leaf != nullptr ? leaf->value() : parameter::defaultValue(address);
}

SpectralMode EditorSession::currentMode() const {
    return spectralModeOfValue(parameterValue(parameter::mode));
}

void EditorSession::choose(parameter::Address address, float value) {
    ControlParameter* leaf = parameters.parameter(address);
    if (leaf == nullptr) return;
    leaf->setEditing(true);
    leaf->setValue(value);
    leaf->setEditing(false);
}

void EditorSession::applyModeSelection(SpectralMode mode) {
    choose(parameter::mode, static_cast<float>(rawValue(mode)));
}

CurveMacros EditorSession::heardMacros() const {
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
    macros.longestMs = delayRangeMs(delayRange());
    if (link == nullptr || link->channelCount() != 1)
        macros.spread = fraction(parameter::stereoSpread, 0.0f, 100.0f) / 100.0f;
    return macros;
}

int EditorSession::delayRange() const {
    return delayRangeOfValue(parameterValue(parameter::delayRange));
}

int EditorSession::fftSizeIndex() const {
    const int index = static_cast<int>(std::lround(parameterValue(parameter::fftSize)));
    return std::clamp(index, 0, kFFTSizeCount - 1);
}

double EditorSession::latencyMs() const {
    const double rate = link != nullptr ? link->sampleRate() : 0.0;
    if (!(rate > 0.0)) return std::nan("");
    return 1000.0 * (kFFTSizes[fftSizeIndex()] - 1) / rate;
}

HeardAt EditorSession::heardAt(float hz) const {
    const CurveMacros macros = heardMacros();
    const float at[1] = {hz};
    std::vector<float> value;
    HeardAt heard;
    heardValues(curves, CurveKind::delay, macros, at, value);
    heard.delayMs = value.at(0);
    if (macros.spread > 0.0f)
        heard.sidesMs = {sideDelayMs(heard.delayMs, macros.spread, StereoSide::left),
                         sideDelayMs(heard.delayMs, macros.spread, StereoSide::right)};
    heardValues(curves, CurveKind::feedback, macros, at, value);
    heard.feedbackPercent = value.at(0);
    return heard;
}

void EditorSession::heardLine(const CurveMacros& macros, std::vector<float>& out) const {
    const bool sides = kind == CurveKind::delay && macros.spread > 0.0f;
    if (!sides && heardDiffersFromDrawn(macros, slot, kind, curves.at(slot, kind)))
        heardValues(curves, kind, macros, heardLineFrequencies(), out);
    else
        out.clear();
}

void EditorSession::heardSides(const CurveMacros& macros, std::vector<float>& left,
                               std::vector<float>& right) const {
    left.clear();
    right.clear();
    if (kind != CurveKind::delay || !(macros.spread > 0.0f)) return;
    heardSideValues(curves, macros, StereoSide::left, heardLineFrequencies(), left);
    heardSideValues(curves, macros, StereoSide::right, heardLineFrequencies(), right);
}

// --- edits and history ---

bool EditorSession::editCurve(CurveSlot newSlot, CurveKind newKind) {
    if (newSlot == slot && newKind == kind) return false;
    // A drag in progress ends with the curve it moved.
    commitEdit();
    slot = newSlot;
    kind = newKind;
    forwardView();
    return true;
}

EditorView EditorSession::view() const {
    const FrequencyView shown = visibleFrequencies.peek();
    return {slot, kind, shown.lowHz, shown.highHz};
}

void EditorSession::forwardView() {
    if (link != nullptr && !waiting.peek()) link->setEditorView(view());
}

// The unit's word on where the editor stands (a restored state): no step of the history.
void EditorSession::adoptView(const EditorView& unitView) {
    if (unitView == view()) return;
    commitEdit();
    slot = unitView.slot;
    kind = unitView.kind;
    visibleFrequencies.set(limitedFrequencyView({unitView.lowHz, unitView.highHz}));
}

void EditorSession::curveEdited(bool pointHeld) {
    if (!editStart) editStart = settledCurves;
    pushCurve(slot, kind);
    presets.updateDirtyState(curves);
    // Adding by a click, deleting by a double click or with Option: finished at once. A drag
    // finishes when the press ends.
    if (!pointHeld) commitEdit();
}

void EditorSession::commitEdit() {
    if (!editStart) return;
    if (!sameCurves(*editStart, curves)) curveHistory.record(std::move(*editStart));
    editStart.reset();
    settledCurves = curves;
}

void EditorSession::copySlot(CurveSlot from) {
    commitEdit();
    const CurveSlot to = from == CurveSlot::a ? CurveSlot::b : CurveSlot::a;
    CurveSetPoints copied = curves;
    for (int k = 0; k < kCurveKindCount; ++k) {
        const auto copiedKind = static_cast<CurveKind>(k);
        copied.at(to, copiedKind) = curves.at(from, copiedKind);
    }
    if (sameCurves(copied, curves)) return;
    curveHistory.record(curves);
    replaceCurves(std::move(copied));
}

void EditorSession::replaceCurves(CurveSetPoints set) {
    curves = std::move(set);
    settledCurves = curves;
    pushCurveToAudioUnit();
    presets.updateDirtyState(curves);
}

void EditorSession::loadPreset(const Preset& preset) {
    commitEdit();
    CurveSetPoints before = curves;
    CurveHistory::PresetMark presetBefore = presetMark();
    CurveSetPoints loaded;
    presets.loadPreset(preset, loaded);
    if (!sameCurves(before, loaded) || presetBefore.name != preset.name)
        curveHistory.record(std::move(before), std::move(presetBefore));
    replaceCurves(std::move(loaded));
}

void EditorSession::savePreset(const std::string& name) {
    commitEdit();
    presets.savePreset(name, curves);
}

CurveHistory::PresetMark EditorSession::presetMark() const {
    return {presets.currentPresetName(), presets.snapshotPoints()};
}

bool EditorSession::undo() {
    return takeStep(true);
}

bool EditorSession::redo() {
    return takeStep(false);
}

bool EditorSession::takeStep(bool back) {
    commitEdit();
    std::optional<CurveHistory::Step> step =
        back ? curveHistory.undo(curves, presetMark()) : curveHistory.redo(curves, presetMark());
    if (!step) return false;
    if (step->preset)
        presets.restorePreset(std::move(step->preset->name), std::move(step->preset->points));
    replaceCurves(std::move(step->curve));
    return true;
}

// --- the unit ---

void EditorSession::pushCurve(CurveSlot pushedSlot, CurveKind pushedKind) {
    if (link != nullptr)
        link->setCurve(pushedSlot, pushedKind, curvePointsOf(curves.at(pushedSlot, pushedKind)));
}

void EditorSession::pushCurveToAudioUnit() {
    for (const auto& [s, k] : kEveryCurve)
        pushCurve(s, k);
}

void EditorSession::start() {
    if (!curveFromUnit && !waiting.peek()) pushCurveToAudioUnit();
}

bool EditorSession::poll(double now) {
    if (link == nullptr) return false;
    link->poll();
    return bands.update(*link, now, true);
}

bool EditorSession::takeLevels(double now) {
    return link != nullptr && spectra.update(*link, now, spectrumShown != SpectrumShown::off);
}

void EditorSession::stopFeeds() {
    bands.stop(link);
    spectra.stop(link);
}

void EditorSession::adoptUnitState(bool initial) {
    if (link == nullptr || waiting.peek()) return;
    // A unit that holds no curve yet (never allocated) gets the editor's on appear.
    if (link->getCurve(CurveSlot::a, CurveKind::delay).empty()) {
        adoptPresetName(link->presetName());
        return;
    }
    const CurveSetPoints before = curves;
    // A curve the link does not know yet keeps the editor's.
    for (const auto& [s, k] : kEveryCurve) {
        const CurvePoints held = link->getCurve(s, k);
        ControlCurve points = controlPointsOf(held);
        if (!held.empty() && !sameCurve(points, curves.at(s, k)))
            curves.at(s, k) = std::move(points);
    }
    if (initial)
        curveFromUnit = true;
    else if (!sameCurves(before, curves))
        curveHistory.record(before, presetMark());
    settledCurves = curves;
    adoptPresetName(link->presetName());
    adoptView(link->editorView());
}

// The preset manager takes the name and, when a preset of that name is known, its curve as
// the reference, so the dirty marker tells whether the unit's curve still is that preset.
// An unknown name (a user preset stored elsewhere, or deleted) takes the curve as it is.
void EditorSession::adoptPresetName(const std::string& name) {
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

void EditorSession::forwardPresetName() {
    const std::string& name = presets.currentPresetName();
    if (name == forwardedName) return;
    forwardedName = name;
    if (link != nullptr) link->setPresetName(name);
}

void EditorSession::reloadFromUnit() {
    if (waiting.peek()) {
        if (!link->knowsUnitState()) return;
        // The first answer is where the editor starts, as if it had been there at opening:
        // no step of the history, nothing sent back.
        waiting.set(false);
        adoptUnitState(true);
    } else {
        commitEdit();
        adoptUnitState(false);
    }
    if (onUnitStateRead) onUnitStateRead();
}

// --- the view ---

void EditorSession::setFrequencyView(FrequencyView view) {
    if (visibleFrequencies.set(limitedFrequencyView(view))) forwardView();
}

// --- preferences ---

void EditorSession::readSpectrumChoice() {
    // A value this build cannot read (a hand edit, a later build's word) shows both.
    preferences.read(kSpectrumKey, [this](const nlohmann::ordered_json* value) {
        if (value != nullptr && value->is_string())
            spectrumShown = spectrumShownFromKey(value->get<std::string>()).value_or(spectrumShown);
    });
}

void EditorSession::chooseSpectrum(SpectrumShown shown) {
    if (shown == spectrumShown) return;
    spectrumShown = shown;
    preferences.update(kSpectrumKey, [shown](nlohmann::ordered_json& value) {
        value = std::string(spectrumShownKey(shown));
        return std::string();
    });
}

} // namespace zerin
