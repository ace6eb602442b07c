#pragma once

// One instance of the LV2 plug-in's DSP side. Threads, as LV2 defines them: run() on the
// audio thread; instantiate, activate, restore and cleanup never at the same time as run();
// save() possibly at the same time as run(), so it reads a copy the other side publishes.

#include "dsp/kernel.h"
#include "dsp/triple_buffer.h"
#include "lv2/messages.h"
#include "lv2/ports.h"

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <atomic>
#include <cstdint>

namespace zerin::lv2 {

struct Plugin {
    // The curve set, preset name and editor view as they stand, for save() and for replies
    // to the UI.
    struct Saved {
        CurveSet set{};
        char name[kMaxPresetNameBytes + 1] = {};
        EditorView view{};
    };

    explicit Plugin(const PortLayout& layout);

    void run(std::uint32_t frames) noexcept;
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept;
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve,
                             LV2_State_Handle handle) noexcept;

    // Producer side (run or restore, never both at once): the kernel's curves and the copy.
    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoint* points, int count) noexcept;
    void setCurveSet(const CurveSet& set) noexcept;
    void publishCurrent() noexcept;
    // Consumer side (save): the newest published copy.
    const Saved& savedState() noexcept;

    void applyControls() noexcept;
    void readMessages() noexcept;
    void handleMessage(const Message& message) noexcept;
    void writeMessages(std::uint32_t frames) noexcept;
    // The display frames due and wanted, into the notify sequence open in `forge`.
    void writeFrames(std::uint32_t frames) noexcept;
    // The audio, cut at each MIDI event so that the freeze's notes act at their samples.
    void processAudio(std::uint32_t frames, bool connected) noexcept;

    PortLayout ports;
    ZerinExtensionDSPKernel kernel;

    const float* in[2] = {};
    float* out[2] = {};
    const float* controls[parameter::kCount] = {}; // the inputs' ports
    float* reports[parameter::kCount] = {};        // the outputs' ports
    const float* enabled = nullptr;
    float* latency = nullptr;
    const LV2_Atom_Sequence* control = nullptr;
    LV2_Atom_Sequence* notify = nullptr;
    float applied[parameter::kCount]; // the port values last given to the kernel

    bool hasMap = false; // without urid:map: plain audio, no messages, no state
    Urids urids{};
    LV2_Atom_Forge forge{};

    Saved current;    // producer side
    Saved mirrors[3]; // published copies for save()
    TripleBufferIndex mirrorIndex;
    std::atomic<bool> restored{false}; // restore -> run: tell the UI
    bool snapPending = true;           // the next run starts the smoothed values at their targets
    unsigned replyCurves = 0;          // the curves a UI is yet to be told
    bool replyName = false;
    bool replyView = false;
    bool uiListening = false;
    // By display frame kind: samples since the last frame went out.
    double samplesSinceFrame[kDisplayFrameKindCount] = {};
    float frameValues[mostFrameRows() * kMaxNumBins] = {}; // a frame on its way out
};

// Stereo, then mono.
extern const LV2_Descriptor kDescriptors[2];

} // namespace zerin::lv2
