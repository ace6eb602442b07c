#pragma once

namespace zerin {

// An sRGB colour with opacity, every component a fraction 0..1 (cairo's convention).
struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;

    // Components given as 0-255 values, the way the palette is written down.
    static constexpr Color rgb255(double red, double green, double blue, double alpha = 1.0) {
        return {red / 255.0, green / 255.0, blue / 255.0, alpha};
    }

    constexpr Color withAlpha(double newAlpha) const { return {red, green, blue, newAlpha}; }

    friend bool operator==(const Color&, const Color&) = default;
};

} // namespace zerin
