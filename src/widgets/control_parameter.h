#pragma once

// What a control bound to one of the unit's parameters (a knob, an on/off button) needs of
// it: the value to show, its range and default, how to print it, and a way to edit it as one
// gesture. How an edit reaches the unit depends on where the unit lives (the host's parameter
// tree in process, the plug-in's control ports in a host): a subclass says that, and the rules
// of a gesture are the same for every one of them.

#include "signals/observable.h"

#include <memory>
#include <string>

namespace zerin {

// How a knob's readout prints a value: "30%", "1.00Hz", "+0.0dB", "+6.0st", "50ms", "1.0".
enum class ReadoutUnit { plain, percent, hertz, decibels, semitones, milliseconds };

// Where an edit stands: begun, its first value sent (active), ended; or a value from the unit
// passing through (hostUpdate), which sends nothing.
enum class EditingState { inactive, began, active, ended, hostUpdate };

// How the unit hears one value of an edit: the gesture's first, one in its course, its last.
enum class GestureStep { touch, value, release };

class ControlParameter : public std::enable_shared_from_this<ControlParameter> {
public:
    // Starts at `initial`, which is also where a double click puts the control back.
    ControlParameter(std::string displayName, float min, float max, float initial,
                     ReadoutUnit unit);
    virtual ~ControlParameter() = default;
    ControlParameter(const ControlParameter&) = delete;
    ControlParameter& operator=(const ControlParameter&) = delete;

    // The editor's write: stores the value and sends it to the unit as the gesture's step.
    // Main thread.
    void setValue(float v);
    float value() const { return mValue.get(); }
    // Gesture start (true) and end (false). Main thread.
    void setEditing(bool editing);

    const Observable<float>& observableValue() const { return mValue; }
    EditingState editingState() const { return mEditingState.get(); }

    const float min;
    const float max;
    const std::string displayName;
    const float defaultValue;
    const ReadoutUnit unit;

protected:
    // A change from the unit (the host, automation, another view): shown unless the user is
    // editing, whose gesture wins; never sent back. Main thread.
    void takeUnitValue(float v);

private:
    // Hands one value of an edit to the unit.
    virtual void send(float value, GestureStep step) = 0;

    Observable<EditingState> mEditingState{EditingState::inactive};
    Observable<float> mValue;
};

} // namespace zerin
