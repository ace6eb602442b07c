#include "platform/ui/x11_window.h"

#include "platform/ui/graphics.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_lost_connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

// Error discipline: every request that names our window goes out as a checked XCB request on
// the connection under Xlib. A host may destroy its parent window (and ours with it) at any
// moment; the error that follows then waits in XCB's reply queue for us instead of reaching
// Xlib's handler, which would end the whole host. Requests on resources only we can free
// (the pixmap, the GC, cursors) and on a top-level window nobody else can destroy are safe
// through Xlib.
//
// A connection that breaks (the window killed with xkill, the server gone) is Xlib's to
// notice, and Xlib first calls the process-wide I/O error handler, then the connection's own
// exit handler. Every process-wide handler we know ends the process (Xlib's own exits, GDK's
// calls _exit), which would take a plug-in host down with our editor. So while our code is
// inside Xlib, a handler of ours stands in for the process-wide one: for our own connections
// it lets Xlib go on to their exit handler, which marks the window lost and returns; every
// other connection goes to the handler that was installed before, as if we were not there.
// Outside our calls the host's handler is in place, untouched.

namespace zerin {

namespace {

constexpr double kFrameInterval = 1.0 / 60.0;
// Outcomes of window requests that may stay unknown while nothing comes back from the
// server; beyond this many the oldest are dropped (their errors discarded unseen).
constexpr std::size_t kMaxPendingChecks = 64;
constexpr std::uint8_t kBadWindow = 3;
constexpr std::uint8_t kBadDrawable = 9;

constexpr long kEventMask = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | ButtonMotionMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask;

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

std::string hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

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

// The connections our windows opened, and the handler ours stands in for.
struct IoErrorRouting {
    std::mutex mutex;
    int depth = 0; // calls into Xlib under way, on any thread
    XIOErrorHandler previous = nullptr;
    std::vector<Display*> ours;
};

IoErrorRouting& ioErrorRouting() {
    // Never destroyed: a window may close during static teardown.
    static auto* routing = new IoErrorRouting();
    return *routing;
}

int onIoError(Display* display) {
    IoErrorRouting& routing = ioErrorRouting();
    XIOErrorHandler previous = nullptr;
    {
        std::lock_guard lock(routing.mutex);
        if (std::find(routing.ours.begin(), routing.ours.end(), display) != routing.ours.end())
            return 0; // on to the connection's exit handler
        previous = routing.previous;
    }
    // Never null: Xlib hands out its default handler when none was set.
    return previous != nullptr ? previous(display) : 0;
}

// Held for as long as our code may be inside Xlib.
class XlibScope {
public:
    XlibScope() {
        IoErrorRouting& routing = ioErrorRouting();
        std::lock_guard lock(routing.mutex);
        if (routing.depth++ == 0) routing.previous = XSetIOErrorHandler(onIoError);
    }
    ~XlibScope() {
        IoErrorRouting& routing = ioErrorRouting();
        std::lock_guard lock(routing.mutex);
        if (--routing.depth == 0) XSetIOErrorHandler(routing.previous);
    }
    XlibScope(const XlibScope&) = delete;
    XlibScope& operator=(const XlibScope&) = delete;
};

void adopt(Display* display) {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    routing.ours.push_back(display);
}

void release(Display* display) {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    std::erase(routing.ours, display);
}

} // namespace

struct X11Window::Impl {
    Impl(ViewHost& viewHost, double deviceScale) : host(viewHost), scale(deviceScale) {}
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    bool connect(const char* displayName, std::string* error);
    bool findParentScreen(unsigned long parent, std::string* error);
    bool createWindow(const X11WindowOptions& options, std::string* error);
    void setTopLevelProperties(const X11WindowOptions& options);
    void openInputContext();
    void createPixmap();
    void freePixmap();

