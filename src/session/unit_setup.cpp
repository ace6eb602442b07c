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
        // The kernel keeps each curve sorted by frequency, as the editor hands curves over.
        PresetSelection selection;
        for (int s = 0; s < kCurveSlotCount; ++s)
            for (int k = 0; k < kCurveKindCount; ++k) {
                const CurvePoints points = curvePointsOf(preset.curves.curves[s][k]);
                fillCurve(selection.userCurves.curves[s][k], points.data(),
                          static_cast<int>(points.size()));
            }
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
    if (choices.preset != nullptr && *choices.preset) applyPreset(*unit, **choices.preset, "");
    if (choices.curves != nullptr) applyCurves(*unit, *choices.curves);
    return unit;
}

void applyCurves(ZerinExtensionAudioUnit& unit, const CurveChoices& choices) {
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k)
            if (const auto& curve = choices.curves[s][k])
                unit.setCurve(static_cast<CurveSlot>(s), static_cast<CurveKind>(k), *curve);
}

void applyPreset(ZerinExtensionAudioUnit& unit, const PresetSelection& preset,
                 const std::string& name) {
    if (preset.factoryNumber) {
        const std::size_t number = *preset.factoryNumber;
        unit.setCurrentPreset(AUAudioUnitPreset{static_cast<std::int64_t>(number),
                                                std::string(kFactoryCurves[number].name)});
        return;
    }
    unit.setCurveSet(preset.userCurves);
    if (!name.empty()) unit.setPresetName(name);
}

CurveSetPoints resultingCurves(const ZerinExtensionAudioUnit& unit) {
    const CurveSet set = unit.curveSet();
    CurveSetPoints points;
    for (int s = 0; s < kCurveSlotCount; ++s)
        for (int k = 0; k < kCurveKindCount; ++k) {
            const CurveData& curve = set.curves[s][k];
            points.curves[s][k] = controlPointsOf({curve.points, curve.points + curve.count});
        }
    return points;
}

} // namespace zerin::session
