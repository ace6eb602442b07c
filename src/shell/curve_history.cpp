#include "shell/curve_history.h"

#include <algorithm>
#include <utility>

namespace zerin {

CurveHistory::CurveHistory(std::size_t maxDepth) : maxDepth(std::max<std::size_t>(maxDepth, 1)) {}

void CurveHistory::push(std::deque<Step>& steps, Step step, std::size_t limit) {
    steps.push_back(std::move(step));
    while (steps.size() > limit)
        steps.pop_front();
}

void CurveHistory::record(Curve before, std::optional<PresetMark> presetBefore) {
    push(undoSteps, {std::move(before), std::move(presetBefore)}, maxDepth);
    redoSteps.clear();
}

std::optional<CurveHistory::Step> CurveHistory::move(std::deque<Step>& from, std::deque<Step>& to,
                                                     Curve current,
                                                     const PresetMark& currentPreset) const {
    if (from.empty()) return std::nullopt;
    Step step = std::move(from.back());
    from.pop_back();
    // Going back over a step that changed the preset changes it back, both ways.
    std::optional<PresetMark> preset;
    if (step.preset) preset = currentPreset;
    push(to, {std::move(current), std::move(preset)}, maxDepth);
    return step;
}

std::optional<CurveHistory::Step> CurveHistory::undo(Curve current,
                                                     const PresetMark& currentPreset) {
    return move(undoSteps, redoSteps, std::move(current), currentPreset);
}

std::optional<CurveHistory::Step> CurveHistory::redo(Curve current,
                                                     const PresetMark& currentPreset) {
    return move(redoSteps, undoSteps, std::move(current), currentPreset);
}

void CurveHistory::clear() {
    undoSteps.clear();
    redoSteps.clear();
}

} // namespace zerin
