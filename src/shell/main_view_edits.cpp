// The main view's edits of its curve set and their history: canvas edits, the choice of the
// curve edited, copies between slots, preset loads and saves, undo and redo.

#include "editor/spectral_canvas_view.h"
#include "shell/main_view.h"

#include <utility>

namespace zerin {

// --- the curve edited ---

void ZerinExtensionMainView::editCurve(CurveSlot slot, CurveKind kind) {
    if (slot == editedSlot && kind == editedKind) return;
    // A drag in progress ends with the curve it moved.
    commitEdit();
    canvas().handleDragEnded({-1.0, -1.0});
    editedSlot = slot;
    editedKind = kind;
    refreshCanvasInputs();
}

void ZerinExtensionMainView::copySlot(CurveSlot from) {
    commitEdit();
    const CurveSlot to = from == CurveSlot::a ? CurveSlot::b : CurveSlot::a;
    CurveSetPoints copied = curves;
    for (int k = 0; k < kCurveKindCount; ++k) {
        const auto kind = static_cast<CurveKind>(k);
        copied.at(to, kind) = curves.at(from, kind);
    }
    if (sameCurves(copied, curves)) return;
    curveHistory.record(curves);
    replaceCurves(std::move(copied));
}

// --- edits and history ---

void ZerinExtensionMainView::curveEdited() {
    if (!editStart) editStart = settledCurves;
    pushCurve(editedSlot, editedKind);
    presets.updateDirtyState(curves);
    // Adding by a click, deleting by a double click or with Option: finished at once. A drag
    // finishes when the press ends.
    if (!canvas().state().activePointID) commitEdit();
}

void ZerinExtensionMainView::commitEdit() {
    if (!editStart) return;
    if (!sameCurves(*editStart, curves)) curveHistory.record(std::move(*editStart));
    editStart.reset();
    settledCurves = curves;
}

void ZerinExtensionMainView::replaceCurves(CurveSetPoints set) {
    curves = std::move(set);
    settledCurves = curves;
    pushCurveToAudioUnit();
    presets.updateDirtyState(curves);
}

void ZerinExtensionMainView::loadPreset(const Preset& preset) {
    commitEdit();
    CurveSetPoints before = curves;
    CurveHistory::PresetMark presetBefore = presetMark();
    CurveSetPoints loaded;
    presets.loadPreset(preset, loaded);
    if (!sameCurves(before, loaded) || presetBefore.name != preset.name)
        curveHistory.record(std::move(before), std::move(presetBefore));
    replaceCurves(std::move(loaded));
}

CurveHistory::PresetMark ZerinExtensionMainView::presetMark() const {
    return {presets.currentPresetName(), presets.snapshotPoints()};
}

void ZerinExtensionMainView::applyStep(CurveHistory::Step step) {
    if (step.preset)
        presets.restorePreset(std::move(step.preset->name), std::move(step.preset->points));
    replaceCurves(std::move(step.curve));
}

void ZerinExtensionMainView::savePreset(const std::string& name) {
    commitEdit();
    presets.savePreset(name, curves);
}

bool ZerinExtensionMainView::undo() {
    if (canvas().state().activePointID) return false;
    commitEdit();
    std::optional<CurveHistory::Step> previous = curveHistory.undo(curves, presetMark());
    if (!previous) return false;
    applyStep(std::move(*previous));
    return true;
}

bool ZerinExtensionMainView::redo() {
    if (canvas().state().activePointID) return false;
    commitEdit();
    std::optional<CurveHistory::Step> next = curveHistory.redo(curves, presetMark());
    if (!next) return false;
    applyStep(std::move(*next));
    return true;
}

} // namespace zerin
