#include "shell/in_process_unit_link.h"

#include <utility>

namespace zerin {

InProcessUnitLink::InProcessUnitLink(std::shared_ptr<ZerinExtensionAudioUnit> unit)
    : mUnit(std::move(unit)) {
    // Whatever happened before the editor came is what it reads when it opens.
    if (mUnit) mSeenChanges = mUnit->externalChangeCount();
}

void InProcessUnitLink::setSpectralCurve(const CurvePairs& points) {
    if (mUnit) mUnit->setSpectralCurve(points);
}

CurvePairs InProcessUnitLink::getSpectralCurve() const {
    return mUnit ? mUnit->getSpectralCurve() : CurvePairs{};
}

std::optional<DisplayFrame> InProcessUnitLink::takeDisplayFrame() {
    return mUnit ? mUnit->takeDisplayFrame() : std::nullopt;
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
