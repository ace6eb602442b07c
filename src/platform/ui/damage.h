#pragma once

// What must be drawn again: a few rectangles in root coordinates (points), or everything.
// Views add to it when what they show changes; the window draws and sends only these areas.

#include "platform/ui/geometry.h"

#include <cstddef>
#include <vector>

namespace zerin {

// An area of whole device pixels.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class Damage {
public:
    // Beyond this many separate rectangles the two whose bounding box adds the least area are
    // merged into it, until no more are left: each rectangle costs a little in clipping and
    // in sending, and past a few dozen that costs more than drawing a little extra.
    static constexpr std::size_t kMaxRects = 32;

    void add(const Rect& rect);
    void addAll();
    void clear();
    bool empty() const { return !mAll && mRects.empty(); }
    bool isAll() const { return mAll; }
    const std::vector<Rect>& rects() const { return mRects; }

    // The damaged pixels of a `width` x `height` surface at `scale` pixels per point: each
    // rectangle grown to whole pixels and cut to the surface, empty ones left out.
    std::vector<PixelRect> pixelRects(double scale, int width, int height) const;

private:
    void mergeCheapestPair();
    bool mAll = false;
    std::vector<Rect> mRects;
};

} // namespace zerin
