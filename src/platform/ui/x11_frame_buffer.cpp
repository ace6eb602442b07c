#include "platform/ui/x11_frame_buffer.h"

#include <xcb/shm.h>
#include <xcb/xcbext.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace zerin {

namespace {

constexpr std::uint8_t kBitsPerPixel = 32;

} // namespace

X11FrameBuffer::~X11FrameBuffer() {
    destroy();
}

bool X11FrameBuffer::supports(const xcb_setup_t* setup, std::uint8_t depth, std::uint32_t redMask,
                              std::uint32_t greenMask, std::uint32_t blueMask) {
    if (depth != 24 && depth != 32) return false;
    if (redMask != 0xff0000u || greenMask != 0xff00u || blueMask != 0xffu) return false;
    const bool serverLittleEndian = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if (serverLittleEndian != (std::endian::native == std::endian::little)) return false;
    xcb_format_iterator_t format = xcb_setup_pixmap_formats_iterator(setup);
    for (; format.rem > 0; xcb_format_next(&format))
        if (format.data->depth == depth) return format.data->bits_per_pixel == kBitsPerPixel;
    return false;
}

bool X11FrameBuffer::create(xcb_connection_t* xcb, int width, int height, std::uint8_t depth,
                            bool allowSharedMemory) {
    destroy();
    mXcb = xcb;
    mWidth = width;
    mHeight = height;
    mDepth = depth;
    mStride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    const auto bytes = static_cast<std::size_t>(mStride) * static_cast<std::size_t>(height);
    std::uint8_t* pixels = nullptr;
    if (allowSharedMemory && attachSharedMemory(bytes)) {
        pixels = mShared;
    } else {
        mOwn.assign(bytes, 0);
        pixels = mOwn.data();
    }
    mSurface =
        cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_RGB24, width, height, mStride);
    if (cairo_surface_status(mSurface) == CAIRO_STATUS_SUCCESS) return true;
    destroy();
    return false;
}

// The segment is marked for removal as soon as the server holds it, so it goes with the
// process however the process ends.
bool X11FrameBuffer::attachSharedMemory(std::size_t bytes) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(mXcb, &xcb_shm_id);
    if (!extension || !extension->present) return false;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* address = shmat(id, nullptr, 0);
    // shmat says it failed with (void*)-1: compared as a number, not made into a pointer.
    if (reinterpret_cast<std::intptr_t>(address) == -1) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const std::uint32_t segment = xcb_generate_id(mXcb);
    // A remote server cannot reach our memory and answers with an error: checked here, once.
    xcb_generic_error_t* problem =
        xcb_request_check(mXcb, xcb_shm_attach_checked(mXcb, segment, id, 0));
    shmctl(id, IPC_RMID, nullptr);
    if (problem) {
        std::free(problem);
        shmdt(address);
        return false;
    }
    mSegment = segment;
    mShared = static_cast<std::uint8_t*>(address);
    return true;
}

void X11FrameBuffer::destroy() {
    if (mSurface) cairo_surface_destroy(mSurface);
    mSurface = nullptr;
    if (mFence) xcb_discard_reply(mXcb, mFence);
    mFence = 0;
    if (mSegment) xcb_shm_detach(mXcb, mSegment);
    mSegment = 0;
    if (mShared) shmdt(mShared);
    mShared = nullptr;
    mOwn.clear();
    mOwn.shrink_to_fit();
}

bool X11FrameBuffer::busy() {
    if (!mFence) return false;
    void* reply = nullptr;
    xcb_generic_error_t* problem = nullptr;
    if (!xcb_poll_for_reply(mXcb, mFence, &reply, &problem)) return true;
    std::free(reply);
    std::free(problem);
    mFence = 0;
    return false;
}

void X11FrameBuffer::put(xcb_drawable_t pixmap, xcb_gcontext_t gc,
                         const std::vector<PixelRect>& rects) {
    if (!mSurface || rects.empty()) return;
    cairo_surface_flush(mSurface);
    for (const PixelRect& r : rects) {
        if (mSegment) {
            xcb_shm_put_image(mXcb, pixmap, gc, static_cast<std::uint16_t>(mWidth),
                              static_cast<std::uint16_t>(mHeight), static_cast<std::uint16_t>(r.x),
                              static_cast<std::uint16_t>(r.y), static_cast<std::uint16_t>(r.width),
                              static_cast<std::uint16_t>(r.height), static_cast<std::int16_t>(r.x),
                              static_cast<std::int16_t>(r.y), mDepth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                              mSegment, 0);
        } else {
            putRows(pixmap, gc, r);
        }
    }
    // Any request with a reply is answered only after the transfers before it are done.
    if (mSegment) mFence = xcb_get_input_focus(mXcb).sequence;
}

// PutImage carries whole rows of the rectangle, as many per request as the server accepts.
void X11FrameBuffer::putRows(xcb_drawable_t pixmap, xcb_gcontext_t gc, const PixelRect& rect) {
    const std::size_t rowBytes = static_cast<std::size_t>(rect.width) * 4u;
    // The request's length limit, in bytes, less room for its header.
    const std::size_t limit = static_cast<std::size_t>(xcb_get_maximum_request_length(mXcb)) * 4u;
    const std::size_t rowsPerRequest = std::max<std::size_t>(1, (limit - 64u) / rowBytes);
    const std::uint8_t* pixels = cairo_image_surface_get_data(mSurface);
    for (int y = rect.y; y < rect.y + rect.height;) {
        const int rows = static_cast<int>(std::min<std::size_t>(
            rowsPerRequest, static_cast<std::size_t>(rect.y + rect.height - y)));
        mRows.resize(rowBytes * static_cast<std::size_t>(rows));
        for (int i = 0; i < rows; ++i)
            std::memcpy(mRows.data() + rowBytes * static_cast<std::size_t>(i),
                        pixels +
                            static_cast<std::size_t>(y + i) * static_cast<std::size_t>(mStride) +
                            static_cast<std::size_t>(rect.x) * 4u,
                        rowBytes);
        xcb_put_image(mXcb, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc,
                      static_cast<std::uint16_t>(rect.width), static_cast<std::uint16_t>(rows),
                      static_cast<std::int16_t>(rect.x), static_cast<std::int16_t>(y), 0, mDepth,
                      static_cast<std::uint32_t>(mRows.size()), mRows.data());
        y += rows;
    }
}

} // namespace zerin
