#include "model/curve_model.h"

#include "dsp/curve.h"

#include <cmath>

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
    static const std::vector<CurveControlPoint> curve = controlPointsOf(kDefaultCurve);
    return curve;
}

} // namespace zerin::ZerinCurveConstants
