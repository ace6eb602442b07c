#pragma once

// Undo and redo of the editor's curves: each step keeps the whole set as it was (four curves
// of at most a few dozen points), so an edit in either slot, of either kind, or a copy from
// one slot to the other is one step, and snapshots are cheaper to reason about than inverse
// edits. A step that also changed the current preset (loading one) keeps the preset as it was
// too, so undoing it brings back the name and the dirty marker with the curves.

#include "model/curve_point.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zerin {

class CurveHistory {
public:
    using Curve = CurveSetPoints;
    // The current preset: its name and the curves the editor's are compared with for the
    // dirty marker.
    struct PresetMark {
        std::string name;
        Curve points;
    };
    struct Step {
        Curve curve;
        std::optional<PresetMark> preset; // for steps that changed the current preset
    };

    static constexpr std::size_t kDefaultDepth = 100;

    explicit CurveHistory(std::size_t maxDepth = kDefaultDepth);

    // A finished edit: `before` is the set as it was before it, and `presetBefore` the
    // current preset before it when the edit changed that too. A new edit makes the undone
    // steps unreachable, so the redo stack is cleared; the oldest step goes beyond maxDepth.
    void record(Curve before, std::optional<PresetMark> presetBefore = std::nullopt);

    // The step to show instead of `current` (and `currentPreset`), which becomes the step to
    // redo (or undo), with the preset kept when the step has one. None, with nothing changed,
    // when there is no step.
    std::optional<Step> undo(Curve current, const PresetMark& currentPreset);
    std::optional<Step> redo(Curve current, const PresetMark& currentPreset);

    std::size_t undoDepth() const { return undoSteps.size(); }
    std::size_t redoDepth() const { return redoSteps.size(); }
    void clear();

private:
    static void push(std::deque<Step>& steps, Step step, std::size_t limit);
    std::optional<Step> move(std::deque<Step>& from, std::deque<Step>& to, Curve current,
                             const PresetMark& currentPreset) const;

    std::size_t maxDepth;
    std::deque<Step> undoSteps;
    std::deque<Step> redoSteps;
};

} // namespace zerin