    void pump();
    double secondsUntilNextWork();
    void handleEvent(XEvent& event);
    void resize(int width, int height);
    void pointerButton(const XButtonEvent& event, bool pressed);
    void pointerMotion(XEvent& event);
    void key(XKeyEvent& event);
    KeyEvent translateKey(XKeyEvent& event);
    void updateModifiers(ModifierKeys keys) { host.context().modifiers().update(keys); }
    Point toPoints(int x, int y) const { return {x / scale, y / scale}; }

    void paint();
    void present();
    void updateCursor();
    void focusOnClick(Time time);
    void track(xcb_void_cookie_t cookie) { pendingChecks.push_back(cookie.sequence); }
    void collectErrors();
    void windowDestroyed();
    void lostConnection();

    ViewHost& host;
    double scale = 1.0;
    Display* display = nullptr;
    xcb_connection_t* xcb = nullptr;
    int screen = 0;
    Visual* visual = nullptr;
    int depth = 0;
    bool topLevel = true;
    xcb_window_t window = 0;
    int pixelWidth = 1;
    int pixelHeight = 1;

    // This window's fonts and masks: what cairo uploads of them stays on this connection.
    std::unique_ptr<DrawingCaches> caches = std::make_unique<DrawingCaches>();
    Pixmap pixmap = 0;
    GC gc = nullptr;
    cairo_surface_t* surface = nullptr;
    bool painted = false; // the pixmap holds a frame
    bool exposed = false; // the window wants the pixmap copied in

    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    ::Cursor resizeCursor = 0;
    ::Cursor textCursor = 0;
    Cursor shownCursor = Cursor::arrow;
    XIM inputMethod = nullptr;
    XIC inputContext = nullptr;

