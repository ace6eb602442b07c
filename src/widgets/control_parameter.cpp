#include "widgets/control_parameter.h"

#include <utility>

namespace zerin {

ControlParameter::ControlParameter(std::string displayName, float min, float max, float initial,
                                   ReadoutUnit unit)
    : min(min), max(max), displayName(std::move(displayName)), defaultValue(initial), unit(unit),
      mValue(initial) {}

void ControlParameter::takeUnitValue(float v) {
    if (mEditingState.peek() != EditingState::inactive) return; // the gesture wins
    mEditingState.set(EditingState::hostUpdate);
    setValue(v);
    mEditingState.set(EditingState::inactive);
}

void ControlParameter::setValue(float v) {
    mValue.set(v);
    GestureStep step = GestureStep::value;
    switch (mEditingState.peek()) {
        case EditingState::hostUpdate:
            return;
        case EditingState::ended:
            step = GestureStep::release;
            mEditingState.set(EditingState::inactive);
            break;
        case EditingState::began:
            step = GestureStep::touch;
            mEditingState.set(EditingState::active);
            break;
        default:
            break;
    }
    send(mValue.peek(), step);
}

void ControlParameter::setEditing(bool editing) {
    if (editing) {
        if (mEditingState.peek() != EditingState::began) mEditingState.set(EditingState::began);
        return;
    }
    if (mEditingState.peek() != EditingState::ended) mEditingState.set(EditingState::ended);
    setValue(mValue.peek());
}

} // namespace zerin
