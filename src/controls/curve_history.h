#pragma once

// Undo and redo of the editor's curve: each step keeps the whole curve as it was, which is
// at most a few dozen points, so snapshots are cheaper to reason about than inverse edits.

#include "editor/curve_point.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace zerin {

class CurveHistory {
public:
    using Curve = std::vector<CurveControlPoint>;

    static constexpr std::size_t kDefaultDepth = 100;

    explicit CurveHistory(std::size_t maxDepth = kDefaultDepth);

    // A finished edit: `before` is the curve as it was before it. A new edit makes the undone
    // steps unreachable, so the redo stack is cleared; the oldest step goes beyond maxDepth.
    void record(Curve before);

    // The curve to show instead of `current`, which becomes the step to redo (or undo).
    // None, with nothing changed, when there is no step.
    std::optional<Curve> undo(Curve current);
    std::optional<Curve> redo(Curve current);

    bool canUndo() const { return !undoSteps.empty(); }
    bool canRedo() const { return !redoSteps.empty(); }
    std::size_t undoDepth() const { return undoSteps.size(); }
    std::size_t redoDepth() const { return redoSteps.size(); }
    void clear();

private:
    static void push(std::deque<Curve>& steps, Curve curve, std::size_t limit);

    std::size_t maxDepth;
    std::deque<Curve> undoSteps;
    std::deque<Curve> redoSteps;
};

} // namespace zerin