    bool windowGone = false;
    bool closeRequested = false;
    bool connectionLost = false; // nothing more goes to the server, nor comes from it
    LostConnectionSink sink;     // where requests go once it is lost
    double lastFrame = -1.0;     // steady clock
    std::vector<unsigned int> pendingChecks;
    unsigned int fence = 0; // a request with a reply, sent after window requests; 0: none
};

X11Window::Impl::~Impl() {
    XlibScope scope;
    if (connectionLost) sink.take(display);
    caches.reset(); // before the display goes, which frees what cairo keeps of them there
    if (!display) return;
    if (inputContext) XDestroyIC(inputContext);
    if (inputMethod) XCloseIM(inputMethod);
    freePixmap();
    if (gc) XFreeGC(display, gc);
    if (resizeCursor) XFreeCursor(display, resizeCursor);
    if (textCursor) XFreeCursor(display, textCursor);
    if (window && !windowGone) track(xcb_destroy_window_checked(xcb, window));
    for (unsigned int sequence : pendingChecks)
        xcb_discard_reply(xcb, sequence);
    if (fence) xcb_discard_reply(xcb, fence);
    // On a lost connection Xlib sends nothing more; this only frees memory.
    if (connectionLost) sink.take(display);
    XCloseDisplay(display);
    sink.closed();
    release(display);
}

bool X11Window::Impl::connect(const char* displayName, std::string* error) {
    display = XOpenDisplay(displayName);
    if (!display) {
        const char* name = displayName ? displayName : std::getenv("DISPLAY");
        return fail(error, std::string("cannot open the X display \"") + (name ? name : "") + "\"");
    }
    adopt(display);
    XSetIOErrorExitHandler(
        display, [](Display*, void* impl) { static_cast<Impl*>(impl)->lostConnection(); }, this);
    xcb = XGetXCBConnection(display);
    screen = DefaultScreen(display);
    wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    return true;
}

// Replies with errors come back to us, never to Xlib's handler, so a stale id costs nothing.
bool X11Window::Impl::findParentScreen(unsigned long parent, std::string* error) {
    auto id = static_cast<xcb_window_t>(parent);
    xcb_generic_error_t* problem = nullptr;
    auto* attributes =
        xcb_get_window_attributes_reply(xcb, xcb_get_window_attributes(xcb, id), &problem);
    std::free(problem);
    if (!attributes) return fail(error, "the parent window " + hex(parent) + " does not exist");
    bool inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    std::free(attributes);
    if (inputOnly) return fail(error, "the parent window " + hex(parent) + " is input-only");

    auto* geometry = xcb_get_geometry_reply(xcb, xcb_get_geometry(xcb, id), &problem);
    std::free(problem);
    if (!geometry) return fail(error, "the parent window " + hex(parent) + " does not exist");
    xcb_window_t root = geometry->root;
    std::free(geometry);
    for (int i = 0; i < ScreenCount(display); ++i) {
        if (RootWindow(display, i) == root) screen = i;
    }
    return true;
}

bool X11Window::Impl::createWindow(const X11WindowOptions& options, std::string* error) {
    topLevel = !options.parent.has_value();
    if (!topLevel && !findParentScreen(*options.parent, error)) return false;
    xcb_window_t parent = topLevel ? static_cast<xcb_window_t>(RootWindow(display, screen))
                                   : static_cast<xcb_window_t>(*options.parent);
    visual = DefaultVisual(display, screen);
    depth = DefaultDepth(display, screen);
    pixelWidth = std::max(1, static_cast<int>(std::lround(options.size.width * scale)));
    pixelHeight = std::max(1, static_cast<int>(std::lround(options.size.height * scale)));

    // No background: the server never clears the window before we copy a frame in, so
    // exposing or growing it does not flash.
    window = xcb_generate_id(xcb);
    const std::uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_BIT_GRAVITY |
                               XCB_CW_EVENT_MASK | XCB_CW_COLORMAP;
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, XCB_GRAVITY_NORTH_WEST,
                                    static_cast<std::uint32_t>(kEventMask),
                                    static_cast<std::uint32_t>(DefaultColormap(display, screen))};
    auto cookie = xcb_create_window_checked(
        xcb, static_cast<std::uint8_t>(depth), window, parent, 0, 0,
        static_cast<std::uint16_t>(pixelWidth), static_cast<std::uint16_t>(pixelHeight), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, static_cast<xcb_visualid_t>(XVisualIDFromVisual(visual)),
        mask, values);
    if (xcb_generic_error_t* problem = xcb_request_check(xcb, cookie)) {
        std::free(problem);
        window = 0;
        return fail(error, "cannot create the window (the parent " +
                               hex(options.parent.value_or(0)) + " went away?)");
    }
    if (topLevel) setTopLevelProperties(options);

    resizeCursor = XCreateFontCursor(display, XC_sb_v_double_arrow);
    textCursor = XCreateFontCursor(display, XC_xterm);
    openInputContext();
    createPixmap();
    track(xcb_map_window_checked(xcb, window));
    // A plug-in host asks the server about the id as soon as it has it.
    XSync(display, False);
    return true;
}

void X11Window::Impl::setTopLevelProperties(const X11WindowOptions& options) {
    XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(options.title.data()),
                    static_cast<int>(options.title.size()));
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(options.title.data()),
                    static_cast<int>(options.title.size()));
    char name[] = "zerin";
    XClassHint classHint{name, name};
    XSetClassHint(display, window, &classHint);
    XSetWMProtocols(display, window, &wmDeleteWindow, 1);
    if (XSizeHints* hints = XAllocSizeHints()) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = pixelWidth;
        hints->min_height = hints->max_height = pixelHeight;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
}

// Composed and non-Latin text comes through an input context; without one, XLookupString.
void X11Window::Impl::openInputContext() {
    inputMethod = XOpenIM(display, nullptr, nullptr, nullptr);
    if (!inputMethod) return;
    inputContext =
        XCreateIC(inputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                  static_cast<Window>(window), XNFocusWindow, static_cast<Window>(window), nullptr);
    if (!inputContext) {
        XCloseIM(inputMethod);
        inputMethod = nullptr;
    }
}

