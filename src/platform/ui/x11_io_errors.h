#pragma once

// A connection that breaks (the window killed with xkill, the server gone) is Xlib's to
// notice, and Xlib first calls the process-wide I/O error handler, then the connection's own
// exit handler. Every process-wide handler we know ends the process (Xlib's own exits, GDK's
// calls _exit), which would take a plug-in host down with our editor. So while our code is
// inside Xlib, a handler of ours stands in for the process-wide one: for our own connections
// it lets Xlib go on to their exit handler, which marks the window lost and returns; every
// other connection goes to the handler that was installed before, as if we were not there.
// Outside our calls the host's handler is in place, untouched.

typedef struct _XDisplay Display; // NOLINT(bugprone-reserved-identifier)

namespace zerin {

// Held for as long as our code may be inside Xlib.
class XlibScope {
public:
    XlibScope();
    ~XlibScope();
    XlibScope(const XlibScope&) = delete;
    XlibScope& operator=(const XlibScope&) = delete;
};

// A connection one of our windows opened: its I/O errors go to its exit handler while an
// XlibScope is held, until it is released (after XCloseDisplay).
void adoptConnection(Display* display);
void releaseConnection(Display* display);

} // namespace zerin
