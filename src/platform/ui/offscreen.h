#pragma once

// Drawing a view tree without a display: into a cairo image surface, kept in memory for
// pixel probes or written to a PNG.

#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zerin {

class Graphics;
class ViewHost;

// An ARGB32 image (premultiplied, as cairo keeps it) of size × scale pixels.
class OffscreenImage {
public:
    // Transparent black, width and height rounded up to whole pixels.
    OffscreenImage(Size points, double scale);
    ~OffscreenImage();
    OffscreenImage(const OffscreenImage&) = delete;
    OffscreenImage& operator=(const OffscreenImage&) = delete;

    int pixelWidth() const { return width; }
    int pixelHeight() const { return height; }
    double scale() const { return deviceScale; }

    // Draws with a Graphics whose units are points.
    void draw(const std::function<void(Graphics&)>& paint);
    // Lays out and paints `host` (at its size) over what is there.
    void draw(ViewHost& host);
    // What a window does at a display frame: draws only what changed in `host` since its
    // damage was last taken (cleared to transparent first). Returns whether anything was.
    bool drawDamage(ViewHost& host);
    void clear(Color color = {0, 0, 0, 0});

    // The un-premultiplied colour of the pixel under point `at` (components 0..1).
    Color colorAt(Point at) const;
    // Writes a PNG; false (and `error`) when it cannot. The file is written to a temporary
    // name in the same folder and renamed into place.
    bool writePng(const std::string& path, std::string* error = nullptr) const;

private:
    struct Impl;
    int width = 0;
    int height = 0;
    double deviceScale = 1.0;
    Impl* impl;
};

} // namespace zerin
