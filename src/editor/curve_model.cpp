#include "editor/curve_model.h"

#include "dsp/curve.h"

namespace zerin::ZerinCurveConstants {

const std::vector<CurveControlPoint>& defaultCurve() {
    static const std::vector<CurveControlPoint> curve = [] {
        std::vector<CurveControlPoint> points;
        for (const CurvePoint& p : kDefaultCurve)
            points.push_back({Uuid::random(), p.freq, p.delay});
        return points;
    }();
    return curve;
}

} // namespace zerin::ZerinCurveConstants
