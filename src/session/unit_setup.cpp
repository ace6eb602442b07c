#include "session/unit_setup.h"

#include "dsp/factory_curves.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace zerin::session {

std::optional<PresetSelection>
selectPreset(const std::string& name, const std::vector<Preset>& userPresets, std::string* error) {
    for (std::size_t i = 0; i < std::size(kFactoryCurves); ++i)
        if (kFactoryCurves[i].name == name) return PresetSelection{i, {}};
    for (const Preset& preset : userPresets) {
        if (preset.name != name) continue;
        std::vector<CurveControlPoint> points = preset.points;
        std::stable_sort(points.begin(), points.end(),
                         [](const auto& a, const auto& b) { return a.freq < b.freq; });
        PresetSelection selection;
        for (const CurveControlPoint& p : points)
            selection.userCurve.emplace_back(p.freq, p.value);
        return selection;
    }
    std::string names;
    for (const auto& c : kFactoryCurves)
        names += (names.empty() ? "" : ", ") + std::string(c.name);
    for (const Preset& preset : userPresets)
        names += ", " + preset.name;
    *error = "no preset named \"" + name + "\" (presets: " + names + ")";
    return std::nullopt;
}

std::shared_ptr<ZerinExtensionAudioUnit> configuredUnit(const UnitChoices& choices,
                                                        std::string* error) {
    AUError auError;
    auto unit = ZerinExtensionAudioUnit::create(zerinComponentDescription(), 0, &auError);
    if (!unit) {
        *error = "cannot create the audio unit: " + auError.message;
        return nullptr;
    }
    unit->setupParameterTree(buildParameterTree(parameterTreeSpec()));
    if (choices.state != nullptr) unit->setFullState(choices.state);
    if (choices.settings != nullptr)
        for (const ParameterSetting& s : *choices.settings)
            unit->parameterTree()->parameterWithAddress(s.spec->address)->setValue(s.value);
    if (choices.preset != nullptr && *choices.preset) {
        const PresetSelection& preset = **choices.preset;
        if (preset.factoryNumber)
            unit->setCurrentPreset(
                AUAudioUnitPreset{static_cast<std::int64_t>(*preset.factoryNumber),
                                  std::string(kFactoryCurves[*preset.factoryNumber].name)});
        else
            unit->setSpectralCurve(preset.userCurve);
    }
    if (choices.curves != nullptr) applyCurves(*unit, *choices.curves);
    return unit;
}

void applyCurves(ZerinExtensionAudioUnit& unit, const CurveChoices& choices) {
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            if (const auto& curve = choices.curves[s][k])
                unit.setCurve(static_cast<CurveSlot>(s), static_cast<CurveKind>(k), *curve);
}

Curve resultingCurve(ZerinExtensionAudioUnit& unit) {
    Curve curve = unit.getSpectralCurve();
    if (curve.empty())
        for (const CurvePoint& p : kDefaultCurve)
            curve.emplace_back(p.freq, p.value);
    return curve;
}

std::vector<std::string> stateWarnings(const nlohmann::json& state) {
    CurveSet scratch{};
    std::vector<std::string> warnings;
    for (const std::string& curve : curveSetFromState(state, scratch).dropped)
        warnings.push_back(curve + " has no usable point: that curve stays as it was");
    return warnings;
}

} // namespace zerin::session