// Made on the root, not on our window, so it works even when the window has gone.
void X11Window::Impl::createPixmap() {
    Window root = RootWindow(display, screen);
    pixmap = XCreatePixmap(display, root, static_cast<unsigned>(pixelWidth),
                           static_cast<unsigned>(pixelHeight), static_cast<unsigned>(depth));
    if (!gc) {
        XGCValues values{};
        values.graphics_exposures = False;
        gc = XCreateGC(display, pixmap, GCGraphicsExposures, &values);
    }
    surface = cairo_xlib_surface_create(display, pixmap, visual, pixelWidth, pixelHeight);
    painted = false;
}

void X11Window::Impl::freePixmap() {
    if (surface) cairo_surface_destroy(surface);
    surface = nullptr;
    if (pixmap) XFreePixmap(display, pixmap);
    pixmap = 0;
    painted = false;
}

void X11Window::Impl::pump() {
    if (connectionLost) return;
    XlibScope scope;
    collectErrors();
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (XFilterEvent(&event, None)) continue;
        handleEvent(event);
    }
    host.context().mainQueue().pump();

    double now = MainQueue::steadyClock();
    // A little early counts: a loop sleeping in whole milliseconds should not spin.
    if (now - lastFrame >= kFrameInterval - 0.001) {
        lastFrame = now;
        host.advance(secondsSinceReferenceDate());
        if (!windowGone) {
            paint();
            present();
        }
    } else if (exposed) {
        if (!painted) {
            host.layout();
            paint();
        }
        present();
    }
    updateCursor();
    if (!pendingChecks.empty() && !fence) fence = xcb_get_input_focus(xcb).sequence;
    xcb_flush(xcb);
    XFlush(display);
}

double X11Window::Impl::secondsUntilNextWork() {
    if (connectionLost) return 0.0; // closed: the owner has work to do
    if (XEventsQueued(display, QueuedAlready) > 0) return 0.0;
    double wait = 1.0; // nothing scheduled: look in now and then anyway
    if (!windowGone) wait = lastFrame + kFrameInterval - MainQueue::steadyClock();
    if (auto queued = host.context().mainQueue().secondsUntilNextWork())
        wait = std::min(wait, *queued);
    return std::max(0.0, wait);
}

void X11Window::Impl::handleEvent(XEvent& event) {
    switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) exposed = true;
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

void X11Window::Impl::resize(int width, int height) {
    if (width == pixelWidth && height == pixelHeight) return;
    pixelWidth = std::max(1, width);
    pixelHeight = std::max(1, height);
    freePixmap();
    createPixmap();
    host.setSize({pixelWidth / scale, pixelHeight / scale});
    host.layout();
    paint();
    exposed = true;
}

