#include "platform/ui/x11_window.h"
#include "platform/ui/damage_painter.h"
#include "platform/ui/x11_io_errors.h"
#include "platform/ui/x11_window_impl.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
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
#include <vector>

// Error discipline: every request that names our window goes out as a checked XCB request on
// the connection under Xlib. A host may destroy its parent window (and ours with it) at any
// moment; the error that follows then waits in XCB's reply queue for us instead of reaching
// Xlib's handler, which would end the whole host. Requests on resources only we can free
// (the pixmap, the GC, cursors) and on a top-level window nobody else can destroy are safe
// through Xlib.
//
// A broken connection is handled apart: see x11_io_errors.h.

namespace zerin {

namespace {

constexpr double kFrameInterval = 1.0 / 60.0;
// While nothing of the window shows, the views still follow their models and timers, slowly,
// and draw nothing.
constexpr double kHiddenFrameInterval = 0.25;
// How often the window asks whether the server shows it.
constexpr double kViewableCheckInterval = 0.5;
// Outcomes of window requests that may stay unknown while nothing comes back from the
// server; beyond this many the oldest are dropped (their errors discarded unseen).
constexpr std::size_t kMaxPendingChecks = 64;
constexpr std::uint8_t kBadWindow = 3;
constexpr std::uint8_t kBadDrawable = 9;

constexpr long kEventMask = ExposureMask | StructureNotifyMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | ButtonMotionMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask |
                            VisibilityChangeMask;

bool fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return false;
}

std::string hex(unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

} // namespace

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
    if (viewableQuestion) xcb_discard_reply(xcb, viewableQuestion);
    // On a lost connection Xlib sends nothing more; this only frees memory.
    if (connectionLost) sink.take(display);
    XCloseDisplay(display);
    sink.closed();
    releaseConnection(display);
}

