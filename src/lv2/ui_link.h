#pragma once

// The editor's link to the plug-in's DSP when it runs as an LV2 UI: it cannot touch the DSP,
// so curve and name go out as patch:Set messages through the host, and what the DSP says
// (its curve and name on request or after a restore, the classification) comes back as
// notices through port events. Main (UI) thread only.

#include "dsp/factory_curves.h"
#include "lv2/messages.h"
#include "shell/editor_unit_link.h"

#include <lv2/ui/ui.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zerin::lv2 {

class UiLink : public EditorUnitLink {
public:
    UiLink(const LV2_URID_Map* map, LV2UI_Write_Function write, LV2UI_Controller controller,
           std::uint32_t controlPort);

    void setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) override;
    CurvePoints getCurve(CurveSlot slot, CurveKind kind) const override {
        return curves[static_cast<int>(slot)][static_cast<int>(kind)];
    }
    void setFrameWanted(DisplayFrameKind kind, bool wanted) override;
    std::optional<DisplayFrame> takeFrame(DisplayFrameKind kind) override;
    std::string presetName() const override { return name; }
    void setPresetName(const std::string& newName) override;
    EditorView editorView() const override { return view; }
    void setEditorView(const EditorView& newView) override;

    // Asks the DSP for its curves and name (also a sign that a UI is listening).
    void requestState();
    // Until the DSP has answered: asks again now and then, for a host that lost the request or
    // ran the plug-in only later (every 0.1 s from the editor's timer).
    void poll() override;
    // Whether the DSP has told every curve of its set and its preset name.
    bool knowsUnitState() const override { return heardCurves == kAllCurves && heardName; }
    // Tells the DSP nobody reads the classification any more.
    void sayGoodbye();
    // A message from the DSP's notify port: the atom at `buffer`, of which `size` bytes (its
    // header included) may be read. Returns whether it was one of ours.
    bool receive(const void* buffer, std::size_t size);
    // The rate the host runs the plug-in at, from its options (0: not told). Places the
    // ratings of a DSP from before ratings came with their rate; without it, such ratings
    // are not drawn, since bands at a guessed rate would mark bins the curve does not act on.
    void setHostSampleRate(double rate) { hostRate = rate; }
    double sampleRate() const override { return hostRate; }
    // The channels of the plug-in the host made this UI for: the URI says (mono or stereo).
    void setChannelCount(int channels) { unitChannels = channels; }
    int channelCount() const override { return unitChannels; }

private:
    // Sends what `fill` forges into a scratch buffer to the control port.
    template <typename Fill> void send(Fill&& fill);

    const LV2_URID_Map* map;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    std::uint32_t controlPort;
    Urids urids{};
    LV2_URID eventTransfer = 0;
    CurvePoints curves[kCurveSlotCount][kCurveKindCount];
    std::string name{kInitPresetName};
    EditorView view{};
    unsigned heardCurves = 0; // one bit per curve of the set the DSP has told
    bool heardName = false;
    int pollsWaiting = 0;        // polls since the last request, while the DSP has not answered
    int pollsBeforeRequest = 10; // then asked again, twice as late each time
    double hostRate = 0.0;
    int unitChannels = 0;
    // By kind: the newest frame not yet taken, whether the editor wants them, and the number
    // of the last one taken in.
    std::optional<DisplayFrame> frames[kDisplayFrameKindCount];
    bool wanted[kDisplayFrameKindCount] = {};
    std::uint64_t lastSequence[kDisplayFrameKindCount] = {};

    void receiveFrame(const Message& message, DisplayFrameKind kind);
};

} // namespace zerin::lv2
