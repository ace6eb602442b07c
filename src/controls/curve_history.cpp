#include "controls/curve_history.h"

#include <algorithm>
#include <utility>

namespace zerin {

CurveHistory::CurveHistory(std::size_t maxDepth) : maxDepth(std::max<std::size_t>(maxDepth, 1)) {}

void CurveHistory::push(std::deque<Curve>& steps, Curve curve, std::size_t limit) {
    steps.push_back(std::move(curve));
    while (steps.size() > limit)
        steps.pop_front();
}

void CurveHistory::record(Curve before) {
    push(undoSteps, std::move(before), maxDepth);
    redoSteps.clear();
}

std::optional<CurveHistory::Curve> CurveHistory::undo(Curve current) {
    if (undoSteps.empty()) return std::nullopt;
    Curve previous = std::move(undoSteps.back());
    undoSteps.pop_back();
    push(redoSteps, std::move(current), maxDepth);
    return previous;
}

std::optional<CurveHistory::Curve> CurveHistory::redo(Curve current) {
    if (redoSteps.empty()) return std::nullopt;
    Curve next = std::move(redoSteps.back());
    redoSteps.pop_back();
    push(undoSteps, std::move(current), maxDepth);
    return next;
}

void CurveHistory::clear() {
    undoSteps.clear();
    redoSteps.clear();
}

} // namespace zerin
