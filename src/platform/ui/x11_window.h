#pragma once

// A view host in an X11 window: a top-level window, or a child of a window someone else owns
// (a plug-in host's), on an X connection of its own. Painting is double-buffered (into an
// off-screen pixmap, then one copy). Nothing here installs an X error handler: requests are
// kept valid instead, because Xlib's default handler ends the process and a host's own
// handler is not ours to replace. Only for the duration of our own calls into Xlib does a
// handler of ours route I/O errors on our connection back to us.

#include "platform/ui/geometry.h"

#include <memory>
#include <optional>
#include <string>

namespace zerin {

class ViewHost;

struct X11WindowOptions {
    std::string title = "Zerin";
    Size size{900.0, 600.0}; // points
    double scale = 1.0;      // pixels per point
    // A top-level window the user may resize down to this (points); none: fixed at `size`.
    std::optional<Size> minimumSize;
    std::optional<unsigned long> parent; // an X window id to live in; none: top level
    const char* display = nullptr;       // null: $DISPLAY
};

class X11Window {
public:
    // Null, with `error`, when the display cannot be opened or the window made (a parent id
    // that does not exist included).
    static std::unique_ptr<X11Window> open(ViewHost& host, const X11WindowOptions& options,
                                           std::string* error);
    ~X11Window(); // destroys the window and closes the connection
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    // Never blocks: handles every pending event, runs the main queue's due tasks and timers,
    // and when a display frame is due (about 60 Hz) advances the host and repaints. Call it
    // from a host's idle callback or whenever the connection's fd is readable or
    // secondsUntilNextWork() has passed.
    void pump();
    // Destroys the host's views (setRoot(nullptr)) with a broken connection routed to us as
    // in pump(): cairo keeps copies of their cached images on this window's connection, and
    // frees them as they go. Call it before destroying the window.
    void releaseViews();
    // The X connection's file descriptor, for poll().
    int connectionFd() const;
    // How long a loop may sleep before pump() has work (the next frame or timer).
    double secondsUntilNextWork() const;

    // The user closed a top-level window (WM_DELETE_WINDOW), the parent went away or the
    // connection was lost.
    bool closeRequested() const;
    // The connection to the server broke (the window was killed with xkill, the server went
    // away): nothing is shown any more. Xlib's process-wide handler, which ends the process,
    // never hears of it; see x11_io_errors.h.
    bool connectionLost() const;
    // Whether any of the window shows: mapped, inside windows that are, and not covered
    // entirely. While it does not, frames come slowly and draw nothing.
    bool shown() const;
    unsigned long windowId() const;
    double scale() const;
    // Asks for a new size (points); the host lays out at it once the server has made it so.
    void requestSize(Size size);

private:
    struct Impl;
    explicit X11Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

} // namespace zerin
