#include "widgets/theme.h"

#include <cstddef>

namespace zerin::theme {

Color spectrumColor(double v) {
    // The first of the two lower segments that encloses v, else the top one (also for v < 0).
    std::size_t k = 2;
    for (std::size_t i = 0; i < 2; ++i) {
        if (spectrumStops[i].position <= v && v <= spectrumStops[i + 1].position) {
            k = i;
            break;
        }
    }
    const SpectrumStop& a = spectrumStops[k];
    const SpectrumStop& b = spectrumStops[k + 1];
    const double span = b.position - a.position;
    const double t = span > 0.0 ? (v - a.position) / span : 0.0;
    return {(a.red + (b.red - a.red) * t) / 255.0, (a.green + (b.green - a.green) * t) / 255.0,
            (a.blue + (b.blue - a.blue) * t) / 255.0, 1.0};
}

} // namespace zerin::theme
