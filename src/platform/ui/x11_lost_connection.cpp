#include "platform/ui/x11_lost_connection.h"

#include <cstdlib>

// Xlib's own view of a connection: the output buffer's pointers. Last, for its min and max
// macros.
#include <X11/Xlibint.h>

namespace zerin {

namespace {

// Far more than the requests of a whole frame and the teardown after it; only the pages
// written are ever touched.
constexpr std::size_t kSinkBytes = 16u << 20;

xReq dummyRequest{}; // what Xlib's last_req points at when no request may be merged into

} // namespace

LostConnectionSink::~LostConnectionSink() {
    closed();
}

void LostConnectionSink::take(Display* display) {
    if (taking) {
        display->bufptr = display->buffer;
    } else {
        auto* sink = static_cast<char*>(std::malloc(kSinkBytes));
        if (sink == nullptr) return;
        original = display->buffer;
        display->buffer = sink;
        display->bufptr = sink;
        display->bufmax = sink + kSinkBytes;
        taking = true;
    }
    display->last_req = reinterpret_cast<char*>(&dummyRequest);
}

void LostConnectionSink::closed() {
    std::free(original);
    original = nullptr;
    taking = false;
}

} // namespace zerin
