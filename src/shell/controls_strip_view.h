#pragma once

// The band of controls under the canvas: a knob for every continuous parameter but the mode,
// in titled sections that follow the parameter groups, each section's on/off switch (SYNC,
// PING) beside its title.

#include "platform/ui/layout.h"
#include "platform/ui/view.h"
#include "shell/editor_parameters.h"
#include "widgets/control_parameter.h"
#include "widgets/rotary_knob_view.h"
#include "widgets/theme.h"

#include <functional>
#include <string>
#include <vector>

namespace zerin {

class ControlsStripView : public View {
public:
    // `parameterTree` holds the editor's parameters and must outlive the strip. A parameter
    // the unit lacks has no control here. Reads nothing observable while constructing.
    explicit ControlsStripView(EditorParameters& parameterTree);

    Size sizeThatFits(Size proposal) override;

    // Left to right: inputGain, outputGain, dryWet, feedback, sourceSensitivity, stereoSpread,
    // lfoRate, lfoDepth, scatterSpeed, morph, curveScale, curveShift, freezeFade.
    const std::vector<RotaryKnobView*>& knobs() const { return knobViews; }
    // The SYNC buttons bound to `tempoSync` (MODULATION) and `delaySync` (CURVE), and PING,
    // bound to `pingPong` (STEREO); null when the host tree has no such parameter.
    View* syncToggle() const { return toggle; }
    View* delaySyncToggle() const { return delayToggle; }
    View* pingPongToggle() const { return pingToggle; }

private:
    View*& toggleView(AUParameterAddress address);

    std::vector<RotaryKnobView*> knobViews;
    View* toggle = nullptr;
    View* delayToggle = nullptr;
    View* pingToggle = nullptr;
};

// Whether the tempo-sync toggle shows as on for `value`.
constexpr bool syncIsOn(float value) {
    return value >= 0.5f;
}

// A button titled `label` that turns an on/off parameter (or a choice of two) over, as one
// touch-and-release gesture, lit cyan while it is on, or while `alsoLit` says so (what else
// switches on what the parameter does). It keeps the parameter alive. `tooltip` is what it
// says about itself.
ViewPtr makeParameterToggle(ControlParameter& param, std::string label,
                            std::function<bool()> alsoLit = nullptr,
                            std::function<std::string()> tooltip = nullptr);

} // namespace zerin
