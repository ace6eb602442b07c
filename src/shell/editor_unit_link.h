#pragma once

// How the editor reaches the audio unit: only through its editor-facing entry points. In the
// standalone editor the unit lives in the same process (InProcessUnitLink); the LV2 UI
// implements the same interface with messages to a DSP it cannot touch, so every call here
// may be answered later, through onExternalChange.

#include "dsp/curve.h"
#include "dsp/display_frame.h"
#include "dsp/editor_view.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zerin {

class EditorUnitLink {
public:
    virtual ~EditorUnitLink() = default;

    // Main thread. One curve of the unit's set; the unit takes at most 32 points; an empty
    // list is sent as it is.
    virtual void setCurve(CurveSlot slot, CurveKind kind, const CurvePoints& points) = 0;
    // A curve the unit holds now, as far as this side knows (empty when not known yet).
    virtual CurvePoints getCurve(CurveSlot slot, CurveKind kind) const = 0;
    // Whether the editor draws frames of `kind`; the unit makes or sends some only then.
    virtual void setFrameWanted(DisplayFrameKind kind, bool wanted) = 0;
    // The newest frame of `kind` the unit made for the editor since the last call, if any.
    virtual std::optional<DisplayFrame> takeFrame(DisplayFrameKind kind) = 0;
    // The name of the preset the unit's curve came from ("Init" for a fresh unit); kept in the
    // unit's full state so a reopened editor shows it.
    virtual std::string presetName() const = 0;
    virtual void setPresetName(const std::string& name) = 0;
    // Where the editor stands (the curve it edits, its frequency axis), kept in the unit's
    // state so a reopened editor opens there; read with the curves and the name. A link that
    // cannot keep it answers the default.
    virtual EditorView editorView() const { return {}; }
    virtual void setEditorView(const EditorView&) {}

    // Whether this side has heard what the unit holds: its curves and preset name. Until it
    // has, the editor shows that it waits and never sends a curve of its own, which would
    // replace the session's.
    virtual bool knowsUnitState() const { return true; }
    // The rate the unit runs at, in Hz; 0 while this side does not know it.
    virtual double sampleRate() const { return 0.0; }
    // How many channels the unit plays; 0 while this side does not know it. A spread is drawn
    // for both sides unless the unit is known to be mono.
    virtual int channelCount() const { return 0; }

    // Called on the main thread when the unit's curve or preset name changed from outside the
    // editor (a state restore, a host preset, a late answer); the editor then reads both again.
    std::function<void()> onExternalChange;
    // Main thread, every 0.1 s from the editor's timer: lets a link that polls notice such
    // changes.
    virtual void poll() {}
};

} // namespace zerin
