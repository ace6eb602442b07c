#pragma once

// The words each control of the editor says about itself when the pointer rests on it: what
// it is, where it stands and what it does, in a few words.

#include "platform/au/au_parameters.h"

#include <functional>
#include <string>

namespace zerin {

class ControlParameter;
class ZerinExtensionMainView;

// What the parameter at `address` does, in a few words; empty for one without words.
std::string parameterPurpose(AUParameterAddress address);

// A knob's: "Feedback: 30%", its purpose, then how to type or reset it.
std::function<std::string()> knobTooltip(const ControlParameter& param, std::string purpose);
// An on/off button's: "Tempo Sync: On" (or the words given for its two states), then its
// purpose.
std::function<std::string()> toggleTooltip(const ControlParameter& param, std::string purpose,
                                           std::string offWord = "Off", std::string onWord = "On");

// Gives the top bar's, the curve row's and the plot's switches their words.
void describeControls(ZerinExtensionMainView& view);

} // namespace zerin
