#include "shell/in_process_unit_link.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <utility>

namespace zerin {

InProcessUnitLink::InProcessUnitLink(std::shared_ptr<ZerinExtensionAudioUnit> unit)
    : mUnit(std::move(unit)) {
    // Whatever happened before the editor came is what it reads when it opens.
    if (mUnit) mSeenChanges = mUnit->externalChangeCount();
    std::fill(std::begin(mReported), std::end(mReported), std::nanf(""));
}

void InProcessUnitLink::setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) {
    if (mUnit) mUnit->setCurve(slot, kind, points);
}

CurvePoints InProcessUnitLink::getCurve(CurveSlot slot, CurveKind kind) const {
    return mUnit ? mUnit->curve(slot, kind) : CurvePoints{};
}

void InProcessUnitLink::setFrameWanted(DisplayFrameKind kind, bool wanted) {
    if (mUnit) mUnit->setFrameWanted(kind, wanted);
}

std::optional<DisplayFrame> InProcessUnitLink::takeFrame(DisplayFrameKind kind) {
    return mUnit ? mUnit->takeFrame(kind) : std::nullopt;
}

std::string InProcessUnitLink::presetName() const {
    return mUnit ? mUnit->presetName() : std::string(kInitPresetName);
}

EditorView InProcessUnitLink::editorView() const {
    return mUnit ? mUnit->editorView() : EditorView{};
}

void InProcessUnitLink::setEditorView(const EditorView& view) {
    if (mUnit) mUnit->setEditorView(view);
}

double InProcessUnitLink::sampleRate() const {
    return mUnit ? (*mUnit->outputBusses())[0].format().sampleRate : 0.0;
}

int InProcessUnitLink::channelCount() const {
    return mUnit ? static_cast<int>((*mUnit->outputBusses())[0].format().channelCount) : 0;
}

void InProcessUnitLink::setPresetName(const std::string& name) {
    if (mUnit) mUnit->setPresetName(name);
}

void InProcessUnitLink::poll() {
    if (!mUnit) return;
    // What the unit reports goes into its read-only leaves, whose observers (the editor's
    // mirror) hear it as any change of a parameter; only a change, not every poll.
    for (int a = 0; a < parameter::kCount; ++a) {
        if (!parameter::isOutput(a)) continue;
        const float now = mUnit->dspKernel().getParameter(static_cast<std::uint64_t>(a));
        AUParameter* leaf =
            mUnit->parameterTree()->parameterWithAddress(static_cast<AUParameterAddress>(a));
        if (leaf == nullptr || now == mReported[a]) continue;
        mReported[a] = now;
        leaf->setValue(now);
    }
    const std::uint64_t changes = mUnit->externalChangeCount();
    if (changes == mSeenChanges) return;
    mSeenChanges = changes;
    if (onExternalChange) onExternalChange();
}

} // namespace zerin
