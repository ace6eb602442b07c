#include "platform/ui/x11_io_errors.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace zerin {

namespace {

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

} // namespace

XlibScope::XlibScope() {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    if (routing.depth++ == 0) routing.previous = XSetIOErrorHandler(onIoError);
}

XlibScope::~XlibScope() {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    if (--routing.depth == 0) XSetIOErrorHandler(routing.previous);
}

void adoptConnection(Display* display) {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    routing.ours.push_back(display);
}

void releaseConnection(Display* display) {
    IoErrorRouting& routing = ioErrorRouting();
    std::lock_guard lock(routing.mutex);
    std::erase(routing.ours, display);
}

} // namespace zerin
