#pragma once

// Once Xlib has found a connection broken it sends nothing more, yet it still appends every
// request to the connection's output buffer and, when that is full, hands the caller a null
// request to fill in (libX11 1.8): a frame that cairo is drawing when the connection breaks
// would crash there. A sink gives such a connection room to write into, unsent, until it is
// closed. Main thread, like the connection.

typedef struct _XDisplay Display; // NOLINT(bugprone-reserved-identifier)

namespace zerin {

class LostConnectionSink {
public:
    LostConnectionSink() = default;
    ~LostConnectionSink();
    LostConnectionSink(const LostConnectionSink&) = delete;
    LostConnectionSink& operator=(const LostConnectionSink&) = delete;

    // From the connection's I/O error exit handler, and again before more requests may come:
    // makes room for them.
    void take(Display* display);
    // After XCloseDisplay, which frees the sink's buffer as its own.
    void closed();

private:
    char* original = nullptr; // the connection's own buffer, which XCloseDisplay no longer sees
    bool taking = false;
};

} // namespace zerin
