#include "presets/factory_presets.h"

#include "dsp/factory_curves.h"
#include "model/curve_model.h"

namespace zerin {
namespace {

std::vector<CurveControlPoint> pointsOf(const FactoryCurve& curve) {
    // The kernel's default curve is the editor's default curve: share its ids rather than
    // minting a second set for the same five points.
    if (curve.points.data() == kDefaultCurve) return ZerinCurveConstants::defaultCurve();
    std::vector<CurveControlPoint> points;
    points.reserve(curve.points.size());
    for (const CurvePoint& p : curve.points)
        points.push_back({Uuid::random(), p.freq, p.value});
    return points;
}

} // namespace

const std::vector<Preset>& factoryPresetList() {
    static const std::vector<Preset> presets = [] {
        std::vector<Preset> list;
        for (const FactoryCurve& curve : kFactoryCurves)
            list.push_back(presetOfDelayCurve(std::string(curve.name), pointsOf(curve), true));
        return list;
    }();
    return presets;
}

} // namespace zerin
