#include "presets/factory_presets.h"

#include "dsp/factory_curves.h"
#include "model/curve_model.h"

namespace zerin {
namespace {

Preset presetOf(const FactoryCurve& curve) {
    // The kernel's default curve is the editor's default curve: share its ids rather than
    // minting a second set for the same five points.
    Preset preset = presetOfDelayCurve(std::string(curve.name),
                                       curve.points.data() == kDefaultCurve
                                           ? ZerinCurveConstants::defaultCurve()
                                           : controlPointsOf(curve.points),
                                       true);
    const std::pair<std::span<const CurvePoint>, ControlCurve*> more[] = {
        {curve.feedback, &preset.curves.at(CurveSlot::a, CurveKind::feedback)},
        {curve.pointsB, &preset.curves.at(CurveSlot::b, CurveKind::delay)},
        {curve.feedbackB, &preset.curves.at(CurveSlot::b, CurveKind::feedback)}};
    for (const auto& [points, into] : more)
        if (!points.empty()) *into = controlPointsOf(points);
    return preset;
}

} // namespace

const std::vector<Preset>& factoryPresetList() {
    static const std::vector<Preset> presets = [] {
        std::vector<Preset> list;
        for (const FactoryCurve& curve : kFactoryCurves)
            list.push_back(presetOf(curve));
        return list;
    }();
    return presets;
}

} // namespace zerin
