#include "platform/ui/modifier_keys.h"

namespace zerin {

namespace {
constexpr unsigned int kShiftMask = 1u << 0;
constexpr unsigned int kControlMask = 1u << 2;
constexpr unsigned int kMod1Mask = 1u << 3; // Alt on every common keymap
constexpr unsigned int kMod4Mask = 1u << 6; // Super
} // namespace

ModifierKeys modifierKeysFromX11State(unsigned int state) {
    return {(state & kShiftMask) != 0, (state & kControlMask) != 0, (state & kMod1Mask) != 0,
            (state & kMod4Mask) != 0};
}

} // namespace zerin
