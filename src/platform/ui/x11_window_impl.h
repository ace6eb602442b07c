#pragma once

// The X11 window's state and steps, shared by the files that implement it: the window and its
// painting (x11_window.cpp) and the translation of input events (x11_input.cpp).

#include "platform/ui/graphics.h"
#include "platform/ui/view_host.h"
#include "platform/ui/x11_frame_buffer.h"
#include "platform/ui/x11_lost_connection.h"
#include "platform/ui/x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <xcb/xcb.h>

#include <memory>
#include <string>
#include <vector>

namespace zerin {

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

    // Where the picture is drawn: in our memory and sent as pixels (shared memory where the
    // server can attach it, else PutImage), or by the server itself (cairo's Xlib surface),
    // for visuals our buffer cannot fill. ZERIN_X11_DRAWING=server|put|shm picks one, to
    // compare them.
    enum class Drawing { server, put, sharedMemory };
    void chooseDrawing();
    bool visible() const { return mapped && viewable && !obscured; }
    void checkViewable(double now);
    double frameInterval() const;
    void frame();
    std::vector<PixelRect> paint();
    void present(const std::vector<PixelRect>& rects);
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
    cairo_surface_t* surface = nullptr; // the server-side surface (Drawing::server)
    X11FrameBuffer buffer;              // the client-side picture (the other two)
    Drawing drawing = Drawing::sharedMemory;
    bool painted = false;  // the pixmap holds a frame
    bool exposed = false;  // the window wants the pixmap copied in
    bool mapped = false;   // MapNotify seen, no UnmapNotify since
    bool obscured = false; // covered entirely by other windows
    // Whether the server shows the window at all: a parent (a plug-in host's window) may be
    // unmapped with ours still mapped inside it, which no event of ours tells. Asked now and
    // then, never waited for.
    bool viewable = true;
    unsigned int viewableQuestion = 0; // the pending question's sequence; 0: none
    double lastViewableCheck = -1.0;   // steady clock

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

} // namespace zerin
