#include "shell/in_process_unit_link.h"

#include <utility>

namespace zerin {

InProcessUnitLink::InProcessUnitLink(std::shared_ptr<ZerinExtensionAudioUnit> unit)
    : mUnit(std::move(unit)) {
    // Whatever happened before the editor came is what it reads when it opens.
    if (mUnit) mSeenChanges = mUnit->externalChangeCount();
}

void InProcessUnitLink::setCurve(CurveSlot slot, CurveKind kind, const CurvePairs& points) {
    if (mUnit) mUnit->setCurve(slot, kind, points);
}

CurvePairs InProcessUnitLink::getCurve(CurveSlot slot, CurveKind kind) const {
    return mUnit ? mUnit->curve(slot, kind) : CurvePairs{};
}

void InProcessUnitLink::setFrameWanted(DisplayFrameKind kind, bool wanted) {
    if (mUnit) mUnit->setFrameWanted(kind, wanted);
}

std::optional<DisplayFrame> InProcessUnitLink::takeFrame(DisplayFrameKind kind) {
    return mUnit ? mUnit->takeFrame(kind) : std::nullopt;
}

double InProcessUnitLink::hostTempo() const {
    return mUnit ? mUnit->dspKernel().hostTempo() : 0.0;
}

bool InProcessUnitLink::notesHoldFreeze() const {
    return mUnit && mUnit->dspKernel().notesHoldFreeze();
}

std::string InProcessUnitLink::presetName() const {
    return mUnit ? mUnit->presetName() : std::string(kInitPresetName);
}

void InProcessUnitLink::setPresetName(const std::string& name) {
    if (mUnit) mUnit->setPresetName(name);
}

void InProcessUnitLink::poll() {
    if (!mUnit) return;
    const std::uint64_t changes = mUnit->externalChangeCount();
    if (changes == mSeenChanges) return;
    mSeenChanges = changes;
    if (onExternalChange) onExternalChange();
}

} // namespace zerin