void X11Window::Impl::pointerButton(const XButtonEvent& event, bool pressed) {
    ModifierKeys modifiers = modifierKeysFromX11State(event.state);
    updateModifiers(modifiers);
    Point location = toPoints(event.x, event.y);
    if (event.button == Button1) {
        if (pressed) {
            focusOnClick(event.time);
            host.pointerDown(location, modifiers);
        } else {
            host.pointerUp(location, modifiers);
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

// Background black: the editor paints its own background over all of it.
void X11Window::Impl::paint() {
    if (!surface || connectionLost) return;
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_scale(cr, scale, scale);
    {
        Graphics g(cr, *caches);
        host.draw(g);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    painted = true;
}

void X11Window::Impl::present() {
    exposed = false;
    if (windowGone || !painted) return;
    track(xcb_copy_area_checked(xcb, static_cast<xcb_drawable_t>(pixmap), window,
                                static_cast<xcb_gcontext_t>(XGContextFromGC(gc)), 0, 0, 0, 0,
                                static_cast<std::uint16_t>(pixelWidth),
                                static_cast<std::uint16_t>(pixelHeight)));
}

void X11Window::Impl::updateCursor() {
    Cursor wanted = host.cursor();
    if (wanted == shownCursor || windowGone) return;
    shownCursor = wanted;
    // None shows the parent's cursor: the host's arrow inside a plug-in host.
    std::uint32_t value = XCB_CURSOR_NONE;
    if (wanted == Cursor::resizeUpDown) value = static_cast<std::uint32_t>(resizeCursor);
    if (wanted == Cursor::text) value = static_cast<std::uint32_t>(textCursor);
    track(xcb_change_window_attributes_checked(xcb, window, XCB_CW_CURSOR, &value));
}

// Taking the focus inside someone else's window would fight the host's own focus handling;
// a plug-in host gives its child the keyboard itself.
void X11Window::Impl::focusOnClick(Time time) {
    if (!topLevel || windowGone) return;
    track(xcb_set_input_focus_checked(xcb, XCB_INPUT_FOCUS_PARENT, window,
                                      static_cast<xcb_timestamp_t>(time)));
}

// Never blocks: an outcome is known once a later reply or event has arrived, which the fence
// request guarantees soon after every batch.
void X11Window::Impl::collectErrors() {
    if (fence) {
        void* reply = nullptr;
        xcb_generic_error_t* problem = nullptr;
        if (xcb_poll_for_reply(xcb, fence, &reply, &problem)) {
            std::free(reply);
            std::free(problem);
            fence = 0;
        }
    }
    std::erase_if(pendingChecks, [this](unsigned int sequence) {
        void* reply = nullptr;
        xcb_generic_error_t* problem = nullptr;
        if (!xcb_poll_for_reply(xcb, sequence, &reply, &problem)) return false;
        std::free(reply);
        if (problem && (problem->error_code == kBadWindow || problem->error_code == kBadDrawable))
            windowDestroyed();
        std::free(problem);
        return true;
    });
    while (pendingChecks.size() > kMaxPendingChecks) {
        xcb_discard_reply(xcb, pendingChecks.front());
        pendingChecks.erase(pendingChecks.begin());
    }
}

void X11Window::Impl::windowDestroyed() {
    windowGone = true;
    closeRequested = true;
}

// Called by Xlib, inside whichever of our calls found the connection broken; that call then
// returns as if the server had answered nothing.
void X11Window::Impl::lostConnection() {
    connectionLost = true;
    sink.take(display);
    windowDestroyed();
}

X11Window::X11Window(std::unique_ptr<Impl> implementation) : impl(std::move(implementation)) {}

X11Window::~X11Window() = default;

std::unique_ptr<X11Window> X11Window::open(ViewHost& host, const X11WindowOptions& options,
                                           std::string* error) {
    double scale = std::isfinite(options.scale) && options.scale > 0.0 ? options.scale : 1.0;
    auto impl = std::make_unique<Impl>(host, scale);
    {
        XlibScope scope;
        if (!impl->connect(options.display, error) || !impl->createWindow(options, error))
            return nullptr;
        if (impl->connectionLost) {
            fail(error, "the connection to the X display broke while opening the window");
            return nullptr;
        }
    }
    host.setSize({impl->pixelWidth / scale, impl->pixelHeight / scale});
    return std::unique_ptr<X11Window>(new X11Window(std::move(impl)));
}

void X11Window::pump() {
    impl->pump();
}

void X11Window::releaseViews() {
    XlibScope scope;
    if (impl->connectionLost) impl->sink.take(impl->display);
    impl->host.setRoot(nullptr);
}

int X11Window::connectionFd() const {
    return ConnectionNumber(impl->display);
}

double X11Window::secondsUntilNextWork() const {
    return impl->secondsUntilNextWork();
}

bool X11Window::closeRequested() const {
    return impl->closeRequested;
}

bool X11Window::connectionLost() const {
    return impl->connectionLost;
}

unsigned long X11Window::windowId() const {
    return impl->window;
}

double X11Window::scale() const {
    return impl->scale;
}

} // namespace zerin
