#include "platform/ui/modifier_keys.h"
#include "platform/ui/x11_window_impl.h"

#include <X11/keysym.h>

#include <optional>
#include <string>

namespace zerin {

namespace {

// XLookupString without an input method yields Latin-1.
std::string latin1ToUtf8(const char* bytes, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

bool isPrintable(const std::string& text) {
    if (text.empty()) return false;
    auto first = static_cast<unsigned char>(text[0]);
    return first >= 0x20 && first != 0x7F;
}

Key keyForKeysym(KeySym keysym) {
    switch (keysym) {
        case XK_Return:
        case XK_KP_Enter:
            return Key::enter;
        case XK_Escape:
            return Key::escape;
        case XK_Tab:
        case XK_ISO_Left_Tab:
            return Key::tab;
        case XK_BackSpace:
            return Key::backspace;
        case XK_Delete:
        case XK_KP_Delete:
            return Key::deleteForward;
        case XK_Left:
        case XK_KP_Left:
            return Key::left;
        case XK_Right:
        case XK_KP_Right:
            return Key::right;
        case XK_Up:
        case XK_KP_Up:
            return Key::up;
        case XK_Down:
        case XK_KP_Down:
            return Key::down;
        case XK_Home:
        case XK_KP_Home:
            return Key::home;
        case XK_End:
        case XK_KP_End:
            return Key::end;
        default:
            return Key::other;
    }
}

// An event's state holds the modifiers as they were before it; a modifier key's own press or
// release changes them.
ModifierKeys modifiersAfterKey(unsigned int state, KeySym keysym, bool pressed) {
    ModifierKeys keys = modifierKeysFromX11State(state);
    switch (keysym) {
        case XK_Shift_L:
        case XK_Shift_R:
            keys.shift = pressed;
            break;
        case XK_Control_L:
        case XK_Control_R:
            keys.control = pressed;
            break;
        case XK_Alt_L:
        case XK_Alt_R:
        case XK_Meta_L:
        case XK_Meta_R:
            keys.option = pressed;
            break;
        case XK_Super_L:
        case XK_Super_R:
            keys.command = pressed;
            break;
        default:
            break;
    }
    return keys;
}

} // namespace

void X11Window::Impl::handleEvent(XEvent& event) {
    switch (event.type) {
        case Expose:
            // Only a window the server shows is exposed.
            viewable = true;
            if (event.xexpose.count == 0) exposed = true;
            break;
        case MapNotify:
            if (event.xmap.window == window) mapped = true;
            break;
        case UnmapNotify:
            if (event.xunmap.window == window) mapped = false;
            break;
        case VisibilityNotify:
            obscured = event.xvisibility.state == VisibilityFullyObscured;
            break;
        case ConfigureNotify:
            if (event.xconfigure.window == window)
                resize(event.xconfigure.width, event.xconfigure.height);
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window) windowDestroyed();
            break;
        case ClientMessage:
            if (event.xclient.message_type == wmProtocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == wmDeleteWindow)
                closeRequested = true;
            break;
        case ButtonPress:
            pointerButton(event.xbutton, true);
            break;
        case ButtonRelease:
            pointerButton(event.xbutton, false);
            break;
        case MotionNotify:
            pointerMotion(event);
            break;
        case LeaveNotify:
            if (event.xcrossing.detail != NotifyInferior) host.pointerLeft();
            break;
        case KeyPress:
            key(event.xkey);
            break;
        case KeyRelease:
            updateModifiers(
                modifiersAfterKey(event.xkey.state, XLookupKeysym(&event.xkey, 0), false));
            break;
        case FocusIn:
            if (inputContext) XSetICFocus(inputContext);
            break;
        case FocusOut:
            if (inputContext) XUnsetICFocus(inputContext);
            updateModifiers({}); // releases elsewhere never reach us
            break;
        default:
            break;
    }
}
void X11Window::Impl::pointerButton(const XButtonEvent& event, bool pressed) {
    ModifierKeys modifiers = modifierKeysFromX11State(event.state);
    updateModifiers(modifiers);
    Point location = toPoints(event.x, event.y);
    std::optional<PointerButton> button;
    if (event.button == Button1) button = PointerButton::left;
    if (event.button == Button2) button = PointerButton::middle;
    if (event.button == Button3) button = PointerButton::right;
    if (button) {
        if (pressed) {
            focusOnClick(event.time);
            host.pointerDown(location, modifiers, *button);
        } else {
            host.pointerUp(location, modifiers, *button);
        }
    } else if (pressed && event.button == Button4) {
        host.scrollWheel(-1.0, location);
    } else if (pressed && event.button == Button5) {
        host.scrollWheel(1.0, location);
    }
}

// Only the latest of a run of motion events matters; later presses and releases keep their
// place in the queue.
void X11Window::Impl::pointerMotion(XEvent& event) {
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent next;
        XPeekEvent(display, &next);
        if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window) break;
        XNextEvent(display, &event);
    }
    ModifierKeys modifiers = modifierKeysFromX11State(event.xmotion.state);
    updateModifiers(modifiers);
    host.pointerMoved(toPoints(event.xmotion.x, event.xmotion.y), modifiers);
}

void X11Window::Impl::key(XKeyEvent& event) {
    updateModifiers(modifiersAfterKey(event.state, XLookupKeysym(&event, 0), true));
    KeyEvent translated = translateKey(event);
    if (translated.key == Key::other && translated.keysym == 0) return; // a lone modifier
    host.keyDown(translated);
}

KeyEvent X11Window::Impl::translateKey(XKeyEvent& event) {
    char buffer[64];
    KeySym keysym = NoSymbol;
    std::string text;
    if (inputContext) {
        Status status = 0;
        int length =
            Xutf8LookupString(inputContext, &event, buffer, sizeof buffer, &keysym, &status);
        if (status == XLookupChars || status == XLookupBoth) text.assign(buffer, length);
        if (status != XLookupKeySym && status != XLookupBoth) keysym = NoSymbol;
    } else {
        int length = XLookupString(&event, buffer, sizeof buffer, &keysym, nullptr);
        text = latin1ToUtf8(buffer, length);
    }

    KeyEvent result;
    result.modifiers = modifierKeysFromX11State(event.state);
    result.key = keyForKeysym(keysym);
    if (result.key == Key::other && isPrintable(text) && !result.modifiers.control &&
        !result.modifiers.command) {
        result.key = Key::character;
        result.text = text;
    }
    // The unshifted symbol, so Ctrl+Shift+Z still names 'z'.
    KeySym base = XLookupKeysym(&event, 0);
    if (base >= XK_a && base <= XK_z) result.keysym = static_cast<char32_t>(base);
    return result;
}

} // namespace zerin
