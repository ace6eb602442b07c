#pragma once

// The object every host talks to: busses, render resources, the render block, parameters,
// full state, factory presets, and the editor's entry points for the curve and the display
// frames.

#include "audiounit/render.h"
#include "dsp/curve.h"
#include "dsp/display_frame.h"
#include "dsp/editor_view.h"
#include "dsp/factory_curves.h"
#include "dsp/kernel.h"
#include "platform/au/au_audio_unit.h"
#include "platform/json/preset_name.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zerin {

// Zerin's identity as an audio component: an effect ('aufx'), subtype 'Zrin', maker 'Vesk'.
AudioComponentDescription zerinComponentDescription();

class ZerinExtensionAudioUnit : public AUAudioUnit,
                                public std::enable_shared_from_this<ZerinExtensionAudioUnit> {
public:
    // Null (with `error`) if a bus cannot be made.
    static std::shared_ptr<ZerinExtensionAudioUnit>
    create(const AudioComponentDescription& description, std::uint32_t options, AUError* error);
    ~ZerinExtensionAudioUnit() override;

    AUAudioUnitBusArray* inputBusses() override { return mInputBusses.get(); }
    AUAudioUnitBusArray* outputBusses() override { return mOutputBusses.get(); }
    std::vector<int> channelCapabilities() const override { return {1, 1, 2, 2}; }
    double latency() const override; // seconds: the 2047-sample lag of dry and wet alike
    double tailTime() const override { return 2.5; }
    AUAudioFrameCount maximumFramesToRender() const override;
    void setMaximumFramesToRender(AUAudioFrameCount frames) override;
    bool shouldBypassEffect() const override;
    void setShouldBypassEffect(bool bypass) override;

    bool allocateRenderResources(AUError* error) override;
    void deallocateRenderResources() override;
    void reset() override;
    AUInternalRenderBlock internalRenderBlock() override;

    // Adopts the tree, pushes every value into the kernel and wires the callbacks.
    void setupParameterTree(std::shared_ptr<AUParameterTree> tree);
    void installParameterCallbacks();

    nlohmann::json fullState() const override;
    void setFullState(const nlohmann::json* state) override;
    std::vector<AUAudioUnitPreset> factoryPresets() const override;
    void setCurrentPreset(std::optional<AUAudioUnitPreset> preset) override;

    // Editor-facing, any non-render thread; never waits for the render thread.
    // The whole curve set, handed to the kernel at once; a curve of no point keeps the one
    // before.
    void setCurveSet(const CurveSet& set);
    CurveSet curveSet() const;
    // One curve of the set.
    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points);
    CurvePoints curve(CurveSlot slot, CurveKind kind) const;
    // The newest display frame of `kind` since the last call, if the kernel made one: the
    // ratings whenever Source is up, the analyser's levels only while they are wanted (an
    // editor draws them). Any non-render thread.
    std::optional<DisplayFrame> takeFrame(DisplayFrameKind kind);
    void setFrameWanted(DisplayFrameKind kind, bool wanted) {
        mKernel.setFrameWanted(kind, wanted);
    }

    // The name of the preset the curve came from, kept in the full state so that a reopened
    // editor shows it. Any non-render thread. Stored as boundedPresetName makes it
    // (platform/json/preset_name.h).
    std::string presetName() const;
    void setPresetName(std::string name);
    // Where the editor stood (the curve it edited, its frequency axis), kept in the full state
    // so that a reopened editor opens there. Any non-render thread.
    EditorView editorView() const;
    void setEditorView(const EditorView& view);

    // Counts the changes of curve and preset name made from outside the editor (a restored
    // state, a host preset), so an editor polling it knows when to read both again.
    std::uint64_t externalChangeCount() const {
        return mExternalChanges.load(std::memory_order_acquire);
    }

    // Direct access for tests and the host layers that own this unit.
    ZerinExtensionDSPKernel& dspKernel() { return mKernel; }
    const ZerinExtensionDSPKernel& dspKernel() const { return mKernel; }

private:
    explicit ZerinExtensionAudioUnit(const AudioComponentDescription& description);
    bool construct(AUError* error);

    ZerinExtensionDSPKernel mKernel;
    // The largest render call the host announced; the render block refuses larger ones.
    std::atomic<AUAudioFrameCount> mMaxFramesToRender{1024};
    std::optional<AUProcessHelper> mProcessHelper;
    BufferedInputBus mInputBus;
    std::unique_ptr<AUAudioUnitBus> mOutputBus;
    std::unique_ptr<AUAudioUnitBusArray> mInputBusses;
    std::unique_ptr<AUAudioUnitBusArray> mOutputBusses;

    // The kernel's curve producer and snapshot consumer are single-threaded by design; the
    // unit may be called from the editor and the host at once, so it serialises each side.
    // The render thread never takes these.
    mutable std::mutex mCurveMutex;
    std::mutex mSnapshotMutex;

    mutable std::mutex mPresetNameMutex; // and the editor view
    std::string mPresetName{kInitPresetName};
    EditorView mEditorView;
    std::atomic<std::uint64_t> mExternalChanges{0};
};

// What a full state holds of the curve set.
struct StateCurves {
    bool found = false;               // the state has curves to install
    std::vector<std::string> dropped; // what it holds but cannot be used, as "curveSet.b.feedback"
    // Curves installed without some of their entries (unusable, or past the 32 the kernel
    // keeps), as "curveSet.a.delay (2 of 40 points)".
    std::vector<std::string> partial;
};
// Reads a full state's curves into `set`: its "curveSet", or, from an earlier build, the one
// delay curve of "spectralCurve" as both slots' delay curve with flat feedback. A curve that
// is missing or has no usable point keeps the one `set` held, and a damaged one is named.
// A point is used when it has both keys, a finite frequency above 0 and a finite value, the
// first 32 of them in order: damaged or hand-edited states never fail. Feedback values are
// limited to 0..100.
StateCurves curveSetFromState(const nlohmann::json& state, CurveSet& set);

// Why `state` is not a full state this build can restore and write back, or "" when it is
// one: an object with the keys the unit's full state has (every version so far wrote them
// all, "presetName" aside), naming Zerin, with no key Zerin does not write and a
// formatVersion no newer than this build's. Files named on a command line go through this
// before they are used, so a file that is not a saved state is never written over.
std::string savedStateProblem(const nlohmann::json& state);

// The preset name of a full state: "Init" when it has none or not as text.
std::string presetNameFromState(const nlohmann::json& state);
// The editor's view a state holds under "editorView", made usable (editorViewFrom); the
// whole axis on slot A's delay curve when it holds none.
EditorView editorViewFromState(const nlohmann::json& state);

} // namespace zerin
