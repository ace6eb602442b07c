#include "model/curve_model.h"

#include "dsp/curve.h"

#include <cmath>

namespace zerin {

std::string_view displayName(SpectralMode mode) {
    switch (mode) {
        case SpectralMode::delay:
            return "Delay";
        case SpectralMode::freeze:
            return "Freeze";
        case SpectralMode::scatter:
            return "Scatter";
    }
    return "";
}

std::optional<SpectralMode> spectralModeFromRawValue(int raw) {
    for (SpectralMode mode : allSpectralModes)
        if (rawValue(mode) == raw) return mode;
    return std::nullopt;
}

} // namespace zerin

namespace zerin::ZerinCurveConstants {

float logMinFreq() {
    static const float value = std::log10(minFreq);
    return value;
}

float logFreqRange() {
    static const float value = std::log10(maxFreq) - std::log10(minFreq);
    return value;
}

const std::vector<CurveControlPoint>& defaultCurve() {
    static const std::vector<CurveControlPoint> curve = [] {
        std::vector<CurveControlPoint> points;
        for (const CurvePoint& p : kDefaultCurve)
            points.push_back({Uuid::random(), p.freq, p.delay});
        return points;
    }();
    return curve;
}

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

} // namespace zerin::ZerinCurveConstants
