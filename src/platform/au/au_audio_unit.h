#pragma once

// The base of every audio unit in the stand-in framework: component description, render
// resource state, parameter tree, presets, musical context and the full state.
//
// The full state is a JSON object. The base writes the component description, a format
// version and the value of every parameter by identifier under "parameters"; on restore it
// sets each known identifier (clamped to its range) and ignores the rest, so a state from a
// version with more or fewer parameters still loads.

#include "platform/au/au_buffers.h"
#include "platform/au/au_parameters.h"

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zerin {

inline constexpr int kFullStateFormatVersion = 2;

// Whether `state` says it was written in a later format than this build's: such a state is
// never restored (its numbers may mean something else now). A state that names no version,
// or one that is not a whole number, counts as the first, as the oldest files have it.
bool isNewerStateFormat(const nlohmann::json& state);

class AUAudioUnit {
public:
    explicit AUAudioUnit(const AudioComponentDescription& description);
    virtual ~AUAudioUnit();
    AUAudioUnit(const AUAudioUnit&) = delete;
    AUAudioUnit& operator=(const AUAudioUnit&) = delete;

    const AudioComponentDescription& componentDescription() const { return mDescription; }

    virtual AUAudioUnitBusArray* inputBusses() { return nullptr; }
    virtual AUAudioUnitBusArray* outputBusses() { return nullptr; }
    virtual std::vector<int> channelCapabilities() const { return {}; }
    virtual double latency() const { return 0.0; }
    virtual double tailTime() const { return 0.0; }
    virtual AUAudioFrameCount maximumFramesToRender() const { return mMaximumFrames; }
    virtual void setMaximumFramesToRender(AUAudioFrameCount frames) { mMaximumFrames = frames; }
    virtual bool shouldBypassEffect() const { return mBypass; }
    virtual void setShouldBypassEffect(bool bypass) { mBypass = bypass; }

    // Render resources. The base checks nothing and marks the resources allocated.
    virtual bool allocateRenderResources(AUError* error);
    virtual void deallocateRenderResources();
    virtual void reset() {}
    bool renderResourcesAllocated() const { return mAllocated; }
    void setRenderResourcesAllocated(bool allocated) { mAllocated = allocated; }
    virtual AUInternalRenderBlock internalRenderBlock() = 0;

    std::shared_ptr<AUParameterTree> parameterTree() const { return mParameterTree; }
    void setParameterTree(std::shared_ptr<AUParameterTree> tree) {
        mParameterTree = std::move(tree);
    }

    // The host's musical context, set by the host before it fetches the render block.
    const AUHostMusicalContextBlock& musicalContextBlock() const { return mMusicalContext; }
    void setMusicalContextBlock(AUHostMusicalContextBlock block) {
        mMusicalContext = std::move(block);
    }

    virtual std::vector<AUAudioUnitPreset> factoryPresets() const { return {}; }
    virtual std::optional<AUAudioUnitPreset> currentPreset() const;
    virtual void setCurrentPreset(std::optional<AUAudioUnitPreset> preset);

    // The full state; null restores nothing. Restoring never fails: what cannot be used is
    // ignored.
    virtual nlohmann::json fullState() const;
    virtual void setFullState(const nlohmann::json* state);

    // Observers of the parameter values as a whole (a restored state changes them all).
    using ValuesObserver = std::function<void()>;
    std::uint64_t observeAllParameterValues(ValuesObserver observer);
    void removeAllParameterValuesObserver(std::uint64_t token);

protected:
    void notifyAllParameterValuesChanged();

private:
    AudioComponentDescription mDescription;
    bool mAllocated = false;
    AUAudioFrameCount mMaximumFrames = 512;
    bool mBypass = false;
    std::shared_ptr<AUParameterTree> mParameterTree;
    AUHostMusicalContextBlock mMusicalContext;
    mutable std::mutex mPresetMutex;
    std::optional<AUAudioUnitPreset> mCurrentPreset;
    std::mutex mValuesObserverMutex;
    std::vector<std::pair<std::uint64_t, ValuesObserver>> mValuesObservers;
    std::uint64_t mNextValuesToken = 1;
};

} // namespace zerin
