#pragma once

// The parameters the editor's controls bind to, found by the parameter table's addresses: the
// mirror of the host's tree in process, the plug-in's control ports in an LV2 host. The
// addresses are fixed when the editor is compiled; a unit that lacks one costs the control it
// would drive, never the editor.

#include "platform/au/au_parameters.h"
#include "widgets/control_parameter.h"

namespace zerin {

class EditorParameters {
public:
    virtual ~EditorParameters() = default;

    // The parameter at `address`; null when the unit has none there.
    virtual ControlParameter* parameter(AUParameterAddress address) const = 0;
};

// How a knob prints a value of the table's `unit`: the units a knob turns through have a
// readout of their own, every other one a plain number.
constexpr ReadoutUnit readoutUnit(AudioUnitParameterUnit unit) {
    switch (unit) {
        case kAudioUnitParameterUnit_Percent:
            return ReadoutUnit::percent;
        case kAudioUnitParameterUnit_Hertz:
            return ReadoutUnit::hertz;
        case kAudioUnitParameterUnit_Decibels:
            return ReadoutUnit::decibels;
        case kAudioUnitParameterUnit_RelativeSemiTones:
            return ReadoutUnit::semitones;
        case kAudioUnitParameterUnit_Milliseconds:
            return ReadoutUnit::milliseconds;
        default:
            return ReadoutUnit::plain;
    }
}

} // namespace zerin
