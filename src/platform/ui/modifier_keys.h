#pragma once

namespace zerin {

// Which modifier keys are held. `option` is the Alt key on Linux, `command` the Super key.
struct ModifierKeys {
    bool shift = false;
    bool control = false;
    bool option = false;
    bool command = false;

    friend bool operator==(const ModifierKeys&, const ModifierKeys&) = default;
};

// The modifier bits of an X11 event's `state` field (ShiftMask, ControlMask, Mod1Mask,
// Mod4Mask: fixed by the X protocol, so no X11 header is needed here).
ModifierKeys modifierKeysFromX11State(unsigned int state);

// The keyboard's current modifier state, as the window backend last saw it. Views ask it at
// the moment they need it rather than taking it from the pointer event. Main thread only.
class KeyboardModifierState {
public:
    ModifierKeys current() const { return keys; }
    void update(ModifierKeys newKeys) { keys = newKeys; }

private:
    ModifierKeys keys;
};

} // namespace zerin