bool X11Window::Impl::connect(const char* displayName, std::string* error) {
    display = XOpenDisplay(displayName);
    if (!display) {
        const char* name = displayName ? displayName : std::getenv("DISPLAY");
        return fail(error, std::string("cannot open the X display \"") + (name ? name : "") + "\"");
    }
    adoptConnection(display);
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
    chooseDrawing();
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
        hints->flags = PMinSize;
        hints->min_width = pixelWidth;
        hints->min_height = pixelHeight;
        if (options.minimumSize) {
            const auto pixels = [this](double points) {
                return std::max(1, static_cast<int>(std::lround(points * scale)));
            };
            hints->min_width = std::min(pixelWidth, pixels(options.minimumSize->width));
            hints->min_height = std::min(pixelHeight, pixels(options.minimumSize->height));
        } else {
            hints->flags |= PMaxSize;
            hints->max_width = pixelWidth;
            hints->max_height = pixelHeight;
        }
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

// Drawn on the client by default: measured under Xvfb, the server rasterising cairo's
// requests cost it more than the whole client-side frame, and only changed pixels travel.
void X11Window::Impl::chooseDrawing() {
    const char* choice = std::getenv("ZERIN_X11_DRAWING");
    const std::string wanted = choice ? choice : "";
    drawing = wanted == "server" ? Drawing::server
              : wanted == "put"  ? Drawing::put
                                 : Drawing::sharedMemory;
    if (drawing != Drawing::server &&
        !X11FrameBuffer::supports(xcb_get_setup(xcb), static_cast<std::uint8_t>(depth),
                                  static_cast<std::uint32_t>(visual->red_mask),
                                  static_cast<std::uint32_t>(visual->green_mask),
                                  static_cast<std::uint32_t>(visual->blue_mask)))
        drawing = Drawing::server;
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
    if (drawing != Drawing::server &&
        !buffer.create(xcb, pixelWidth, pixelHeight, static_cast<std::uint8_t>(depth),
                       drawing == Drawing::sharedMemory))
        drawing = Drawing::server;
    if (drawing == Drawing::server)
        surface = cairo_xlib_surface_create(display, pixmap, visual, pixelWidth, pixelHeight);
    painted = false;
}

void X11Window::Impl::freePixmap() {
    if (surface) cairo_surface_destroy(surface);
    surface = nullptr;
    buffer.destroy();
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

    frame();
    updateCursor();
    if (!pendingChecks.empty() && !fence) fence = xcb_get_input_focus(xcb).sequence;
    xcb_flush(xcb);
    XFlush(display);
}

double X11Window::Impl::secondsUntilNextWork() {
    if (connectionLost) return 0.0; // closed: the owner has work to do
    if (XEventsQueued(display, QueuedAlready) > 0) return 0.0;
    double wait = 1.0; // nothing scheduled: look in now and then anyway
    if (!windowGone) wait = lastFrame + frameInterval() - MainQueue::steadyClock();
    if (auto queued = host.context().mainQueue().secondsUntilNextWork())
        wait = std::min(wait, *queued);
    return std::max(0.0, wait);
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

double X11Window::Impl::frameInterval() const {
    return visible() ? kFrameInterval : kHiddenFrameInterval;
}

// A display frame when one is due: the views advance, and what they changed is drawn and
// sent. Nothing changed, or nothing of the window shows: nothing is drawn.
void X11Window::Impl::frame() {
    const double now = MainQueue::steadyClock();
    checkViewable(now);
    // A little early counts: a loop sleeping in whole milliseconds should not spin.
    if (now - lastFrame >= frameInterval() - 0.001) {
        lastFrame = now;
        host.advance(secondsSinceReferenceDate());
    } else if (!exposed) {
        return;
    }
    if (windowGone || !visible()) return;
    // Shown for the first time, uncovered or resized: the pixmap is copied in whole.
    if (exposed && painted) {
        present({{0, 0, pixelWidth, pixelHeight}});
        exposed = false;
    }
    // The server still reads the last frame from our memory: this one waits.
    if ((host.needsDisplay() || !painted) && !buffer.busy()) {
        if (!painted) host.layout();
        present(paint());
        exposed = false;
    }
}

// Background black: the editor paints its own background over all of it. Returns the pixels
// drawn, which are in the pixmap when it returns.
std::vector<PixelRect> X11Window::Impl::paint() {
    if (connectionLost) return {};
    cairo_surface_t* target = drawing == Drawing::server ? surface : buffer.surface();
    const DamagePaint how{scale, pixelWidth, pixelHeight, !painted};
    std::vector<PixelRect> rects = paintDamage(target, host, how, *caches);
    if (rects.empty()) return {};
    if (drawing != Drawing::server)
        buffer.put(static_cast<xcb_drawable_t>(pixmap),
                   static_cast<xcb_gcontext_t>(XGContextFromGC(gc)), rects);
    painted = true;
    return rects;
}

void X11Window::Impl::present(const std::vector<PixelRect>& rects) {
    if (windowGone || !painted) return;
    for (const PixelRect& r : rects)
        track(xcb_copy_area_checked(xcb, static_cast<xcb_drawable_t>(pixmap), window,
                                    static_cast<xcb_gcontext_t>(XGContextFromGC(gc)),
                                    static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                                    static_cast<std::int16_t>(r.x), static_cast<std::int16_t>(r.y),
                                    static_cast<std::uint16_t>(r.width),
                                    static_cast<std::uint16_t>(r.height)));
}

// The answer is read when it has come; a window that has gone answers with an error.
void X11Window::Impl::checkViewable(double now) {
    if (windowGone) return;
    if (viewableQuestion) {
        xcb_get_window_attributes_reply_t* reply = nullptr;
        xcb_generic_error_t* problem = nullptr;
        if (!xcb_poll_for_reply(xcb, viewableQuestion, reinterpret_cast<void**>(&reply), &problem))
            return;
        viewableQuestion = 0;
        if (reply) viewable = reply->map_state == XCB_MAP_STATE_VIEWABLE;
        if (problem && problem->error_code == kBadWindow) windowDestroyed();
        std::free(reply);
        std::free(problem);
    }
    if (now - lastViewableCheck < kViewableCheckInterval) return;
    lastViewableCheck = now;
    viewableQuestion = xcb_get_window_attributes(xcb, window).sequence;
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

bool X11Window::shown() const {
    return impl->visible();
}

unsigned long X11Window::windowId() const {
    return impl->window;
}

double X11Window::scale() const {
    return impl->scale;
}

void X11Window::requestSize(Size size) {
    if (impl->window == 0 || impl->connectionLost || !(size.width > 0.0 && size.height > 0.0))
        return;
    XlibScope scope;
    const auto pixels = [this](double points) {
        return static_cast<std::uint32_t>(
            std::clamp(std::lround(points * impl->scale), 1L, 32767L));
    };
    const std::uint32_t values[] = {pixels(size.width), pixels(size.height)};
    impl->track(xcb_configure_window_checked(
        impl->xcb, impl->window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values));
    xcb_flush(impl->xcb);
}

} // namespace zerin
