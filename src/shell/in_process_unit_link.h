#pragma once

// The editor's link to a unit in the same process (the standalone editor, tests): every
// call goes straight to the unit's editor-facing entry points. Without a unit every call is
// skipped, so the editor runs on its own.

#include "audiounit/zerin_audio_unit.h"
#include "shell/editor_unit_link.h"

#include <cstdint>
#include <memory>

namespace zerin {

class InProcessUnitLink : public EditorUnitLink {
public:
    explicit InProcessUnitLink(std::shared_ptr<ZerinExtensionAudioUnit> unit);

    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) override;
    CurvePoints getCurve(CurveSlot slot, CurveKind kind) const override;
    void setFrameWanted(DisplayFrameKind kind, bool wanted) override;
    std::optional<DisplayFrame> takeFrame(DisplayFrameKind kind) override;
    std::string presetName() const override; // "Init" without a unit
    double sampleRate() const override;
    int channelCount() const override; // 0 without a unit
    void setPresetName(const std::string& name) override;
    EditorView editorView() const override;
    void setEditorView(const EditorView& view) override;
    // Tells onExternalChange when a state restore or a host preset reached the unit since
    // the last poll.
    void poll() override;

    const std::shared_ptr<ZerinExtensionAudioUnit>& unit() const { return mUnit; }

private:
    std::shared_ptr<ZerinExtensionAudioUnit> mUnit;
    std::uint64_t mSeenChanges = 0;
    float mReported[parameter::kCount]; // what was last put in the read-only leaves
};

} // namespace zerin
