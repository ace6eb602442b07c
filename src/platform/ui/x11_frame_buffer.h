#pragma once

// The window's picture in our own memory: cairo draws into it on the client, and only the
// damaged rectangles go to the server. Shared memory (MIT-SHM) when the server can attach our
// segment (a local server), else the pixels travel in PutImage requests. Either way they land
// in the window's pixmap, which is ours alone, so a host destroying our window cannot turn a
// transfer into an error for Xlib's handler.

#include "platform/ui/damage.h"

#include <cairo.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

namespace zerin {

class X11FrameBuffer {
public:
    X11FrameBuffer() = default;
    ~X11FrameBuffer();
    X11FrameBuffer(const X11FrameBuffer&) = delete;
    X11FrameBuffer& operator=(const X11FrameBuffer&) = delete;

    // Whether a visual's pixels are laid out as cairo's RGB24 (32 bits, x8r8g8b8 in host
    // order), the only layout this buffer sends.
    static bool supports(const xcb_setup_t* setup, std::uint8_t depth, std::uint32_t redMask,
                         std::uint32_t greenMask, std::uint32_t blueMask);

    // A buffer of `width` x `height` pixels; `allowSharedMemory` false forces PutImage.
    bool create(xcb_connection_t* xcb, int width, int height, std::uint8_t depth,
                bool allowSharedMemory);
    void destroy();

    cairo_surface_t* surface() const { return mSurface; }
    // The server may still be reading the last transfer out of shared memory: drawing into
    // the buffer now could tear the picture it copies.
    bool busy();
    // Sends these rectangles of the buffer to the same place in `pixmap`.
    void put(xcb_drawable_t pixmap, xcb_gcontext_t gc, const std::vector<PixelRect>& rects);

private:
    bool attachSharedMemory(std::size_t bytes);
    void putRows(xcb_drawable_t pixmap, xcb_gcontext_t gc, const PixelRect& rect);

    xcb_connection_t* mXcb = nullptr;
    int mWidth = 0;
    int mHeight = 0;
    int mStride = 0;
    std::uint8_t mDepth = 24;
    std::uint32_t mSegment = 0;      // the server's name for the shared segment; 0: none
    std::uint8_t* mShared = nullptr; // attached shared memory
    std::vector<std::uint8_t> mOwn;  // the pixels, when not shared
    std::vector<std::uint8_t> mRows; // one rectangle's rows, packed for PutImage
    cairo_surface_t* mSurface = nullptr;
    unsigned int mFence = 0; // a reply that follows the last shared transfer; 0: none
};

} // namespace zerin
